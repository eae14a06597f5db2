#include "desktop/X11TestClient.h"
#include "platform/linux/X11ErrorTrap.h"
#include "platform/linux/X11HotKeys.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tvi {
namespace {

using test::X11TestClient;

constexpr Window kNoSuchWindow = 0x3FFFFFE;

TEST(X11ErrorTrapTest, EachTrapGetsTheErrorsOfItsOwnRequestsAndNoErrorEndsTheProcess)
{
    X11TestClient client;
    ASSERT_TRUE(client.connected());
    Display* display = client.display();

    X11ErrorTrap outer(display);
    {
        X11ErrorTrap inner(display);
        XMapWindow(display, kNoSuchWindow);
        EXPECT_EQ(inner.check(), BadWindow);
    }
    EXPECT_EQ(outer.check(), 0) << "the inner trap's error is not the outer one's";

    // An error nobody traps is logged; Xlib's default would have ended the process here.
    XMapWindow(display, kNoSuchWindow);
    XSync(display, False);
    SUCCEED();
}

// An X server of the test's own, so that losing it disturbs no other test.
class PrivateXServer {
public:
    PrivateXServer()
    {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr};
        if (posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
        close(fds[1]);
        char number[16] = {};
        const ssize_t got = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        if (got > 0) display_ = ":" + std::string(number, number + got - (number[got - 1] == '\n'));
    }
    ~PrivateXServer() { stop(); }
    void stop()
    {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

TEST(X11ErrorTrapTest, ALostConnectionIsReportedAndTheProcessLivesOn)
{
    PrivateXServer server;
    ASSERT_FALSE(server.display().empty()) << "could not start Xvfb";
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    std::string why;
    std::shared_ptr<X11HotKeys> hotKeys = X11HotKeys::create(why);
    setenv("DISPLAY", previous.c_str(), 1);
    ASSERT_TRUE(hotKeys) << why;
    std::atomic<int> reports{0};
    X11ErrorTrap::setConnectionLostHandler([&](const std::string& name) {
        if (name == server.display()) ++reports;
    });

    server.stop();
    for (int i = 0; i < 300 && hotKeys->isAvailable(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(hotKeys->isAvailable());
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(hotKeys->registerEventHotKey(0x60, 0x100, {1, 1}, 0).status, eventInternalErr);
    X11ErrorTrap::setConnectionLostHandler(nullptr);
    hotKeys.reset(); // closing a dead connection must not end the process either
}

}
}
