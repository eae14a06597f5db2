#include "ui/AXStatusItemPopup.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "environment/TVIVibrancyUtils.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/DesktopNotifications.h"
#include "platform/DistributedNotifications.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "ui/TVIPopoverWindow.h"
#include "ui/TVIWindowPlacement.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tvi {
namespace {

constexpr const char* kThemeChangedNotification = "AppleInterfaceThemeChangedNotification";
// Lets the click's own event handling finish before the menu takes the pointer.
constexpr int kMenuDelayMilliseconds = 10;

QIcon iconNamed(const QString& name)
{
    const auto path = Bundle::mainBundle().pathForResource(name.toStdString(), "png");
    if (!path) DDLogWarn("%@: status item image %@ is missing from the resources", name.toStdString());
    return path ? QIcon(QString::fromStdString(*path)) : QIcon();
}

// The About title comes from the string tables; the other entries always show their English text.
QString menuTitle(const char* text, bool localized)
{
    const Bundle bundle = Bundle::mainBundle();
    const std::string title = localized ? bundle.localizedString(text) : bundle.localizedString("", text);
    return QString::fromStdString(TVILocalizationUtilities::replaceAppNameInString(title));
}

QRect availableAreaAround(const QRect& anchor)
{
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}

std::unique_ptr<AXStatusItemPopup> AXStatusItemPopup::statusItemPopupWithViewController(
    QWidget* viewController, const QString& image, const QString& alternateImage, MenuTarget target, TrayRetry retry)
{
    ContentProvider content = [widget = QPointer<QWidget>(viewController)]() -> QWidget* { return widget; };
    return std::make_unique<AXStatusItemPopup>(std::move(content), image, alternateImage, std::move(target), retry);
}

std::unique_ptr<AXStatusItemPopup> AXStatusItemPopup::statusItemPopupWithViewController(
    QWidget* viewController, const QString& image, const QString& alternateImage, MenuTarget target)
{
    return statusItemPopupWithViewController(viewController, image, alternateImage, std::move(target), TrayRetry{});
}

std::unique_ptr<AXStatusItemPopup> AXStatusItemPopup::statusItemPopupWithContentProvider(
    ContentProvider content, const QString& image, const QString& alternateImage, MenuTarget target)
{
    return std::make_unique<AXStatusItemPopup>(std::move(content), image, alternateImage, std::move(target), TrayRetry{});
}

AXStatusItemPopup::AXStatusItemPopup(ContentProvider content, const QString& image, const QString& alternateImage,
                                     MenuTarget target, TrayRetry retry)
    : content_(std::move(content)), target_(std::move(target)), retry_(retry),
      statusItem_(std::make_unique<QSystemTrayIcon>())
{
    setImage(image);
    setAlternateImage(alternateImage);
    statusItem_->setToolTip(QString::fromStdString(TVILocalizationUtilities::replaceAppNameInString("<AppName>")));
    QObject::connect(statusItem_.get(), &QSystemTrayIcon::activated, statusItem_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger)
                             leftClick(QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier);
                         else if (reason == QSystemTrayIcon::Context)
                             rightClick();
                         else if (reason == QSystemTrayIcon::MiddleClick)
                             togglePopover();
                     });

    applyAppearance(true);

    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, statusItem_.get(), [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && active_) hidePopover();
    });
    workspaceListener_ = Platform::get<Workspace>()->addWorkspaceChangeListener([this] {
        appWasActive_ = false;
        hidePopover();
    });
    if (TVIVibrancyUtils::systemSupportsVibrancy()) {
        Platform::get<DistributedNotifications>()->addObserver(
            this, kThemeChangedNotification,
            [this](const std::string& name, const std::optional<std::string>&) { themeChanged(QString::fromStdString(name)); });
    }
    trayTimer_ = std::make_unique<QTimer>();
    trayTimer_->setInterval(retry_.intervalMilliseconds);
    QObject::connect(trayTimer_.get(), &QTimer::timeout, trayTimer_.get(), [this] { lookForTray(); });
    // Qt docks the icon by itself when the tray is there; a later tray is looked for below.
    statusItem_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        DDLogInfo("%@: no system tray yet; looking again every %@ ms", std::to_string(retry_.intervalMilliseconds));
        trayTimer_->start();
    }
}

AXStatusItemPopup::~AXStatusItemPopup()
{
    Platform::get<DistributedNotifications>()->removeObserversForOwner(this);
    Platform::get<Workspace>()->removeWorkspaceChangeListener(workspaceListener_);
    if (!popover_) return;
    // The popover's own callbacks point here: no close notification must reach a half-gone item.
    popover_->setActiveChanged({});
    popover_->setWillClose({});
    popover_->setCloseVeto({});
}

