// The contact action plug-in as a host sees it: loaded with dlopen from the built bundle, its
// four operations called through the C interface, its posts read from a private session bus.
#include "companions/abplugin/TVAbplugin.h"

#include <systemd/sd-bus.h>

#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr const char* kLibrary =
    TELVORA_APP_DIR "/Contents/Resources/com.orvella.TVAbplugin.bundle/Contents/MacOS/TVAbplugin.so";

// A dbus-daemon of this test alone, with a client that records every companion post.
class PrivateBus {
public:
    PrivateBus()
    {
        FILE* out = popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1", "r");
        char address[512] = {0}, pid[32] = {0};
        if (!out || !fgets(address, sizeof address, out) || !fgets(pid, sizeof pid, out)) return;
        pclose(out);
        address_ = std::string(address, std::strlen(address) - 1);
        pid_ = std::atoi(pid);
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        if (sd_bus_open_user(&bus_) < 0) return;
        sd_bus_match_signal(bus_, nullptr, nullptr, "/com/orvella/Telvora/Notifications",
                            "com.orvella.Telvora.DistributedNotifications", "Post", &PrivateBus::onPost, this);
    }
    ~PrivateBus()
    {
        sd_bus_flush_close_unref(bus_);
        if (pid_ > 0) kill(pid_, SIGTERM);
    }
    bool ready() const { return bus_ != nullptr; }
    // Reads the bus until `count` posts arrived or two seconds passed.
    const std::vector<std::pair<std::string, std::string>>& posts(std::size_t count)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (received_.size() < count && std::chrono::steady_clock::now() < end)
            if (sd_bus_process(bus_, nullptr) == 0) sd_bus_wait(bus_, 100000);
        return received_;
    }

private:
    static int onPost(sd_bus_message* message, void* self, sd_bus_error*)
    {
        const char* name = nullptr;
        const char* object = nullptr;
        if (sd_bus_message_read(message, "ss", &name, &object) >= 0)
            static_cast<PrivateBus*>(self)->received_.emplace_back(name, object);
        return 0;
    }

    std::string address_;
    int pid_ = 0;
    sd_bus* bus_ = nullptr;
    std::vector<std::pair<std::string, std::string>> received_;
};

class TVAbpluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle_ = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        actionProperty = reinterpret_cast<TVAbActionPropertyFunction>(dlsym(handle_, "TVAbActionProperty"));
        title = reinterpret_cast<TVAbTitleForPersonFunction>(dlsym(handle_, "TVAbTitleForPerson"));
        enable = reinterpret_cast<TVAbShouldEnableActionForPersonFunction>(
            dlsym(handle_, "TVAbShouldEnableActionForPerson"));
        perform = reinterpret_cast<TVAbPerformActionForPersonFunction>(dlsym(handle_, "TVAbPerformActionForPerson"));
        ASSERT_TRUE(actionProperty && title && enable && perform);
    }
    void TearDown() override
    {
        if (handle_) dlclose(handle_);
    }
    std::string titleIn(const char* language)
    {
        setenv("LANGUAGE", language, 1);
        char text[64];
        const std::size_t length = title(&person, "p0", text, sizeof text);
        unsetenv("LANGUAGE");
        EXPECT_EQ(length, std::strlen(text));
        return text;
    }

    void* handle_ = nullptr;
    TVAbActionPropertyFunction actionProperty = nullptr;
    TVAbTitleForPersonFunction title = nullptr;
    TVAbShouldEnableActionForPersonFunction enable = nullptr;
    TVAbPerformActionForPersonFunction perform = nullptr;

    const TVAbPhoneValue phones[4] = {{"p0", "WORK", "(030) 123-45 67"},
                                      {"p1", "CELL", " 0171 555 "},
                                      {"p2", "HOME", ""},
                                      {"p3", "OTHER", "1-800-FLOWERS"}};
    const TVAbPerson person{"uid-1", phones, 4};
};

TEST_F(TVAbpluginTest, OffersTheLocalizedTitleEnabledOnEveryPhoneNumber)
{
    EXPECT_STREQ(actionProperty(), "Phone");
    EXPECT_EQ(titleIn("en_GB.UTF-8"), "Call via Calvetto");
    EXPECT_EQ(titleIn("de_AT.UTF-8"), "Mit Calvetto anrufen");
    // No table for the language: the English one.
    EXPECT_EQ(titleIn("fi_FI"), "Call via Calvetto");
    char small[5];
    EXPECT_EQ(title(&person, "p0", small, sizeof small), std::strlen("Call via Calvetto"));
    EXPECT_STREQ(small, "Call");
    for (const char* id : {"p0", "p1", "p2", "p3", "unknown"}) EXPECT_TRUE(enable(&person, id)) << id;
}

TEST_F(TVAbpluginTest, PerformPostsTheNumberExactlyAsStoredAndNothingForEmptyOrMissingValues)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    perform(&person, "p2");      // empty
    perform(&person, "unknown"); // missing
    perform(&person, "p0");
    perform(&person, "p1");
    perform(&person, "p3");
    const auto& posts = bus.posts(3);
    const std::string name = "com.orvella.Telvora-Automator.textFromAutomator";
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0], std::make_pair(name, std::string("(030) 123-45 67")));
    EXPECT_EQ(posts[1], std::make_pair(name, std::string(" 0171 555 ")));
    EXPECT_EQ(posts[2], std::make_pair(name, std::string("1-800-FLOWERS")));
}

}
