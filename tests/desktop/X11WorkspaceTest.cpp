#include "platform/linux/X11Workspace.h"

#include "DesktopTools.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

// Last: Xlib defines None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tvi {
namespace {

using namespace std::chrono_literals;

// Top-level windows of a test client, as an application would show them.
class TestWindows {
public:
    TestWindows() : display_(XOpenDisplay(nullptr)) {}
    ~TestWindows()
    {
        if (display_) XCloseDisplay(display_);
    }
    bool isOpen() const { return display_ != nullptr; }

    Window open(const char* windowClass)
    {
        const Window window =
            XCreateSimpleWindow(display_, DefaultRootWindow(display_), 10, 10, 200, 100, 0, 0, 0xffffff);
        XClassHint hint{const_cast<char*>("instance"), const_cast<char*>(windowClass)};
        XSetClassHint(display_, window, &hint);
        const long pid = getpid();
        XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XMapWindow(display_, window);
        XSync(display_, False);
        return window;
    }

    Window activeWindow() const
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        Window active = 0;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_ACTIVE_WINDOW", False),
                               0, 1, False, XA_WINDOW, &type, &format, &items, &after, &data) == Success &&
            items == 1)
            active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        if (data) XFree(data);
        return active;
    }

private:
    Display* display_;
};

// Polls the desktop until `condition` holds: window managers act asynchronously.
template <class Condition>
bool eventually(Condition condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

// Finding and activating applications by identifier is in WorkspaceContract
// (X11BackendsContractTest); an application named by its desktop entry is X's own.
TEST(X11WorkspaceTest, AnApplicationIsKnownByTheDesktopEntryThatNamesItsWindowClass)
{
    ASSERT_TRUE(test::requireDisplay());
    const std::string dataHome = test::makeTempDir("xdg-data");
    std::filesystem::create_directories(dataHome + "/applications/org.example");
    std::ofstream(dataHome + "/applications/org.example/Editor.desktop")
        << "[Desktop Entry]\nType=Application\nName=Editor\nStartupWMClass = ExampleEditor\n";
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);

    std::string why;
    const std::shared_ptr<X11Workspace> workspace = X11Workspace::create(why);
    ASSERT_TRUE(workspace) << why;
    TestWindows windows;
    ASSERT_TRUE(windows.isOpen());
    windows.open("com.orvella.phoneclient");
    const Window editor = windows.open("ExampleEditor");

    const RunningApplication editorApp{"org.example-Editor", getpid()};
    ASSERT_TRUE(eventually([&] {
        return workspace->runningApplicationsWithBundleIdentifier("org.example-Editor").size() == 1;
    }));
    EXPECT_TRUE(workspace->runningApplicationsWithBundleIdentifier("ExampleEditor").empty());

    ASSERT_TRUE(workspace->activateApplication(editorApp));
    EXPECT_TRUE(eventually([&] { return windows.activeWindow() == editor; }));
    EXPECT_EQ(workspace->frontmostApplicationBundleIdentifier(), "org.example-Editor");
    unsetenv("XDG_DATA_HOME");

}

}
}
