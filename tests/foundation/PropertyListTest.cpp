#include "foundation/PropertyListSerialization.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

namespace tvi {

// Failures show the value as XML.
void PrintTo(const PlistValue& value, std::ostream* os)
{
    const PlistData xml = PropertyListSerialization::dataFromPropertyList(value, PropertyListSerialization::Format::XML);
    *os << (xml.empty() ? std::string("<not a property list>") : std::string(xml.begin(), xml.end()));
}

namespace {

using Format = PropertyListSerialization::Format;
using namespace std::chrono;

PlistDate dateAt(std::int64_t microsSince2001)
{
    return PlistDate(duration_cast<PlistDate::duration>(microseconds(microsSince2001) + seconds(978307200)));
}

PlistData allBytes()
{
    PlistData bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(std::uint8_t(i));
    return bytes;
}

// Every type, nested, with values at the edges of what the formats hold.
PlistValue sample(bool withFractionalDates)
{
    const std::int64_t fraction = withFractionalDates ? 1 : 0;
    PlistArray dates{dateAt(0), dateAt(700000000LL * 1000000 + 123456 * fraction),
                     dateAt(-500000 * fraction), dateAt(-9750000 * fraction - 10000000),
                     dateAt(std::int64_t(std::numeric_limits<std::int32_t>::max()) * 1000000)};
    PlistDictionary nested{{"empty dict", PlistDictionary()}, {"empty array", PlistArray()}, {"empty text", ""}};
    return PlistDictionary{
        {"integers", PlistArray{0, 1, -1, 255, 256, std::int64_t(5000000000), std::numeric_limits<std::int64_t>::max(),
                                std::numeric_limits<std::int64_t>::min()}},
        {"reals", PlistArray{0.1, -1e300, 1.5, 3.0, std::numeric_limits<double>::min()}},
        {"booleans", PlistArray{true, false}},
        {"texts", PlistArray{"plain", "h\xc3\xa9llo <&> \"quoted\" 'x'", "\xe2\x98\x8e\xf0\x9f\x93\x9e", "  spaced  "}},
        {"dates", dates},
        {"data", PlistArray{allBytes(), PlistData()}},
        {"uids", PlistArray{PlistUid{0}, PlistUid{7}, PlistUid{300}}},
        {"nested", nested},
        {"key with \xc3\xbc", true},
    };
}

TEST(PropertyListTest, EveryTypeRoundTripsInBinary)
{
    const PlistValue value = sample(true);
    const PlistData data = PropertyListSerialization::dataFromPropertyList(value, Format::Binary);
    ASSERT_GE(data.size(), 8u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "bplist00");
    const auto back = PropertyListSerialization::propertyListFromData(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, value);
}

TEST(PropertyListTest, EveryTypeRoundTripsInXml)
{
    const PlistValue value = sample(false);
    const PlistData data = PropertyListSerialization::dataFromPropertyList(value, Format::XML);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(std::string(data.begin(), data.begin() + 5), "<?xml");
    const auto back = PropertyListSerialization::propertyListFromData(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, value);
}

TEST(PropertyListTest, XmlDatesKeepWholeSecondsOnly)
{
    const PlistValue value = PlistArray{dateAt(42 * 1000000 + 999999)};
    const auto back = PropertyListSerialization::propertyListFromData(
        PropertyListSerialization::dataFromPropertyList(value, Format::XML));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PlistValue(PlistArray{dateAt(42 * 1000000)}));
}

TEST(PropertyListTest, MalformedInputIsRefused)
{
    const PlistData binary = PropertyListSerialization::dataFromPropertyList(sample(true), Format::Binary);
    const PlistData xml = PropertyListSerialization::dataFromPropertyList(sample(false), Format::XML);
    const std::string garbage = "bplist00 this is not a property list";
    const std::vector<PlistData> inputs{
        {},
        PlistData(garbage.begin(), garbage.end()),
        PlistData(binary.begin(), binary.end() - 10),
        PlistData(binary.begin(), binary.begin() + binary.size() / 2),
        PlistData(xml.begin(), xml.begin() + xml.size() / 2),
        PlistData{0x00, 0x01, 0x02},
    };
    for (const auto& input : inputs) EXPECT_FALSE(PropertyListSerialization::propertyListFromData(input));
}

// Files written elsewhere: what is read can always be written back, and nothing in them
// brings the process down.
TEST(PropertyListTest, StoredFilesAreReadSafelyAndCanBeWrittenBack)
{
    // A binary dictionary {"\u00e9\0b": true}: the NUL inside a key made libplist abort.
    const PlistData nulKey{0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x63, 0x00, 0xe9,
                           0x00, 0x00, 0x00, 0x62, 0x09, 0x08, 0x0b, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13};
    EXPECT_FALSE(PropertyListSerialization::propertyListFromData(nulKey));

    // Broken UTF-8 in a key and a value becomes U+FFFD, so the file can be written again.
    const std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k\xA0</key>"
                            "<string>v\xFF</string><key>TVIFirstRun</key><false/></dict></plist>";
    const auto read = PropertyListSerialization::propertyListFromData(PlistData(xml.begin(), xml.end()));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, PlistValue(PlistDictionary{{"k\xEF\xBF\xBD", PlistValue("v\xEF\xBF\xBD")},
                                                {"TVIFirstRun", PlistValue(false)}}));
    EXPECT_FALSE(PropertyListSerialization::dataFromPropertyList(*read, Format::Binary).empty());

