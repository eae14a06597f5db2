// The colour scheme read from a desktop portal on the test session's bus: a stand-in portal
// answers Read as Debian 12's does (a variant inside a variant), fails it as one without a
// backend does, or stays silent; its SettingChanged signal becomes the theme notification.
#include "platform/DistributedNotifications.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxSystemInformation.h"
#include "platform/linux/PortalColorScheme.h"
#include "support/DesktopSession.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace tvi {
namespace {

using namespace std::chrono_literals;
using Scheme = PortalColorScheme::Scheme;

// org.freedesktop.portal.Desktop on the session bus, served by a thread of its own.
class StandInPortal {
public:
    enum class Mode { Answer, Fail, Silent };

    explicit StandInPortal(Mode mode, std::uint32_t scheme = 0) : mode_(mode), scheme_(scheme)
    {
        if (sd_bus_open_user(&bus_) < 0) return;
        sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
                                 vtable(), this);
        if (sd_bus_request_name(bus_, "org.freedesktop.portal.Desktop", 0) < 0) return;
        ready_ = true;
        thread_ = std::thread([this] { serve(); });
    }
    ~StandInPortal()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        sd_bus_flush_close_unref(bus_);
    }
    bool ready() const { return ready_; }

    void announce(std::uint32_t scheme)
    {
        std::lock_guard lock(mutex_);
        sd_bus_emit_signal(bus_, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
                           "SettingChanged", "ssv", "org.freedesktop.appearance", "color-scheme", "u", scheme);
        sd_bus_flush(bus_);
    }

private:
    static const sd_bus_vtable* vtable()
    {
        static const sd_bus_vtable table[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("Read", "ss", "v", &StandInPortal::read, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END,
        };
        return table;
    }

    static int read(sd_bus_message* call, void* self, sd_bus_error* error)
    {
        auto* portal = static_cast<StandInPortal*>(self);
        if (portal->mode_ == Mode::Fail)
            return sd_bus_error_set(error, "org.freedesktop.portal.Error.NotFound", "Requested setting not found");
        sd_bus_message* reply = nullptr;
        sd_bus_message_new_method_return(call, &reply);
        sd_bus_message_open_container(reply, 'v', "v");
        sd_bus_message_append(reply, "v", "u", portal->scheme_);
        sd_bus_message_close_container(reply);
        const int r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }

    void serve()
    {
        while (!stop_) {
            {
                std::lock_guard lock(mutex_);
                // A silent portal takes the call off the bus but never answers it.
                while (mode_ != Mode::Silent && sd_bus_process(bus_, nullptr) > 0) {
                }
            }
            sd_bus_wait(bus_, 20000);
        }
    }

    Mode mode_;
    std::uint32_t scheme_;
    sd_bus* bus_ = nullptr;
    bool ready_ = false;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::thread thread_;
};

class RecordingNotifications : public DistributedNotifications {
public:
    void addObserver(const void*, const std::string&, Handler) override {}
    void removeObserversForOwner(const void*) override {}
    void postNotification(const std::string& name, const std::optional<std::string>&) override
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(name);
    }
    std::vector<std::string> posted()
    {
        std::lock_guard lock(mutex_);
        return posted_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> posted_;
};

class PortalColorSchemeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "needs a session bus"; }
};

TEST_F(PortalColorSchemeTest, TheNestedAnswerCountsAndAChangeIsPostedOnceAsTheThemeNotification)
{
    StandInPortal portal(StandInPortal::Mode::Answer, 1);
    ASSERT_TRUE(portal.ready());
    auto notifications = std::make_shared<RecordingNotifications>();
    Platform::Scoped<DistributedNotifications> installed(notifications);

    LinuxSystemInformation information;
    EXPECT_TRUE(information.isDarkMode());
    portal.announce(2);
    ASSERT_TRUE(test::waitUntil([&] { return notifications->posted().size() == 1; }, 5s));
    EXPECT_EQ(notifications->posted().front(), "AppleInterfaceThemeChangedNotification");
    EXPECT_FALSE(information.isDarkMode());
    portal.announce(2); // no change of dark or light: nothing posted
    portal.announce(1);
    ASSERT_TRUE(test::waitUntil([&] { return notifications->posted().size() >= 2; }, 5s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(notifications->posted().size(), 2u);
    EXPECT_TRUE(information.isDarkMode());
}

TEST_F(PortalColorSchemeTest, AFailingOrSilentPortalLeavesNoAnswerWithinTheTimeOut)
{
    for (auto mode : {StandInPortal::Mode::Fail, StandInPortal::Mode::Silent}) {
        StandInPortal portal(mode, 1);
        ASSERT_TRUE(portal.ready());
        const auto started = std::chrono::steady_clock::now();
        auto scheme = PortalColorScheme::connect(nullptr);
        ASSERT_TRUE(scheme);
        EXPECT_EQ(scheme->scheme(), std::nullopt);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_LT(took, PortalColorScheme::kAnswerTimeout + 500ms);
        if (mode == StandInPortal::Mode::Fail) {
            EXPECT_LT(took, 500ms); // an error reply is not waited out
        }
    }
    // No portal on the bus at all.
    auto scheme = PortalColorScheme::connect(nullptr);
    ASSERT_TRUE(scheme);
    EXPECT_EQ(scheme->scheme(), std::nullopt);
}

}
}
