// The one UTF-8 reader: strict at every boundary, one U+FFFD per byte that is no character.
#include "foundation/Unicode.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

TEST(UnicodeTest, DecodingIsStrictAtEveryBoundary)
{
    for (const char* valid : {"\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
                              "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(Unicode::isValidUtf8(valid)) << valid;
        EXPECT_EQ(Unicode::sanitizeUtf8(valid), valid);
    }
    // Overlong forms, surrogates, beyond U+10FFFF, cut short, a lone continuation byte.
    const std::pair<std::string, std::size_t> broken[] = {
        {"\xC0\x80", 2}, {"\xC1\xBF", 2}, {"\xE0\x9F\xBF", 3}, {"\xF0\x8F\xBF\xBF", 4}, {"\xED\xA0\x80", 3},
        {"\xF4\x90\x80\x80", 4}, {"\xF5\x80\x80\x80", 4}, {"\xE2\x82", 2}, {"\x80", 1}, {"\xFF", 1}};
    std::string replaced;
    for (const auto& [bytes, length] : broken) {
        EXPECT_FALSE(Unicode::isValidUtf8(bytes)) << bytes;
        replaced.clear();
        for (std::size_t i = 0; i < length; ++i) replaced += "\xEF\xBF\xBD";
        EXPECT_EQ(Unicode::sanitizeUtf8(bytes), replaced) << bytes;
        EXPECT_EQ(Unicode::utf16Length(bytes), length);
    }
    EXPECT_EQ(Unicode::utf16Length("a\xF0\x9F\x98\x80"), 3u); // a pair for the emoji
}

TEST(UnicodeTest, BlankMeansUnicodeWhiteSpaceAlone)
{
    for (const char* blank : {"", " \t\r\n\v\f", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80\xE2\x80\x8A",
                              "\xE2\x80\xA8\xE2\x80\xA9", "\xE2\x80\xAF\xE2\x81\x9F", "\xE3\x80\x80"})
        EXPECT_TRUE(Unicode::isBlank(blank)) << blank;
    // A zero-width space, a letter or a broken byte is something.
    for (const char* something : {"\xE2\x80\x8B", " 1 ", "\xC2\xA0" "a", "\xC2", "\xA0"})
        EXPECT_FALSE(Unicode::isBlank(something)) << something;
}

}
}
