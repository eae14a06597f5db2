#include "ui/TVIDesktopWindowPresenter.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLogMacros.h"
#include "ui/AXStatusItemPopup.h"
#include "ui/GeneralPreferencesViewController.h"
#include "ui/SUUpdateWindow.h"
#include "ui/TVIAboutWindowController.h"
#include "ui/TVIPopoverViewController.h"
#include "ui/TVIWindowPlacement.h"
#include "update/SUUpdater.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

namespace tvi {
namespace {

// A menu command that runs only while the controller lives.
template <class Command>
std::function<void()> command(TVIAppDelegate& delegate, Command run)
{
    std::weak_ptr<TVIAppDelegate> weak = delegate.weak_from_this();
    return [weak, run] {
        if (auto controller = weak.lock()) run(*controller);
    };
}

}

TVIDesktopWindowPresenter::TVIDesktopWindowPresenter() = default;

TVIDesktopWindowPresenter::~TVIDesktopWindowPresenter()
{
    // The bar's pickers leave the popover's windows before the popup takes them down.
    popoverViewController_.reset();
    // The updater outlives the windows: it shows offers in alerts again.
    if (updateWindow_ && SUUpdater::sharedUpdater().userDriver() == updateWindow_)
        SUUpdater::sharedUpdater().setUserDriver(nullptr);
}

TVIDesktopWindowPresenter::Installation::Installation()
{
    TVIWindowPresenter::install(std::make_shared<TVIDesktopWindowPresenter>());
}

TVIDesktopWindowPresenter::Installation::~Installation() { TVIWindowPresenter::install(nullptr); }

std::unique_ptr<TVIDesktopWindowPresenter::Installation> TVIDesktopWindowPresenter::installWhileInScope()
{
    return std::make_unique<Installation>();
}

void TVIDesktopWindowPresenter::createAboutWindow(TVIAppDelegate& delegate)
{
    about_ = std::make_unique<TVIAboutWindowController>(
        command(delegate, [](TVIAppDelegate& controller) { controller.showReportProblem(); }));
    // Offers and installations of updates get their window from now on.
    if (!updateWindow_) {
        updateWindow_ = std::make_shared<SUUpdateWindow>();
        SUUpdater::sharedUpdater().setUserDriver(updateWindow_);
    }
}

void TVIDesktopWindowPresenter::createStatusItem(TVIAppDelegate& delegate, const std::string& image,
                                                 const std::string& alternateImage)
{
    AXStatusItemPopup::MenuTarget target{
        command(delegate, [](TVIAppDelegate& controller) { controller.showAbout(); }),
        command(delegate, [](TVIAppDelegate& controller) { controller.checkForUpdates(); }),
        command(delegate, [](TVIAppDelegate& controller) { controller.showPreferences(); }),
        command(delegate, [](TVIAppDelegate& controller) { controller.quitApplication(); }),
    };
    GeneralPreferencesViewController::applyStoredContactsSource();
    popoverViewController_ = std::make_unique<TVIPopoverViewController>();
    // The bar and its pickers are built when the popover is first shown, not at start.
    TVIPopoverViewController* bar = popoverViewController_.get();
    statusItemPopup_ = AXStatusItemPopup::statusItemPopupWithContentProvider(
        [bar] { return bar->view(); }, QString::fromStdString(image), QString::fromStdString(alternateImage),
        std::move(target));
    statusItemPopup_->setAnimated(false);
    popoverViewController_->setStatusItemPopup(statusItemPopup_.get());
}

void TVIDesktopWindowPresenter::showAboutWindow()
{
    if (!about_) return;
    QDialog* window = about_->window();
    const QRect icon = statusItemPopup_ ? statusItemPopup_->iconGeometry() : QRect();
    QScreen* screen = icon.isEmpty() ? QGuiApplication::primaryScreen() : QGuiApplication::screenAt(icon.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Once shown, the frame includes the window manager's title bar.
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->sizeHint();
    about_->showWindowAt(TVIWindowPlacement::aboutWindowOrigin(icon, size, area));
}

}
