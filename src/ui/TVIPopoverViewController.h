#pragma once

#include "ui/AXStatusItemPopupDelegate.h"
#include "ui/TVISegmentedArrayController.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QMenu;
class QToolButton;
class QVariantAnimation;
class QWidget;

namespace tvi {

class AXStatusItemPopup;
class TVIAbPluginHost;
class TVIBorderView;
class TVIPickerViewController;
struct Contact;

// The contacts bar in the status item's popover: the two-segment control that shows the contact
// list as a drawer beside the popup (0) or as a popover next to the button (1), the additional
// actions, the anchor that keeps the popup open, and the mini view. It decides whether the popup
// may close: an outside click first folds the contact list away. The bar with its pickers is
// built on the first call of view(), when the popup first shows it; the other accessors of its
// parts are valid from then on. Main thread.
class TVIPopoverViewController : public QObject, public AXStatusItemPopupDelegate {
    Q_OBJECT
public:
    enum class DrawerState { Closed, Opening, Open, Closing };
    static constexpr int kMiniDifference = 150;

    TVIPopoverViewController();
    ~TVIPopoverViewController() override;

    // The bar, built on first use; the popup takes it as its content.
    QWidget* view();
    // Becomes the popup's delegate and applies the stored mini view.
    void setStatusItemPopup(AXStatusItemPopup* popup);

    void showPickerView(QAbstractButton* sender);
    void showNSPopover(QWidget* sender);
    void editSelectedContactInAB();
    void showSelectedContactInAB();
    void makeVCard();
    void toggleAlwaysOnTop();
    void toggleMiniView();
    void tryClosingAxStatusPopover();

    static bool isAlwaysOnTopEnabled();
    static void setAlwaysOnTop(bool on);
    static bool isMiniViewEnabled();
    static void setMiniViewEnabled(bool on);

    bool shouldPopupClose() override;
    void popupDidOpen() override;

    // The picker of the chosen form: the popover's for segment 1, the drawer's otherwise.
    TVIPickerViewController* selectedPicker() const;
    TVIPickerViewController* pickerViewController() const { return pickerViewController_.get(); }
    TVIPickerViewController* pickerViewController2() const { return pickerViewController2_.get(); }
    QWidget* popover() const { return popover_; }
    QWidget* drawer() const { return drawer_; }
    DrawerState drawerState() const { return drawerState_; }
    QAbstractButton* segment(int index) const;
    QToolButton* buttonContacts() const { return buttonContacts_; }
    QToolButton* buttonMore() const { return buttonMore_; }
    QMenu* buttonMoreMenu() const { return buttonMoreMenu_; }
    QToolButton* buttonAnchor() const { return buttonAnchor_; }
    QToolButton* buttonResizeHeight() const { return buttonResizeHeight_; }
    QWidget* contentView() const { return contentView_; }
    // The drawer slides in this time (0: at once).
    void setDrawerAnimationMilliseconds(int milliseconds) { drawerMilliseconds_ = milliseconds; }
    // How long after a fold-away the popup is asked to close.
    static constexpr int kFoldAwayMilliseconds = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildBar();
    void buildView();
    void buildMoreMenu();
    void applyMiniGeometry(bool mini);
    void showHeightButton(bool mini);
    void setButtonImage(QToolButton* button, const char* name);
    void toggleDrawer();
    void openDrawer();
    void closeDrawer();
    void animateDrawer(int toWidth, DrawerState during, DrawerState after);
    bool popoverShown() const;
    void closePopover();
    void popoverHidden();
    void applyPopoverAppearance();
    void loadPluginIfNeeded();
    void openInContactsApplication(const char* operation);
    std::optional<std::string> vcardFileFor(const Contact& contact) const;
    void keepPopupOnScreen();

    QPointer<QWidget> view_;
    AXStatusItemPopup* statusItemPopup_ = nullptr;
    TVISegmentedArrayController segController_;
    std::unique_ptr<TVIPickerViewController> pickerViewController_;
    std::unique_ptr<TVIPickerViewController> pickerViewController2_;
    std::shared_ptr<TVIAbPluginHost> plugin_;
    QWidget* popover_ = nullptr;
    QWidget* drawer_ = nullptr;
    DrawerState drawerState_ = DrawerState::Closed;
    QVariantAnimation* drawerAnimation_ = nullptr;
    int drawerMilliseconds_ = 150;
    bool closingPopoverOurselves_ = false;
    QButtonGroup* buttonSegmented_ = nullptr;
    QToolButton* buttonContacts_ = nullptr;
    QToolButton* buttonMore_ = nullptr;
    QMenu* buttonMoreMenu_ = nullptr;
    QAction* editContactInAbMenuItem_ = nullptr;
    QAction* openContactInAbMenuItem_ = nullptr;
    QAction* sendVcardAsAttachmentMenuItem_ = nullptr;
    QToolButton* buttonAnchor_ = nullptr;
    QToolButton* buttonResizeHeight_ = nullptr;
    TVIBorderView* topBorderView_ = nullptr;
    TVIBorderView* bottomBorderView_ = nullptr;
    QWidget* contentView_ = nullptr;
};

}
