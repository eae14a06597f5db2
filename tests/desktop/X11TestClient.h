#pragma once

// GoogleTest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tvi::test {

// Another X client beside the backend under test: it grabs, types with XTest and maps windows
// on a connection of its own, from the test thread. Fails the test clearly without a display.
class X11TestClient {
public:
    X11TestClient();
    ~X11TestClient();
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    Display* display() const { return display_; }
    bool connected() const { return display_ != nullptr; }
    KeyCode keyCode(KeySym symbol) const;

    // Grabs one exact modifier state; answers the X error (0: granted).
    int grab(KeySym symbol, unsigned int modifiers);
    void ungrab(KeySym symbol, unsigned int modifiers);
    // Presses or releases a key by XTest, and waits until the server has it.
    void key(KeySym symbol, bool down);

    // A mapped top-level window holding the input focus, that records its key presses.
    Window openFocusedWindow(const std::string& instanceName, const std::string& className, long processId);
    // Key presses that reached the window so far (reads the connection for up to `wait`).
    std::vector<XKeyEvent> keyPresses(std::chrono::milliseconds wait);

private:
    Display* display_ = nullptr;
    Window window_ = 0;
    std::vector<XKeyEvent> presses_;
};

// Serves the main queue on this thread until `done` holds or the time-out passes.
bool serveMainQueueUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

}
