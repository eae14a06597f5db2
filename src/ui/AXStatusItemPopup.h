#pragma once

#include "platform/Workspace.h"
#include "ui/AXStatusItemPopupDelegate.h"

#include <QIcon>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

namespace tvi {

class TVIPopoverWindow;

// Telvora's item in the desktop's system tray: its icon, the status menu a click opens, and the
// popover for the contacts view, kept transient (it closes on a click elsewhere, when Telvora
// stops being the active application and when the workspace changes). Tray hosts differ: a
// StatusNotifierItem host where a watcher is on the session bus, else an XEmbed tray. A tray
// that is not there yet is looked for again for a while. The menu and the popover window are
// built when first shown, the popover's content then asked of the content provider. Main thread.
class AXStatusItemPopup {
public:
    // What the status menu's entries run (the controller's menu commands).
    struct MenuTarget {
        std::function<void()> showAbout;
        std::function<void()> checkForUpdates;
        std::function<void()> showPreferences;
        std::function<void()> quitApplication;
    };
    // How long a missing tray is looked for, and how often.
    struct TrayRetry {
        int intervalMilliseconds = 2000;
        int attempts = 15;
    };

    // Gives the popover's content when the popover is first shown (null: the empty bar).
    using ContentProvider = std::function<QWidget*()>;

    // The images are resource names of the bundle (PNG): `image` while closed, `alternateImage`
    // while the popover is open; an empty alternate image falls back to `image`.
    static std::unique_ptr<AXStatusItemPopup> statusItemPopupWithViewController(QWidget* viewController,
                                                                                const QString& image,
                                                                                const QString& alternateImage,
                                                                                MenuTarget target,
                                                                                TrayRetry retry);
    static std::unique_ptr<AXStatusItemPopup> statusItemPopupWithViewController(QWidget* viewController,
                                                                                const QString& image,
                                                                                const QString& alternateImage,
                                                                                MenuTarget target);
    static std::unique_ptr<AXStatusItemPopup> statusItemPopupWithContentProvider(ContentProvider content,
                                                                                 const QString& image,
                                                                                 const QString& alternateImage,
                                                                                 MenuTarget target);
    AXStatusItemPopup(ContentProvider content, const QString& image, const QString& alternateImage, MenuTarget target,
                      TrayRetry retry);
    ~AXStatusItemPopup();
    AXStatusItemPopup(const AXStatusItemPopup&) = delete;
    AXStatusItemPopup& operator=(const AXStatusItemPopup&) = delete;

    void setDelegate(AXStatusItemPopupDelegate* delegate) { delegate_ = delegate; }
    void setAnimated(bool animated) { animated_ = animated; }
    bool animated() const { return animated_; }
    bool isActive() const { return active_; }

    void setImage(const QString& image);
    void setAlternateImage(const QString& alternateImage);
    const QString& image() const { return imageName_; }
    const QString& alternateImage() const { return alternateImageName_; }

    void togglePopover();
    void showPopover();
    void hidePopover();
    // The contacts bar's mini view: the popover 150 points shorter, or back.
    void resizePopoverToMini() { resizePopover(true); }
    void resizePopoverToNormal() { resizePopover(false); }
    void resizePopover(bool mini);

    // The click handling of the icon: left click closes an open popover, otherwise (or with
    // Control held) shows the menu; right click closes the popover and shows the menu.
    void leftClick(bool commandHeld);
    void rightClick();
    // Pops up the status menu at the icon (at the pointer when the tray tells no geometry).
    void showMenu();

    // The icon's rectangle in global coordinates; empty when the tray does not tell it.
    QRect iconGeometry() const;
    // The theme-change notification: icons for the desktop's current style.
    void themeChanged(const QString& notificationName);

    // Both built on first use.
    QMenu* menu();
    TVIPopoverWindow* popover();
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }

private:
    void buildMenu();
    void buildPopover();
    bool popoverVisible() const;
    void applyAppearance(bool atInitialisation);
    void setActive(bool active);
    void updateIcon();
    void lookForTray();
    void trayNeverAppeared();

    ContentProvider content_;
    // The popover's style sheet, kept for a popover not built yet.
    QString popoverStyle_;
    QString imageName_;
    QString alternateImageName_;
    QIcon image_;
    QIcon alternateImage_;
    MenuTarget target_;
    TrayRetry retry_;
    AXStatusItemPopupDelegate* delegate_ = nullptr;
    bool animated_ = true;
    bool active_ = false;
    bool appWasActive_ = false;
    QPointer<QWidget> oldKeyWindow_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<QMenu> dummyMenu_;
    std::unique_ptr<TVIPopoverWindow> popover_;
    Workspace::ListenerToken workspaceListener_ = 0;
    std::unique_ptr<QTimer> trayTimer_;
    int trayAttempts_ = 0;
};

}
