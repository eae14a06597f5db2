#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <functional>

namespace tvi {

// Tells when the user switches to another workspace (virtual desktop): the window manager
// changes the root window's _NET_CURRENT_DESKTOP. Qt already follows the root window's
// properties, so this only filters the events it receives. Main thread; X11 sessions only
// (elsewhere it never fires). X11Workspace's workspace-change listeners hear it.
class TVIWorkspaceChangeWatcher : public QAbstractNativeEventFilter {
public:
    explicit TVIWorkspaceChangeWatcher(std::function<void()> changed);
    ~TVIWorkspaceChangeWatcher() override;
    TVIWorkspaceChangeWatcher(const TVIWorkspaceChangeWatcher&) = delete;
    TVIWorkspaceChangeWatcher& operator=(const TVIWorkspaceChangeWatcher&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void()> changed_;
    std::uint32_t currentDesktopAtom_ = 0;
    std::uint32_t rootWindow_ = 0;
};

}
