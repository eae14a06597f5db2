#pragma once

#include <memory>
#include <string>

namespace tvi {

class TVIAppDelegate;
class TVIProblemReport;

// The controller's way to the windows of the user interface, which live outside the core:
// the desktop program installs the toolkit's presenter at start; headless runs install none.
// Main thread only.
class TVIWindowPresenter {
public:
    virtual ~TVIWindowPresenter() = default;

    // Shows the preferences window and brings it to the front; it is built on first use and
    // kept until the process ends.
    virtual void showPreferencesWindow(TVIAppDelegate& delegate) = 0;
    // Show the mail window in its mode (the problem report collects the diagnostics anew);
    // each is built on first use and kept. A presenter without them ignores the request.
    virtual void showReportProblemWindow(TVIProblemReport& report) { (void)report; }
    virtual void showFeedbackWindow(TVIProblemReport& report) { (void)report; }

    // The about window, built once at start and reused. The default does nothing: a presenter
    // without that window.
    virtual void createAboutWindow(TVIAppDelegate& delegate) { (void)delegate; }
    // The status item (tray icon, status menu and popover), built once at start; its menu calls
    // the delegate's menu commands. The images are resource names: `image` while closed,
    // `alternateImage` while the popover is open.
    virtual void createStatusItem(TVIAppDelegate& delegate, const std::string& image, const std::string& alternateImage)
    {
        (void)delegate;
        (void)image;
        (void)alternateImage;
    }
    // Places the about window under the status item, makes it key and brings Telvora to the front.
    virtual void showAboutWindow() {}

    // nullptr removes it. Returns the one it replaces.
    static std::shared_ptr<TVIWindowPresenter> install(std::shared_ptr<TVIWindowPresenter> presenter);
    // The installed presenter, or nullptr when there is none (headless).
    static std::shared_ptr<TVIWindowPresenter> installed();
};

}