    // A binary {"d": 2268-01-01 14:20:00.94}, beyond the writable range, is read as a writable date.
    const PlistData farDate{0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x51, 0x64, 0x33, 0x41,
                            0xff, 0x63, 0x5e, 0x01, 0x0f, 0x00, 0x00, 0x08, 0x0b, 0x0d, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16};
    const auto far = PropertyListSerialization::propertyListFromData(farDate);
    ASSERT_TRUE(far);
    EXPECT_TRUE(PropertyListSerialization::isValidPropertyList(*far));
}

TEST(PropertyListTest, ValuesAPropertyListCannotHoldAreRefused)
{
    const std::vector<PlistValue> unstorable{
        PlistValue(),
        PlistArray{1, PlistValue()},
        PlistDictionary{{"k", PlistValue()}},
        std::string("nul\0inside", 10),
        std::string("\xff\xfe bad utf-8"),
        PlistDictionary{{std::string("\xc3"), 1}},
        dateAt((std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) * 1000000),
    };
    for (const auto& value : unstorable) {
        EXPECT_FALSE(PropertyListSerialization::isValidPropertyList(value));
        EXPECT_TRUE(PropertyListSerialization::dataFromPropertyList(value, Format::Binary).empty());
        EXPECT_TRUE(PropertyListSerialization::dataFromPropertyList(value, Format::XML).empty());
    }
}

TEST(PropertyListTest, FilesAreWrittenWholeOrNotAtAll)
{
    const std::string folder = test::makeTempDir("plist");
    const std::string path = folder + "/values.plist";
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(sample(true), path, Format::Binary));
    EXPECT_EQ(PropertyListSerialization::propertyListWithContentsOfFile(path), sample(true));

    // A value that cannot be written leaves the old file as it was.
    EXPECT_FALSE(PropertyListSerialization::writePropertyListToFile(PlistArray{PlistValue()}, path, Format::Binary));
    EXPECT_EQ(PropertyListSerialization::propertyListWithContentsOfFile(path), sample(true));
    EXPECT_FALSE(PropertyListSerialization::writePropertyListToFile(1, folder + "/missing/x.plist", Format::XML));
    EXPECT_FALSE(PropertyListSerialization::propertyListWithContentsOfFile(folder + "/absent.plist"));

    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(PropertyListTest, LenientReadersConvertLikeThePlatform)
{
    EXPECT_TRUE(PlistValue("YES").boolValue());
    EXPECT_TRUE(PlistValue("  true").boolValue());
    EXPECT_FALSE(PlistValue("000").boolValue());
    EXPECT_TRUE(PlistValue(0.5).boolValue());
    EXPECT_EQ(PlistValue(" -42abc").integerValue(), -42);
    EXPECT_EQ(PlistValue("99999999999999999999").integerValue(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(PlistValue("-9223372036854775808").integerValue(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(PlistValue(1e300).integerValue(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(PlistValue(-2.9).integerValue(), -2);
    EXPECT_DOUBLE_EQ(PlistValue(" +2.5x").doubleValue(), 2.5);
    EXPECT_EQ(PlistValue(0.1).stringValue(), "0.1");
    EXPECT_EQ(PlistValue(true).stringValue(), "1");
    EXPECT_EQ(PlistValue(PlistData{}).stringValue(), std::nullopt);
}

}
}
