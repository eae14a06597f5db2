#pragma once

#include "shortcuts/MASShortcut.h"
#include "shortcuts/ShortcutMenu.h"
#include "ui/TVIKeyEventTranslator.h"

#include <QMetaObject>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace tvi {

class MASShortcutDefaultsObserver;

// The shortcut recorder: a button-like field showing a shortcut. A click (or Space/Return
// with the focus on it) starts recording, the next valid combination typed becomes its
// value; the strip at its right end clears the value or cancels recording. One recorder
// records at a time, and while it does Telvora's own hot keys are suspended so that a
// combination Telvora holds reaches the recorder. Main thread only.
class MASShortcutView : public QWidget {
    Q_OBJECT

public:
    enum class Appearance { Default = 0, Textured = 1, Rounded = 2 };

    explicit MASShortcutView(QWidget* parent = nullptr);
    ~MASShortcutView() override;

    const std::optional<MASShortcut>& shortcutValue() const { return shortcutValue_; }
    // Emits shortcutValueChanged() and calls shortcutValueChange after every assignment.
    void setShortcutValue(const std::optional<MASShortcut>& value);
    const QString& shortcutPlaceholder() const { return shortcutPlaceholder_; }
    void setShortcutPlaceholder(const QString& placeholder);
    std::function<void(MASShortcutView&)> shortcutValueChange;

    bool isRecording() const { return recording_; }
    void setRecording(bool recording);
    bool isHinting() const { return hinting_; }
    Appearance appearance() const { return appearance_; }
    void setAppearance(Appearance appearance);

    // Binds the value both ways to the user-defaults key; empty ends the binding.
    QString associatedUserDefaultsKey() const;
    void setAssociatedUserDefaultsKey(const QString& key);

    // The strip at the right end, and the rest.
    QRect hintRect() const;
    QRect shortcutRect() const;
    // What the field shows now: the centred text and the glyph at its right end.
    QString shortcutText() const;
    QString hintText() const;
    // The tool tip at a point of the field; empty where there is none.
    QString toolTipAt(const QPoint& point) const;

    // The close-window and quit chords (Control+W, Control+Q): left to the window.
    static bool shouldBypass(const MASShortcut& shortcut);
    // The recorder that last started recording, if it still exists.
    static MASShortcutView* currentRecorder();
    // The menus whose key equivalents a new shortcut must not take.
    static void setMainMenu(ShortcutMenu menu);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void shortcutValueChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The key-event monitor: true when the event is swallowed.
    bool handleKey(const TranslatedKey& key);
    bool isTaken(const MASShortcut& shortcut, Error* error) const;
    void showTakenAlert(const MASShortcut& shortcut, const Error& error);
    void setMonitoring(bool on);
    void setHinting(bool hinting);
    void updateAccessibleText();
    int hintWidth() const;

    std::optional<MASShortcut> shortcutValue_;
    QString shortcutPlaceholder_;
    bool recording_ = false;
    bool hinting_ = false;
    bool monitoring_ = false;
    Appearance appearance_ = Appearance::Default;
    QMetaObject::Connection resignObserver_;
    std::unique_ptr<MASShortcutDefaultsObserver> defaultsObserver_;
};

}
