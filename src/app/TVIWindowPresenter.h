#pragma once

#include <memory>

namespace tvi {

class TVIAppDelegate;

// The controller's way to the windows of the user interface, which live outside the core:
// the desktop program installs the toolkit's presenter at start; headless runs install none.
// Main thread only.
class TVIWindowPresenter {
public:
    virtual ~TVIWindowPresenter() = default;

    // Shows the preferences window and brings it to the front; it is built on first use and
    // kept until the process ends.
    virtual void showPreferencesWindow(TVIAppDelegate& delegate) = 0;
    virtual void showReportProblemWindow() {} // the problem-report window, brought to the front

    // nullptr removes it. Returns the one it replaces.
    static std::shared_ptr<TVIWindowPresenter> install(std::shared_ptr<TVIWindowPresenter> presenter);
    // The installed presenter, or nullptr when there is none (headless).
    static std::shared_ptr<TVIWindowPresenter> installed();
};

}
