// Gzip members of report attachments, their log lines, and the hexadecimal text of byte buffers.
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVIZlibUtilities.h"
#include "foundation/DataConversion.h"
#include "support/CollectingLogger.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace tvi {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes gunzip(const Bytes& member)
{
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    stream.next_in = const_cast<Bytef*>(member.data());
    stream.avail_in = static_cast<uInt>(member.size());
    Bytes out;
    int status = Z_OK;
    while (status == Z_OK) {
        std::uint8_t chunk[4096];
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    }
    EXPECT_EQ(status, Z_STREAM_END);
    EXPECT_EQ(stream.avail_in, 0u) << "one member, nothing after it";
    inflateEnd(&stream);
    return out;
}

Bytes randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 engine(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(engine());
    return bytes;
}

Bytes logText(std::size_t count)
{
    std::string text;
    for (int i = 0; text.size() < count; ++i)
        text += "2024/05/03 10:11:" + std::to_string(10 + i % 50) + ":123  TVISocket: => readData " + std::to_string(i) + "\n";
    text.resize(count);
    return Bytes(text.begin(), text.end());
}

class TVIZlibUtilitiesTest : public ::testing::Test {
protected:
    void SetUp() override { logger_ = test::CollectingLogger::install(); }
    void TearDown() override { test::CollectingLogger::uninstall(logger_); }
    std::shared_ptr<test::CollectingLogger> logger_;
};

TEST_F(TVIZlibUtilitiesTest, EmptyOrAbsentInputLogsOneErrorAndYieldsNothing)
{
    for (const std::optional<Bytes>& input : {std::optional<Bytes>(), std::optional<Bytes>(Bytes{})}) {
        logger_->clear();
        EXPECT_EQ(TVIZlibUtilities::gzipData(input), std::nullopt);
        const auto lines = logger_->lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].flag, DDLogFlagError);
        EXPECT_EQ(lines[0].text, "TVIZlibUtilities: Can't compress an empty or null NSData object");
    }
}

// The old output buffer (length x 1.01 + 12) held 113 bytes for 100 random bytes, whose member needs
// 123: such input failed with "Run out of output buffer". Every size must now compress and round-trip.
TEST_F(TVIZlibUtilitiesTest, IncompressibleAndSmallInputRoundTrips)
{
    for (std::size_t size : {std::size_t(1), std::size_t(100), std::size_t(5000), std::size_t(70000)}) {
        const Bytes input = randomBytes(size, static_cast<unsigned>(size));
        const auto member = TVIZlibUtilities::gzipData(input);
        ASSERT_TRUE(member) << size << " bytes";
        EXPECT_GT(member->size(), size) << "random bytes do not shrink";
        EXPECT_EQ((*member)[0], 0x1f);
        EXPECT_EQ((*member)[1], 0x8b);
        EXPECT_EQ(gunzip(*member), input) << size << " bytes";
    }
    EXPECT_FALSE(logger_->contains("Run out of output buffer"));
    EXPECT_EQ(logger_->count("Error"), 0u);
}

TEST_F(TVIZlibUtilitiesTest, LogTextShrinksAndTheInfoLineGivesWholeKilobytes)
{
    const Bytes input = logText(100000);
    const auto member = TVIZlibUtilities::gzipData(input);
    ASSERT_TRUE(member);
    EXPECT_LT(member->size(), input.size() / 4);
    EXPECT_EQ(gunzip(*member), input);
    const auto lines = logger_->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].flag, DDLogFlagInfo);
    EXPECT_EQ(lines[0].text, "TVIZlibUtilities: gzipData: Compressed file from 97 KB to " +
                                 std::to_string(member->size() / 1024) + " KB");

    // 5,000 bytes to well under 1024: "4 KB to 0 KB", the remainders dropped.
    logger_->clear();
    const auto small = TVIZlibUtilities::gzipData(logText(5000));
    ASSERT_TRUE(small);
    ASSERT_LT(small->size(), 1024u);
    EXPECT_TRUE(logger_->contains("TVIZlibUtilities: gzipData: Compressed file from 4 KB to 0 KB", DDLogFlagInfo));
}

TEST(DataConversionTest, HexadecimalStringIsTwoLowerCaseDigitsPerByte)
{
    EXPECT_EQ(DataConversion::hexadecimalString({0x0A, 0xFF}), "0aff");
    EXPECT_EQ(DataConversion::hexadecimalString({0x00, 0x01, 0x7f, 0x80}), "00017f80");
    EXPECT_EQ(DataConversion::hexadecimalString({}), "");
}

}
}
