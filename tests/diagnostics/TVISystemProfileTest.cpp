// The system profile: its eight entries, number formats, the processor naming table and the failure lines.
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVISystemProfile.h"
#include "foundation/PropertyListSerialization.h"
#include "platform/Platform.h"
#include "platform/memory/SystemInformationTestInterface.h"
#include "support/CollectingLogger.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tvi {
namespace {

class TVISystemProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        system_ = std::dynamic_pointer_cast<SystemInformationTestInterface>(Platform::get<SystemInformation>());
        ASSERT_TRUE(system_);
        system_->clearValues();
        logger_ = test::CollectingLogger::install();
        ::setenv("LANGUAGE", "de_DE:fr", 1);
    }
    void TearDown() override
    {
        test::CollectingLogger::uninstall(logger_);
        ::unsetenv("LANGUAGE");
    }
    void x86Machine()
    {
        system_->setOperatingSystemVersionString("Version 14.2.1 (Build 23C71)");
        system_->setTextValue("hw.model", "MacBookPro11,5");
        system_->setIntegerValue("hw.memsize", 17'179'869'184LL);
        system_->setIntegerValue("hw.cputype", 7);
        system_->setTextValue("machdep.cpu.brand_string", "Intel(R) Core(TM) i7-4870HQ CPU @ 2.50GHz");
        system_->setIntegerValue("hw.cpufamily", 0x78ea4fbc);
        system_->setIntegerValue("hw.cpufrequency", 2'600'000'000LL);
        system_->setIntegerValue("hw.ncpu", 8);
        system_->setIntegerValue("hw.cpu64bit_capable", 1);
    }
    std::shared_ptr<SystemInformationTestInterface> system_;
    std::shared_ptr<test::CollectingLogger> logger_;
};

TEST_F(TVISystemProfileTest, EightEntriesInOrderWithTheirFormats)
{
    x86Machine();
    const auto entries = TVISystemProfile::discover();
    const std::vector<std::vector<std::string>> expected{
        {"OS_VERSION", "OS Version", "14.2.1 (Build 23C71)"},
        {"MACHINE_MODEL", "Machine Model", "MacBookPro11,5"},
        {"RAM_SIZE", "Memory in (MB)", "16384"},
        {"CPU_TYPE", "CPU Type", "Intel(R) Core(TM) i7-4870HQ CPU @ 2.50GHz"}, // brand first, family unused
        {"CPU_SPEED", "CPU Speed (MHz)", "2600"},
        {"CPU_COUNT", "Number of CPUs", "8"},
        {"CPU_64BIT", "CPU is 64-Bit", "YES"},
        {"LANGUAGE", "Preferred Language", TVISystemProfile::language().value_or("?")},
    };
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].size(), 4u);
        EXPECT_EQ(entries[i].at("key"), expected[i][0]);
        EXPECT_EQ(entries[i].at("visibleKey"), expected[i][1]);
        EXPECT_EQ(entries[i].at("value"), expected[i][2]) << expected[i][0];
        EXPECT_EQ(entries[i].at("visibleValue"), expected[i][2]);
    }
    EXPECT_EQ(entries[7].at("value").substr(0, 2), "de");
    EXPECT_TRUE(logger_->lines().empty());

    // Only the exact prefix goes; anything else stays whole.
    system_->setOperatingSystemVersionString("Debian GNU/Linux 12 (bookworm), Linux 6.1.0");
    EXPECT_EQ(TVISystemProfile::osversion(), "Debian GNU/Linux 12 (bookworm), Linux 6.1.0");
    system_->setOperatingSystemVersionString("Version14");
    EXPECT_EQ(TVISystemProfile::osversion(), "Version14");

    const auto plist = PropertyListSerialization::propertyListFromData(TVISystemProfile::systemProfileAsNSData());
    ASSERT_TRUE(plist);
    ASSERT_TRUE(plist->get<PlistArray>());
    EXPECT_EQ(plist->get<PlistArray>()->size(), 8u);
}