QMenu* AXStatusItemPopup::menu()
{
    if (!dummyMenu_) buildMenu();
    return dummyMenu_.get();
}

TVIPopoverWindow* AXStatusItemPopup::popover()
{
    if (!popover_) buildPopover();
    return popover_.get();
}

bool AXStatusItemPopup::popoverVisible() const { return popover_ && popover_->isVisible(); }

void AXStatusItemPopup::buildPopover()
{
    popover_ = std::make_unique<TVIPopoverWindow>();
    if (QWidget* content = content_ ? content_() : nullptr) popover_->setContent(content);
    popover_->setCloseVeto([this] { return !delegate_ || delegate_->shouldPopupClose(); });
    popover_->setWillClose([this] {
        if (delegate_) delegate_->popupWillClose();
    });
    popover_->setActiveChanged([this](bool active) {
        setActive(active);
        if (!active && delegate_) delegate_->popupDidClose();
    });
    // A style sheet brings Qt's whole style-sheet machinery along: only once there is a window.
    if (!popoverStyle_.isEmpty()) popover_->setStyleSheet(popoverStyle_);
}

void AXStatusItemPopup::buildMenu()
{
    dummyMenu_ = std::make_unique<QMenu>();
    struct Entry {
        const char* title;
        bool localized;
        std::function<void()>* action;
    };
    // The popover with the contacts has no other way in from the keyboard or a plain click.
    QAction* contacts = dummyMenu_->addAction(menuTitle("Contacts...", false));
    QObject::connect(contacts, &QAction::triggered, dummyMenu_.get(), [this] { showPopover(); });
    dummyMenu_->addSeparator();
    const Entry entries[] = {
        {"About <AppName>", true, &target_.showAbout},
        {nullptr, false, nullptr},
        {"Check For Updates...", false, &target_.checkForUpdates},
        {"Preferences...", false, &target_.showPreferences},
        {nullptr, false, nullptr},
        {"Quit <AppName>", false, &target_.quitApplication},
    };
    for (const Entry& entry : entries) {
        if (!entry.title) {
            dummyMenu_->addSeparator();
            continue;
        }
        QAction* action = dummyMenu_->addAction(menuTitle(entry.title, entry.localized));
        std::function<void()>* command = entry.action;
        QObject::connect(action, &QAction::triggered, dummyMenu_.get(), [command] {
            if (*command) (*command)();
        });
    }
}

void AXStatusItemPopup::setImage(const QString& image)
{
    imageName_ = image;
    image_ = iconNamed(image);
    updateIcon();
}

void AXStatusItemPopup::setAlternateImage(const QString& alternateImage)
{
    alternateImageName_ = alternateImage;
    alternateImage_ = alternateImage.isEmpty() ? image_ : iconNamed(alternateImage);
    updateIcon();
}

void AXStatusItemPopup::updateIcon()
{
    statusItem_->setIcon(active_ && !alternateImage_.isNull() ? alternateImage_ : image_);
}

QRect AXStatusItemPopup::iconGeometry() const { return statusItem_->geometry(); }

void AXStatusItemPopup::leftClick(bool commandHeld)
{
    if (commandHeld) {
        if (active_) hidePopover();
    } else if (active_) {
        hidePopover();
        return;
    }
    QTimer::singleShot(kMenuDelayMilliseconds, statusItem_.get(), [this] { showMenu(); });
}

void AXStatusItemPopup::rightClick()
{
    if (active_) hidePopover();
    QTimer::singleShot(kMenuDelayMilliseconds, statusItem_.get(), [this] { showMenu(); });
}

void AXStatusItemPopup::showMenu()
{
    QMenu* const shown = menu();
    const QRect icon = iconGeometry();
    if (icon.isEmpty()) {
        shown->popup(QCursor::pos());
        return;
    }
    // Under the icon, or above it when the panel is at the bottom; Qt keeps the menu on screen.
    const QRect available = availableAreaAround(icon);
    const QSize size = shown->sizeHint();
    const bool above = icon.center().y() > available.center().y();
    shown->popup(above ? QPoint(icon.left(), icon.top() - size.height()) : icon.bottomLeft() + QPoint(0, 1));
}

void AXStatusItemPopup::togglePopover()
{
    if (active_) hidePopover();
    else showPopover();
}

void AXStatusItemPopup::showPopover()
{
    applyAppearance(false);
    if (delegate_ && !delegate_->shouldPopupOpen()) return;
    if (!popoverVisible()) {
        if (delegate_) delegate_->popupWillOpen();
        popover();
        const QRect icon = iconGeometry();
        const QRect anchor = icon.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : icon;
        popover_->adjustSize();
        popover_->setGeometry(
            TVIWindowPlacement::popoverFrame(icon, popover_->sizeHint(), availableAreaAround(anchor), QCursor::pos()));
        popover_->show();
    }
    popover_->activateWindow();
    if (delegate_) delegate_->popupDidOpen();
}

