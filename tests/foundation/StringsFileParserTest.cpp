#include "foundation/StringsFileParser.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <fstream>

using tvi::StringsFileParser;

namespace {

std::string utf16(const std::u16string& text, bool bigEndian, bool bom)
{
    std::string bytes;
    if (bom) bytes = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (char16_t unit : text) {
        char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}

TEST(StringsFileParserTest, ReadsPairsShorthandAndComments)
{
    auto result = StringsFileParser::parse(R"(/* A header
   over two lines; "not" = "an entry"; */
"OK" = "OK";
// "Quit" = "commented out";
"Quit <AppName>"="Beenden <AppName>" ;   /* trailing */
"Cancel";
unquoted_Key = value.1;
"OK" = "Okay";
)");
    EXPECT_TRUE(result.complete) << result.errorMessage;
    EXPECT_EQ(result.entries, (std::map<std::string, std::string>{{"OK", "Okay"},
                                                                  {"Quit <AppName>", "Beenden <AppName>"},
                                                                  {"Cancel", "Cancel"},
                                                                  {"unquoted_Key", "value.1"}}));
}

TEST(StringsFileParserTest, DecodesEscapes)
{
    auto result = StringsFileParser::parse(
        R"("a" = "say \"hi\"\\ \n\t\r"; "b" = "\U00e4\u20AC"; "c" = "\UD83D\UDE00"; "d" = "\UD83Dx"; "e" = "\101\q";)");
    ASSERT_TRUE(result.complete) << result.errorMessage;
    EXPECT_EQ(result.entries["a"], "say \"hi\"\\ \n\t\r");
    EXPECT_EQ(result.entries["b"], "\xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(result.entries["c"], "\xF0\x9F\x98\x80");  // the surrogate pair joined
    EXPECT_EQ(result.entries["d"], "\xEF\xBF\xBDx");     // a lone half cannot be a character
    EXPECT_EQ(result.entries["e"], "Aq");
}

TEST(StringsFileParserTest, ReadsUtf16InBothByteOrdersAndUtf8WithBom)
{
    const std::u16string text = u"/* c */\n\"Call\" = \"Anruf \u00fcber \U0001F4DE\";\n";
    const std::string expected = "Anruf \xC3\xBC" "ber \xF0\x9F\x93\x9E";
    for (bool bigEndian : {false, true}) {
        for (bool bom : {true, false}) {
            auto result = StringsFileParser::parse(utf16(text, bigEndian, bom));
            EXPECT_TRUE(result.complete) << bigEndian << bom << result.errorMessage;
            EXPECT_EQ(result.entries["Call"], expected) << bigEndian << bom;
        }
    }
    auto utf8 = StringsFileParser::parse("\xEF\xBB\xBF\"k\" = \"v\";");
    EXPECT_EQ(utf8.entries, (std::map<std::string, std::string>{{"k", "v"}}));
}

TEST(StringsFileParserTest, MalformedTextKeepsEntriesBeforeTheFault)
{
    struct Case {
        const char* text;
        std::size_t line;
    };
    for (const Case& c : {Case{"\"a\" = \"1\";\n\"b\" = \"2\"\n\"c\" = \"3\";", 3},  // missing ';'
                          Case{"\"a\" = \"1\";\n\"b\" = \"unterminated", 2},
                          Case{"\"a\" = \"1\";\n/* never closed", 2},
                          Case{"\"a\" = \"1\";\n\"b\" = ;", 2},
                          Case{"\"a\" = \"1\";\n\"b\" = \"x\\", 2},
                          Case{"\"a\" = \"1\";\n= \"x\";", 2},
                          Case{"\"a\" = \"1\";\n\"b\" =", 2}}) {
        auto result = StringsFileParser::parse(c.text);
        EXPECT_FALSE(result.complete) << c.text;
        EXPECT_EQ(result.errorLine, c.line) << c.text;
        EXPECT_EQ(result.entries, (std::map<std::string, std::string>{{"a", "1"}})) << c.text;
    }
}

TEST(StringsFileParserTest, InvalidUtf8AndOddUtf16AreRepairedNotPassedOn)
{
    auto result = StringsFileParser::parse("\"k\" = \"a\xFF\xC3\";");
    EXPECT_EQ(result.entries["k"], "a\xEF\xBF\xBD\xEF\xBF\xBD");
    auto odd = StringsFileParser::parse(utf16(u"\"k\"=\"v\";", false, true) + "\x41");
    EXPECT_EQ(odd.entries["k"], "v");
    EXPECT_TRUE(StringsFileParser::parse("").complete);
    EXPECT_TRUE(StringsFileParser::parse("  /* only a comment */ ").entries.empty());
}

TEST(StringsFileParserTest, ParsesFilesAndReportsUnreadableOnes)
{
    std::string path = tvi::test::makeTempDir("strings") + "/Errors.strings";
    std::ofstream(path, std::ios::binary) << utf16(u"\"No path found for directory in domain.\" = \"Kein Pfad.\";", false, true);
    auto result = StringsFileParser::parseFile(path);
    EXPECT_EQ(result.entries["No path found for directory in domain."], "Kein Pfad.");
    auto missing = StringsFileParser::parseFile(path + ".missing");
    EXPECT_FALSE(missing.complete);
    EXPECT_TRUE(missing.entries.empty());
}
