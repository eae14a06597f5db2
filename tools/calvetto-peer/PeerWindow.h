#pragma once

#include <memory>
#include <string>

namespace tvi::peer {

// A small top-level X window that identifies as Calvetto ("com.orvella.phoneclient"
// in WM_CLASS, _NET_WM_PID of this process, title "Calvetto"), so that a test or a
// demo can see Telvora bring Calvetto to the front. Events are served on a thread
// of its own with a display connection of its own.
class PeerWindow {
public:
    PeerWindow();
    ~PeerWindow();
    PeerWindow(const PeerWindow&) = delete;
    PeerWindow& operator=(const PeerWindow&) = delete;

    // Opens $DISPLAY and maps the window, returning once it is mapped; false with
    // `error` set when there is no display or the window could not be mapped.
    bool open(std::string* error);
    unsigned long windowId() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}
