#include "platform/LoginItems.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/SystemInformation.h"
#include "platform/memory/MemoryBackends.h"
#include "platform/memory/MemoryLoginItems.h"
#include "platform/memory/MemorySystemInformation.h"

#include <gtest/gtest.h>

#include <thread>

using tvi::LoginItems;
using tvi::LoginItemsTestInterface;
using tvi::OperatingSystemVersion;
using tvi::Platform;
using tvi::SystemInformation;

namespace {

// A backend of another kind, to see that the registry hands out what was installed.
class FixedSystemInformation : public SystemInformation {
public:
    OperatingSystemVersion operatingSystemVersion() const override { return {10, 9, 5}; }
    bool isDarkMode() const override { return false; }
    std::string operatingSystemVersionString() const override { return "10.9.5"; }
    std::optional<std::int64_t> integerValue(std::string_view) const override { return std::nullopt; }
    std::optional<std::size_t> textValueSize(std::string_view) const override { return std::nullopt; }
    std::optional<std::string> textValue(std::string_view) const override { return std::nullopt; }
};

}

TEST(PlatformTest, TestProcessesStartWithTheMemoryBackendsInstalled)
{
    auto info = Platform::get<SystemInformation>();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->operatingSystemVersion(), (OperatingSystemVersion{14, 0, 0}));
    EXPECT_EQ(Platform::get<SystemInformation>(), info); // one backend per process, not one per call
    auto items = Platform::get<LoginItems>();
    ASSERT_TRUE(items);
    EXPECT_TRUE(std::dynamic_pointer_cast<LoginItemsTestInterface>(items));
}

TEST(PlatformTest, InstalledBackendReplacesTheCurrentOneAndScopesRestore)
{
    auto before = Platform::get<SystemInformation>();
    {
        Platform::Scoped<SystemInformation> scoped(std::make_shared<FixedSystemInformation>());
        EXPECT_EQ(Platform::get<SystemInformation>()->operatingSystemVersion(), (OperatingSystemVersion{10, 9, 5}));
        // Another service is not touched.
        EXPECT_TRUE(std::dynamic_pointer_cast<tvi::MemoryLoginItems>(Platform::get<LoginItems>()));
    }
    EXPECT_EQ(Platform::get<SystemInformation>(), before);

    auto previous = Platform::install<SystemInformation>(std::make_shared<FixedSystemInformation>());
    EXPECT_EQ(previous, before);
    Platform::install<SystemInformation>(previous);
}

// Nothing stands in silently: a service nobody installed stops the process with its name.
TEST(PlatformTest, AServiceNobodyInstalledAbortsWithItsName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Platform::install<tvi::Pasteboard>(nullptr);
            Platform::get<tvi::Pasteboard>();
        },
        "no backend installed for the desktop service Pasteboard");
}

TEST(PlatformTest, MemoryBackendsInstallEveryServiceAndReportIt)
{
    const auto reports = tvi::MemoryBackends::installAll("no display");
    ASSERT_EQ(reports.size(), tvi::MemoryBackends::services().size());
    for (const auto& report : reports) {
        EXPECT_EQ(report.backend, "in-memory");
        EXPECT_EQ(report.fallbackReason, "no display");
    }
    EXPECT_EQ(reports.front().service, "HotKeys");
    EXPECT_TRUE(std::dynamic_pointer_cast<tvi::MemorySystemInformation>(Platform::get<SystemInformation>()));
    EXPECT_FALSE(tvi::MemoryBackends::install("Nonesuch"));
}

TEST(PlatformTest, MemorySystemInformationReportsTheConfiguredVersion)
{
    auto memory = std::make_shared<tvi::MemorySystemInformation>();
    Platform::Scoped<SystemInformation> scoped(memory);
    memory->setOperatingSystemVersion({10, 10, 0});
    EXPECT_EQ(Platform::get<SystemInformation>()->operatingSystemVersion(), (OperatingSystemVersion{10, 10, 0}));
}

TEST(PlatformTest, MemoryLoginItemsAddOnceAtTheTopAndRemoveOnlyTheirOwnEntry)
{
    auto memory = std::make_shared<tvi::MemoryLoginItems>();
    Platform::Scoped<LoginItems> scoped(memory);
    auto items = Platform::get<LoginItems>();
    memory->setItems({"/Applications/Other.app", "/Users/x/Telvora.app"});

    EXPECT_TRUE(items->addLoginItem("/Applications/Telvora.app"));
    EXPECT_TRUE(items->addLoginItem("/Applications/Telvora.app"));
    EXPECT_EQ(memory->items(), (std::vector<std::string>{"/Applications/Telvora.app", "/Applications/Other.app",
                                                         "/Users/x/Telvora.app"}));
    EXPECT_TRUE(items->isLoginItem("/Applications/Telvora.app"));

    EXPECT_TRUE(items->removeLoginItem("/Applications/Telvora.app"));
    EXPECT_TRUE(items->removeLoginItem("/Applications/Telvora.app"));
    EXPECT_FALSE(items->isLoginItem("/Applications/Telvora.app"));
    EXPECT_EQ(memory->items(), (std::vector<std::string>{"/Applications/Other.app", "/Users/x/Telvora.app"}));
}

TEST(PlatformTest, MemoryLoginItemsFailuresLeaveTheListAsItWas)
{
    auto memory = std::make_shared<tvi::MemoryLoginItems>();
    memory->setItems({"/A.app"});
    memory->setFailAdd(true);
    EXPECT_FALSE(memory->addLoginItem("/B.app"));
    memory->setFailRemove(true);
    EXPECT_FALSE(memory->removeLoginItem("/A.app"));
    EXPECT_EQ(memory->items(), std::vector<std::string>{"/A.app"});

    memory->setFailAdd(false);
    memory->setFailRemove(false);
    memory->setAvailable(false);
    EXPECT_FALSE(memory->isAvailable());
    EXPECT_FALSE(memory->addLoginItem("/B.app"));
    EXPECT_EQ(memory->items(), std::vector<std::string>{"/A.app"});
}

TEST(PlatformTest, RegistryIsSafeToUseFromSeveralThreads)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                if (t == 0 && i % 10 == 0) Platform::install<LoginItems>(std::make_shared<tvi::MemoryLoginItems>());
                auto items = Platform::get<LoginItems>();
                items->addLoginItem("/T" + std::to_string(t) + ".app");
                items->isLoginItem("/T0.app");
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(Platform::get<LoginItems>());
}
