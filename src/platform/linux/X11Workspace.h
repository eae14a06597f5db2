#pragma once

#include "platform/PasteboardChangeListeners.h"
#include "platform/Workspace.h"

#include <memory>
#include <mutex>
#include <string>

namespace tvi {

class TVIWorkspaceChangeWatcher;

// Front application, running applications and activation from the window manager's EWMH
// properties (_NET_ACTIVE_WINDOW, _NET_CLIENT_LIST, WM_CLASS, _NET_WM_PID); without a
// window manager, the input focus and the mapped top-level windows. Identifiers follow
// DesktopEntryIds.
//
// Threading: callable from any thread; calls are serialised on one X connection of its own.
class X11Workspace : public Workspace {
public:
    // Absent, with the reason, when there is no display.
    static std::shared_ptr<X11Workspace> create(std::string& whyUnavailable);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    bool isAvailable() const override;
    std::optional<std::string> frontmostApplicationBundleIdentifier() const override;
    std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(
        const std::string& bundleIdentifier) const override;
    // Asks the window manager to activate the application's window (as a pager would);
    // without one, raises and focuses it.
    bool activateApplication(const RunningApplication& application) override;
    // Qt's own X connection tells the switches (TVIWorkspaceChangeWatcher), made on the first
    // listener: main thread, desktop mode.
    ListenerToken addWorkspaceChangeListener(ChangeListener listener) override;
    void removeWorkspaceChangeListener(ListenerToken token) override;

private:
    struct Impl;
    explicit X11Workspace(std::unique_ptr<Impl> impl);
    mutable std::mutex mutex_;
    const std::unique_ptr<Impl> impl_;
    // The same list as a pasteboard's: tokens and listeners are the same types.
    PasteboardChangeListeners changeListeners_;
    std::unique_ptr<TVIWorkspaceChangeWatcher> changeWatcher_;
};

}
