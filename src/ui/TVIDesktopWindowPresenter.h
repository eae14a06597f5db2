#pragma once

#include "ui/TVIQtWindowPresenter.h"

#include <memory>

namespace tvi {

class AXStatusItemPopup;
class SUUpdateWindow;
class TVIAboutWindowController;
class TVIPopoverViewController;

// The Qt windows behind the controller: the status item with its menu and popover, the about
// window and the update window (the shared updater's user driver while the presenter lives),
// beside the preferences and mail windows. Installed by the desktop program before the
// controller starts. Main thread.
class TVIDesktopWindowPresenter : public TVIQtWindowPresenter {
public:
    TVIDesktopWindowPresenter();
    ~TVIDesktopWindowPresenter() override;

    // Installs a presenter until the returned guard goes; the windows must go before the
    // QApplication does, so the guard lives in a scope inside the application's.
    struct Installation {
        Installation();
        ~Installation();
        Installation(const Installation&) = delete;
        Installation& operator=(const Installation&) = delete;
    };
    static std::unique_ptr<Installation> installWhileInScope();

    void createAboutWindow(TVIAppDelegate& delegate) override;
    void createStatusItem(TVIAppDelegate& delegate, const std::string& image, const std::string& alternateImage) override;
    void showAboutWindow() override;

    AXStatusItemPopup* statusItemPopup() const { return statusItemPopup_.get(); }
    TVIPopoverViewController* popoverViewController() const { return popoverViewController_.get(); }
    TVIAboutWindowController* about() const { return about_.get(); }
    SUUpdateWindow* updateWindow() const { return updateWindow_.get(); }

private:
    std::unique_ptr<TVIAboutWindowController> about_;
    std::shared_ptr<SUUpdateWindow> updateWindow_;
    std::unique_ptr<AXStatusItemPopup> statusItemPopup_;
    // Declared after the popup: it goes first.
    std::unique_ptr<TVIPopoverViewController> popoverViewController_;
};

}