TEST_F(TVISystemProfileTest, NothingReadableStillGivesEveryEntry)
{
    ::unsetenv("LANGUAGE");
    ::setenv("LC_ALL", "", 1);
    const char* lang = std::getenv("LANG");
    const std::string savedLang = lang ? lang : "";
    ::unsetenv("LANG");
    ::unsetenv("LC_MESSAGES");
    system_->setOperatingSystemVersionString("");
    const auto entries = TVISystemProfile::discover();
    if (!savedLang.empty()) ::setenv("LANG", savedLang.c_str(), 1);
    ::unsetenv("LC_ALL");

    std::vector<std::string> values;
    for (const auto& e : entries) values.push_back(e.at("value"));
    EXPECT_EQ(values, (std::vector<std::string>{"", "(null)", "-1", "(null)", "-1", "1", "NO", "(null)"}));
    for (const char* line : {"TVISystemProfile: Failed to obtain CPU model", "TVISystemProfile: Failed to obtain RAM size",
                             "TVISystemProfile: Failed to obtain CPU type", "TVISystemProfile: Failed to obtain CPU speed",
                             "TVISystemProfile: Failed to obtain CPU count",
                             "TVISystemProfile: Failed to obtain preferred language"})
        EXPECT_TRUE(logger_->contains(line, DDLogFlagWarning)) << line;

    // A model whose size can be read but its value not.
    logger_->clear();
    system_->setTextValueUnreadable("hw.model");
    EXPECT_EQ(TVISystemProfile::machinemodel(), std::nullopt);
    EXPECT_EQ(logger_->texts(), (std::vector<std::string>{"TVISystemProfile: Failed to obtain machine model"}));
}

TEST_F(TVISystemProfileTest, ProcessorNamedByBrandFamilyOrTypeAndSubtype)
{
    struct Case {
        std::optional<std::int64_t> type, family, subtype;
        std::optional<std::string> brand;
        std::optional<std::string> name;
        std::string line;
    };
    const std::vector<Case> cases{
        {7, 0x6b5a4cd2, 3, "Xeon Brand", "Xeon Brand", ""},
        {7, 0x6b5a4cd2, 3, std::string("\xff\xfe"), "Intel Xeon (Nehalem)", ""}, // brand not UTF-8
        {7, 0x6b5a4cd2, 3, std::string(300, 'x'), "Intel Xeon (Nehalem)", ""},   // brand beyond the buffer
        {18, 0xcee41549, {}, {}, "PowerPC G3", ""},
        {18, 0x77c184ae, {}, {}, "PowerPC G4", ""},
        {18, 0xed76d8aa, {}, {}, "PowerPC G5", ""},
        {7, 0x78ea4fbc, {}, {}, "Intel Core 2 Duo (Penryn)", ""},
        {18, 0x12345678, 9, {}, std::nullopt, ""}, // a family not in the table: nil, no line
        {7, {}, 3, {}, "Intel", ""},
        {18, {}, 9, {}, "PowerPC G3", ""},
        {18, {}, 10, {}, "PowerPC G4", ""},
        {18, {}, 11, {}, "PowerPC G4", ""},
        {18, {}, 100, {}, "PowerPC G5", ""},
        {18, {}, 12, {}, std::nullopt, "TVISystemProfile: Unknown CPU type 18, CPU subtype 12"},
        {0x100000c, {}, 2, {}, std::nullopt, "TVISystemProfile: Unknown CPU type 16777228, CPU subtype 2"},
        {18, {}, {}, {}, std::nullopt, "TVISystemProfile: Failed to obtain CPU subtype"},
        {{}, 0xcee41549, 9, "Brand", std::nullopt, "TVISystemProfile: Failed to obtain CPU type"},
        {18, {}, {}, "Brand", std::nullopt, "TVISystemProfile: Failed to obtain CPU subtype"}, // brand only for x86
    };
    for (const Case& c : cases) {
        system_->clearValues();
        logger_->clear();
        system_->setIntegerValue("hw.cputype", c.type);
        system_->setIntegerValue("hw.cpufamily", c.family);
        system_->setIntegerValue("hw.cpusubtype", c.subtype);
        system_->setTextValue("machdep.cpu.brand_string", c.brand);
        EXPECT_EQ(TVISystemProfile::cputype(), c.name) << c.type.value_or(-1) << "/" << c.family.value_or(-1) << "/"
                                                       << c.subtype.value_or(-1);
        const auto texts = logger_->texts();
        EXPECT_EQ(texts, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    }
}

TEST_F(TVISystemProfileTest, SixtyFourBitOnlyWhenTheFirstKnownValueIsOne)
{
    EXPECT_FALSE(TVISystemProfile::is64bit());
    system_->setIntegerValue("hw.optional.64bitops", 1);
    EXPECT_TRUE(TVISystemProfile::is64bit());
    system_->setIntegerValue("hw.optional.x86_64", 0); // read first, so it decides
    EXPECT_FALSE(TVISystemProfile::is64bit());
    system_->setIntegerValue("hw.cpu64bit_capable", 2);
    EXPECT_FALSE(TVISystemProfile::is64bit());
    system_->setIntegerValue("hw.cpu64bit_capable", 0x100000001LL); // read as 32 bits: 1
    EXPECT_TRUE(TVISystemProfile::is64bit());
}

}
}
