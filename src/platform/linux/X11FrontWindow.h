#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct _XDisplay;

namespace tvi {

// The top-level window that receives keyboard input now: the window manager's active window
// (_NET_ACTIVE_WINDOW), or without a window manager the input focus and its ancestors up to
// the first one that names its application. Read on the caller's connection and thread.
class X11FrontWindow {
public:
    explicit X11FrontWindow(_XDisplay* display);

    bool exists() const { return window_ != 0; }
    // From _NET_WM_PID; absent when the window does not say.
    std::optional<std::int64_t> processId() const;
    // WM_CLASS: instance name and class name, empty when unset.
    std::string instanceName() const { return instance_; }
    std::string className() const { return class_; }

private:
    unsigned long activeWindow() const;
    unsigned long focusedClient();
    bool readClass(unsigned long window);

    _XDisplay* display_;
    unsigned long window_ = 0;
    std::string instance_;
    std::string class_;
};

}
