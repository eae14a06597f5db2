#include "foundation/Format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

using tvi::format;
using tvi::formatArgs;

TEST(FormatTest, ObjectConversionPrintsTextsNumbersAndAbsentValues)
{
    EXPECT_EQ(format("%@: => %@", "TVISocket", std::string("initSocket")), "TVISocket: => initSocket");
    EXPECT_EQ(format("%@ %@ %@", 42, -7L, std::numeric_limits<std::uint64_t>::max()),
              "42 -7 18446744073709551615");
    EXPECT_EQ(format("%@/%@", true, false), "1/0");
    EXPECT_EQ(format("%@", std::optional<std::string>()), "(null)");
    EXPECT_EQ(format("%@", std::optional<int>(5)), "5");
    EXPECT_EQ(format("%@", nullptr), "(null)");
    EXPECT_EQ(format("%@", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(format("[%5@|%-5@]", "ab", "cd"), "[   ab|cd   ]");
}

TEST(FormatTest, ObjectConversionPrintsDoublesLikeTheNumberDescription)
{
    EXPECT_EQ(format("%@", 1.5), "1.5");
    EXPECT_EQ(format("%@", 2.0), "2");
    EXPECT_EQ(format("%@", -0.5), "-0.5");
    EXPECT_EQ(format("%@", 0.1), "0.1");
    EXPECT_EQ(format("%@", 123.456), "123.456");
    EXPECT_EQ(format("%@", 1000000.0), "1000000");
    EXPECT_EQ(format("%@", 0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(format("%@", 0.0001), "0.0001");
    EXPECT_EQ(format("%@", 0.00001), "1e-05");
    EXPECT_EQ(format("%@", 1e20), "1e+20");
    EXPECT_EQ(format("%@", 1.25e-7), "1.25e-07");
    EXPECT_EQ(format("%@", 0.0), "0");
}

TEST(FormatTest, SignedAndUnsignedConversionsTruncateLikeC)
{
    EXPECT_EQ(format("%d %i", 42, -7), "42 -7");
    EXPECT_EQ(format("%d", std::int64_t(5000000000)), "705032704"); // an int is 32 bits
    EXPECT_EQ(format("%ld %lld", std::int64_t(5000000000), std::int64_t(-5000000000)), "5000000000 -5000000000");
    EXPECT_EQ(format("%u", -1), "4294967295");
    EXPECT_EQ(format("%lu", -1L), "18446744073709551615");
    EXPECT_EQ(format("%hu", 70000), "4464");
    EXPECT_EQ(format("%hd", 40000), "-25536");
    EXPECT_EQ(format("%hhd", 200), "-56");
    EXPECT_EQ(format("%hhu", 300), "44");
    EXPECT_EQ(format("%hhu", std::uint8_t(255)), "255");
    EXPECT_EQ(format("%ld", std::numeric_limits<std::uint64_t>::max()), "-1");
    EXPECT_EQ(format("%d", 2.9), "2");
}

TEST(FormatTest, HexFlagsWidthAndPrecision)
{
    EXPECT_EQ(format("%x %X %#x %08x", 255, 255, 255, 0xbeef), "ff FF 0xff 0000beef");
    EXPECT_EQ(format("%x", -1), "ffffffff");
    EXPECT_EQ(format("%lx", -1L), "ffffffffffffffff");
    EXPECT_EQ(format("%02ld:%02ld", 5L, 123L), "05:123");
    EXPECT_EQ(format("[%5d|%-5d|%+d|%.3d]", 42, 42, 42, 7), "[   42|42   |+42|007]");
    EXPECT_EQ(format("%*d|%-*d|%*d", 5, 42, 4, 1, -4, 2), "   42|1   |2   ");
}

TEST(FormatTest, TextAndCharacterConversions)
{
    EXPECT_EQ(format("%s|%10s|%-6s|%.2s", "abc", "right", "left", "cut"), "abc|     right|left  |cu");
    EXPECT_EQ(format("%s", std::optional<std::string>()), "(null)");
    EXPECT_EQ(format("%s", 17), "17");
    // Width and precision count characters, and a precision never splits one.
    EXPECT_EQ(format("[%.2s]", "\xC3\xA4\xC3\xB6\xC3\xBC"), "[\xC3\xA4\xC3\xB6]");
    EXPECT_EQ(format("[%3s]", "\xC3\xA4"), "[  \xC3\xA4]");
    EXPECT_EQ(format("%c%c%3c", 'A', 66, 'C'), "AB  C");
    EXPECT_EQ(format("%C", 0x20AC), "\xE2\x82\xAC");
}

TEST(FormatTest, FloatingConversions)
{
    EXPECT_EQ(format("%f", 1.5), "1.500000");
    EXPECT_EQ(format("%.2f|%8.3f|%-7.1f|", 3.14159, 2.5, 1.25), "3.14|   2.500|1.2    |");
    EXPECT_EQ(format("%f", 2), "2.000000");
    EXPECT_EQ(format("%.1e %g", 12345.0, 0.5), "1.2e+04 0.5");
}

TEST(FormatTest, PercentAndMalformedConversions)
{
    EXPECT_EQ(format("100%%"), "100%");
    EXPECT_EQ(format("%d%%", 50), "50%");
    EXPECT_EQ(format("%k %@", "x"), "%k x"); // unknown: kept, takes no argument
    EXPECT_EQ(format("abc%"), "abc%");
    EXPECT_EQ(format("abc%5"), "abc%5");
    EXPECT_EQ(format("a%nb%@", 1, "c"), "abc"); // %n writes nothing anywhere
    EXPECT_LE(format("%999999999d", 1).size(), 5000u);
}

TEST(FormatTest, MissingArgumentsReadAsAbsentAndExtraOnesAreIgnored)
{
    EXPECT_EQ(format("%@ and %@", "x"), "x and (null)");
    EXPECT_EQ(format("[%s][%d][%c][%f][%x]"), "[(null)][0][][0.000000][0]");
    EXPECT_EQ(format("%*d"), "0");
    EXPECT_EQ(format("%@", "a", "b", 3), "a");
    EXPECT_EQ(formatArgs("%@ %@", {}), "(null) (null)");
    EXPECT_EQ(format("%d", "12"), "12"); // a text under a number conversion is shown, not misread
}

TEST(FormatTest, PositionalArguments)
{
    EXPECT_EQ(format("%2$@ %1$@", "world", "hello"), "hello world");
    EXPECT_EQ(format("%1$d-%1$d", 7), "7-7");
    EXPECT_EQ(format("%3$@", "a"), "(null)");
}

TEST(FormatTest, FileBaseNameStripsFoldersAndExtension)
{
    EXPECT_EQ(tvi::fileBaseName("src/link/TVISocket.cpp"), "TVISocket");
    EXPECT_EQ(tvi::fileBaseName("TVIAppDelegate.mm"), "TVIAppDelegate");
    EXPECT_EQ(tvi::fileBaseName("/a/b.c.d"), "b.c");
    EXPECT_EQ(tvi::fileBaseName("dir.d/file"), "file");
    EXPECT_EQ(tvi::fileBaseName(".hidden"), ".hidden");
    EXPECT_EQ(tvi::fileBaseName("plain"), "plain");
    EXPECT_EQ(format("%@: => initSocket", tvi::fileBaseName(__FILE__)), "FormatTest: => initSocket");
}
