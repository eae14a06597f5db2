#pragma once

#include "ui/MASPreferencesViewController.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QActionGroup;
class QToolBar;

namespace tvi {

class UserDefaults;

// The preferences window: a toolbar with one item per pane; choosing an item puts that
// pane's view into the window and fits the window around it, its top-left corner staying
// where it is. The window's top-left point, the selected pane and each pane's size are kept
// in the user defaults. Main thread only.
class MASPreferencesWindowController : public QObject {
    Q_OBJECT

public:
    // A null entry is a separator (a flexible space in the toolbar).
    using Panes = std::vector<std::unique_ptr<MASPreferencesViewController>>;

    static constexpr const char* kFrameTopLeftKey = "MASPreferences Frame Top Left";
    static constexpr const char* kSelectedIdentifierKey = "MASPreferences Selected Identifier View";
    static constexpr const char* kPaneFrameKeyFormat = "MASPreferences %@ Frame";
    static constexpr const char* kFlexibleSpaceIdentifier = "NSToolbarFlexibleSpaceItem";
    static constexpr const char* kDidChangeViewNotification = "MASPreferencesWindowControllerDidChangeViewNotification";

    // An empty title: the window shows the selected pane's label.
    MASPreferencesWindowController(Panes panes, const QString& title, UserDefaults& defaults);
    explicit MASPreferencesWindowController(Panes panes, const QString& title = {});
    ~MASPreferencesWindowController() override;

    QMainWindow* window() const { return window_.get(); }
    // Shows the window (placed where it was last, else centred) and brings it to the front.
    void showWindow();

    MASPreferencesViewController* selectedViewController() const { return selected_; }
    void setSelectedViewController(MASPreferencesViewController* pane);
    // An index at or beyond the count, or of a separator, does nothing.
    void selectControllerAtIndex(std::size_t index);
    // Wrap around, skipping separators.
    void goNextTab();
    void goPreviousTab();
    std::optional<std::size_t> indexOfSelectedController() const;
    MASPreferencesViewController* viewControllerForIdentifier(const QString& identifier) const;
    MASPreferencesViewController* firstViewController() const;
    QStringList toolbarItemIdentifiers() const;
    // The first size seen of the pane's view in this process, its minimum.
    std::optional<QSize> minimumViewSize(const QString& identifier) const;
    bool windowShouldClose();

    // The platform's textual forms of a point and a rectangle: "{x, y}", "{{x, y}, {w, h}}".
    static QString stringFromPoint(const QPoint& point);
    static QString stringFromRect(const QRect& rect);
    static std::optional<QPoint> pointFromString(const QString& text);
    static std::optional<QRect> rectFromString(const QString& text);

signals:
    void didChangeView();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void windowDidLoad();
    void buildToolbar();
    void checkToolbarItem(const QString& identifier);
    void fitWindowAround(MASPreferencesViewController& pane);
    void storePaneSize();
    void selectRelative(int step);

    UserDefaults& defaults_;
    Panes panes_;
    QString title_;
    std::unique_ptr<QMainWindow> window_;
    QToolBar* toolbar_ = nullptr;
    QActionGroup* toolbarItems_ = nullptr;
    MASPreferencesViewController* selected_ = nullptr;
    std::map<QString, QSize> minimumViewRects_;
    bool switching_ = false;
    bool placed_ = false;
};

}
