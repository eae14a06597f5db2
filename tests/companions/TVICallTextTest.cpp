#include "companions/TVICallText.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

TEST(TVICallTextTest, DialUrlsGiveTheNumberWithItsSeparators)
{
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:+49%2030%201234-567"), "+49 30 1234-567");
    EXPECT_EQ(TVICallText::numberFromDialUrl("TEL:+1-201-555-0123;ext=1234;phone-context=example.com"), "+1-201-555-0123");
    EXPECT_EQ(TVICallText::numberFromDialUrl("callto://(030)%20123-45%2067"), "(030) 123-45 67");
    EXPECT_EQ(TVICallText::numberFromDialUrl("CallTo:0171.555"), "0171.555");
    // An escaped ";" belongs to the number; a broken escape stays as written.
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:12%3B34;x=1"), "12;34");
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:50%"), "50%");
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:50%4"), "50%4");
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:%zz1"), "%zz1");
    EXPECT_EQ(TVICallText::numberFromDialUrl("tel:"), "");
}

TEST(TVICallTextTest, OtherTextStaysAsItIs)
{
    EXPECT_EQ(TVICallText::numberFromDialUrl(" tel:123"), " tel:123");
    EXPECT_EQ(TVICallText::numberFromDialUrl("telephone 123%20"), "telephone 123%20");
    EXPECT_EQ(TVICallText::numberFromDialUrl("sip:123"), "sip:123");
    EXPECT_EQ(TVICallText::numberFromDialUrl(" 0171 555 "), " 0171 555 ");
}

TEST(TVICallTextTest, ElementsOfArgumentsAndLines)
{
    EXPECT_EQ(TVICallText::elementsFromArguments({"tel:%2012", "", "  "}), (std::vector<std::string>{" 12", "", "  "}));
    EXPECT_EQ(TVICallText::elementsFromLines("a\n\n b \nlast"), (std::vector<std::string>{"a", "", " b ", "last"}));
    EXPECT_EQ(TVICallText::elementsFromLines(""), std::vector<std::string>{});
    EXPECT_TRUE(TVICallText::isBlank(" \t\n\xC2\xA0"));
    EXPECT_FALSE(TVICallText::isBlank(" 1 "));
}

}
}
