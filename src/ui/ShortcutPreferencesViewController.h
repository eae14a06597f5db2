#pragma once

#include "ui/MASPreferencesViewController.h"

#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QWidget;

namespace tvi {

class MASShortcutView;
class TVICallControl;

// The Shortcuts pane: one recorder per call-control action, bound to the action's defaults
// key, enabled while Calvetto has the action switched on, and a legend of the glyphs.
class ShortcutPreferencesViewController : public MASPreferencesViewController {
public:
    static constexpr std::size_t kActionCount = 8;

    explicit ShortcutPreferencesViewController(TVICallControl& callControl);
    ~ShortcutPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("ShortcutPreferences"); }
    QIcon toolbarItemImage() const override;
    QString toolbarItemLabel() const override;
    QWidget* view() override { return view_.get(); }
    QWidget* initialKeyView() override;

    // Re-reads the eight enabled flags.
    void shortcutsEnabledChanged();
    // In table order: make call, cancel action, answer, clear connection, deflect, hold,
    // retrieve, transfer.
    MASShortcutView* recorder(std::size_t row) const { return recorders_[row]; }
    static QString legendText();

private:
    void buildView();

    TVICallControl& callControl_;
    std::unique_ptr<QWidget> view_;
    QGroupBox* keyShortcutsBox_ = nullptr;
    QGroupBox* legendBox_ = nullptr;
    QLabel* legendLabel_ = nullptr;
    std::array<MASShortcutView*, kActionCount> recorders_{};
};

}
