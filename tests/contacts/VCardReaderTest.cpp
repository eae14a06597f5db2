// The vCard reader on cards shaped like real exports: vdirsyncer/khard 3.0 and 4.0 files,
// an old phone's 2.1 export, Apple's grouped labels, and broken input.
#include "contacts/VCardReader.h"

#include "foundation/Unicode.h"

#include <gtest/gtest.h>

using namespace tvi;

namespace {

using Types = std::vector<std::string>;

TEST(VCardReaderTest, ReadsVersion3WithFoldingEscapesAndTypes)
{
    const auto cards = VCardReader::read("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a1b2\r\n"
                                         "N:M\\;ller;Hans\\, Peter;;Dr.;\r\n"
                                         "FN:Dr. Hans Peter M\r\n üller\r\n"
                                         "TEL;TYPE=WORK,VOICE;TYPE=pref:(030) 123-45 67\r\n"
                                         "TEL;type=CELL:+49 171\r\n\t555 0\r\n"
                                         "NOTE:first\\nsecond\\, third\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].uid, "a1b2");
    EXPECT_EQ(cards[0].name, "Dr. Hans Peter Müller");
    ASSERT_EQ(cards[0].phones.size(), 2u);
    EXPECT_EQ(cards[0].phones[0].value, "(030) 123-45 67");
    EXPECT_EQ(cards[0].phones[0].types, (Types{"work", "voice", "pref"}));
    EXPECT_EQ(cards[0].phones[1].value, "+49 171555 0");
    EXPECT_EQ(cards[0].phones[1].types, (Types{"cell"}));
    EXPECT_EQ(cards[0].phones[1].identifier, "1");
    EXPECT_EQ(cards[0].vcard.rfind("BEGIN:VCARD\r\n", 0), 0u);
    EXPECT_NE(cards[0].vcard.find("FN:Dr. Hans Peter Müller\r\n"), std::string::npos);
    EXPECT_EQ(cards[0].vcard.substr(cards[0].vcard.size() - 11), "END:VCARD\r\n");
}

TEST(VCardReaderTest, ReadsVersion4UrisQuotedTypeListsAndNameFallbacks)
{
    const auto cards = VCardReader::read("BEGIN:VCARD\nVERSION:4.0\nN:Doe;Jane;;;\n"
                                         "TEL;VALUE=uri;TYPE=\"voice,home\";PREF=1:tel:+1-555-555-0100\n"
                                         "TEL;TYPE=cell:1-800-FLOWERS\nEND:VCARD\n"
                                         "BEGIN:VCARD\nVERSION:4.0\nORG:Acme\\; Sons;Sales\nEND:VCARD\n");
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].name, "Jane Doe");
    EXPECT_EQ(cards[0].phones[0].value, "+1-555-555-0100");
    EXPECT_EQ(cards[0].phones[0].types, (Types{"voice", "home", "pref"}));
    EXPECT_EQ(cards[0].phones[1].value, "1-800-FLOWERS");
    EXPECT_EQ(cards[1].name, "Acme; Sons");
    EXPECT_TRUE(cards[1].phones.empty());
}

TEST(VCardReaderTest, ReadsVersion21QuotedPrintableCharsetsAndBareTypes)
{
    const auto cards = VCardReader::read(
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=F6rg;Stra=DF=\r\nenbahn\r\n"
        "FN;CHARSET=UTF-8;QUOTED-PRINTABLE:J=C3=B6rg =E2=82=AC\r\n"
        "TEL;CELL;PREF:0171 555\r\nTEL;WORK;FAX:030 1\r\n"
        "AGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nFN:Agent\r\nTEL:999\r\nEND:VCARD\r\n"
        "END:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=80uro;\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 2u) << "a card inside a card is not a contact of its own";
    EXPECT_EQ(cards[0].name, "Jörg €");
    ASSERT_EQ(cards[0].phones.size(), 2u);
    EXPECT_EQ(cards[0].phones[0].types, (Types{"cell", "pref"}));
    EXPECT_EQ(cards[0].phones[1].types, (Types{"work", "fax"}));
    EXPECT_EQ(cards[1].name, "€uro");
    EXPECT_EQ(VCardReader::read("BEGIN:VCARD\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=F6rg;Stra=DF=\n"
                                "enbahn\nEND:VCARD\n")[0].name,
              "Straßenbahn Jörg");
}

TEST(VCardReaderTest, AppliesGroupedLabelsToTheirNumbersOnly)
{
    const auto cards = VCardReader::read("BEGIN:VCARD\nVERSION:3.0\nFN:Grouped\n"
                                         "item1.TEL;type=pref:+49 1\nitem1.X-ABLabel:_$!<Mobile>!$_\n"
                                         "item2.TEL:+49 2\nitem2.X-ABLABEL:Boat\nTEL:+49 3\nEND:VCARD\n");
    ASSERT_EQ(cards.at(0).phones.size(), 3u);
    EXPECT_EQ(cards[0].phones[0].types, (Types{"pref", "mobile"}));
    EXPECT_EQ(cards[0].phones[1].types, (Types{"boat"}));
    EXPECT_TRUE(cards[0].phones[2].types.empty());
}

TEST(VCardReaderTest, SkipsBrokenInputAndAlwaysGivesValidUtf8)
{
    EXPECT_TRUE(VCardReader::read("").empty());
    EXPECT_TRUE(VCardReader::read("BEGIN:VCARD\nFN:never ended\n").empty());
    EXPECT_TRUE(VCardReader::read("END:VCARD\nFN:x\n").empty());
    const auto cards = VCardReader::read("BEGIN:VCARD\nno colon here\nFN:\xff\xfe Bad\nTEL;TYPE=\"unclosed:1\n"
                                         "TEL:=4\nN;ENCODING=QUOTED-PRINTABLE:=ZZ=4\nEND:VCARD\n");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_TRUE(Unicode::isValidUtf8(cards[0].name));
    EXPECT_TRUE(Unicode::isValidUtf8(cards[0].vcard));
    ASSERT_EQ(cards[0].phones.size(), 1u);
    EXPECT_EQ(cards[0].phones[0].value, "=4") << "only quoted-printable values are decoded";
    EXPECT_EQ(VCardReader::decodeQuotedPrintable("=ZZ=4=3D"), "=ZZ=4=");
}

}