void AXStatusItemPopup::hidePopover()
{
    if (!popoverVisible()) return;
    // close() asks the delegate's veto and tells it popupWillClose; popupDidClose follows the hide.
    popover_->close();
}

void AXStatusItemPopup::resizePopover(bool mini)
{
    animated_ = false;
    // A popover not built yet takes its size from its content when first shown.
    if (!popover_) return;
    constexpr int kMiniDifference = 150;
    const QSize size = popover_->size();
    popover_->resize(size.width(), size.height() + (mini ? -kMiniDifference : kMiniDifference));
}

void AXStatusItemPopup::setActive(bool active)
{
    active_ = active;
    if (active) {
        appWasActive_ = QGuiApplication::applicationState() == Qt::ApplicationActive;
        if (appWasActive_) oldKeyWindow_ = QApplication::activeWindow();
        else DDLogInfo("%@: setActive");
    } else {
        // Telvora's other windows stay where they are on X11: only the key window comes back.
        if (appWasActive_ && oldKeyWindow_) {
            oldKeyWindow_->raise();
            oldKeyWindow_->activateWindow();
        }
        appWasActive_ = false;
        oldKeyWindow_.clear();
    }
    updateIcon();
}

void AXStatusItemPopup::applyAppearance(bool atInitialisation)
{
    if (!TVIVibrancyUtils::systemSupportsVibrancy()) {
        if (atInitialisation) DDLogInfo("%@: OSX Version:Mavericks or lower (supports vibrancy)");
        else DDLogInfo("%@: System doesnt supports vibrancy Mavericks or below");
        return;
    }
    if (atInitialisation) DDLogInfo("%@: OSX Version:Yosemite or higher (supports vibrancy)");
    else DDLogInfo("%@: System supports vibrancy Yosemite or above");
    QString background = "palette(window)";
    if (UserDefaults::standard().boolForKey(TVIEnableVibrantAppearance)) {
        DDLogInfo("%@: Enable vibrant appearance is checked");
        if (TVIVibrancyUtils::isDarkMode()) {
            DDLogInfo("%@: Enable vibrant appearance is checked and darkMode is true");
            background = "rgba(40, 40, 40, 235)";
        } else {
            DDLogInfo("%@: Enable vibrant appearance is checked and lightMode is true");
            background = "rgba(246, 246, 246, 235)";
        }
    } else {
        DDLogInfo("%@: Enable vibrant appearance is unchecked");
    }
    popoverStyle_ = "#TVIPopoverWindow { background: " + background + "; border: 1px solid palette(mid); }";
    if (popover_) popover_->setStyleSheet(popoverStyle_);
}

void AXStatusItemPopup::themeChanged(const QString& notificationName)
{
    DDLogInfo("%@: Distributed notification name name: %@", notificationName.toStdString());
    if (TVIVibrancyUtils::isDarkMode()) {
        DDLogInfo("%@: Changed to Dark Mode");
        setImage("status_item_white");
        setAlternateImage("status_item_black");
    } else {
        DDLogInfo("%@: Changed to Light Mode");
        setImage("status_item_black");
        setAlternateImage("status_item_white");
    }
}

void AXStatusItemPopup::lookForTray()
{
    ++trayAttempts_;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayTimer_->stop();
        DDLogInfo("%@: the system tray appeared; showing the status item");
        // Shown again, so that the icon docks into the tray that came.
        statusItem_->hide();
        statusItem_->show();
        return;
    }
    if (trayAttempts_ >= retry_.attempts) {
        trayTimer_->stop();
        trayNeverAppeared();
    }
}

void AXStatusItemPopup::trayNeverAppeared()
{
    DDLogWarn("%@: No system tray appeared: the status item cannot be shown. Telvora keeps serving Calvetto; "
              "its windows open with Telvora --about, --preferences, --check-for-updates and --quit");
    const Bundle bundle = Bundle::mainBundle();
    Platform::get<DesktopNotifications>()->show(
        TVILocalizationUtilities::replaceAppNameInString(bundle.localizedString("<AppName> found no system tray")),
        TVILocalizationUtilities::replaceAppNameInString(bundle.localizedString(
            "Your desktop shows no tray icons. On GNOME, install the AppIndicator extension (Debian package "
            "gnome-shell-extension-appindicator) and log in again. Until then, start <AppName> again to open its "
            "preferences.")));
}

}
