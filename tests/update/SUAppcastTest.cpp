#include "update/SUAppcast.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

const std::string kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Telvora Changelog</title>
    <!-- <item><enclosure sparkle:version="99.0" url="http://old/commented-out.zip"/></item> -->
    <item>
      <title>Version&#32;1.2 &amp; more &#xe9;</title>
      <enclosure url="https://example.org/get?file=Telvora-1.2.zip&amp;v=2" sparkle:version="1.2.0"
                 sparkle:shortVersionString='1.2' length="123" type="application/octet-stream"/>
    </item>
    <item>
      <title><![CDATA[Version <1.3>]]></title>
      <sparkle:version> 1.3.0 </sparkle:version>
      <sparkle:shortVersionString>1.3</sparkle:shortVersionString>
      <description><![CDATA[<h2>New</h2><p>Faster &amp; safer.</p>]]></description>
      <enclosure url="https://example.org/a>b/Telvora-1.3.tar.gz" length="20971520" type="application/gzip"
                 sparkle:edSignature=" c2lnbmF0dXJl "/>
      <enclosure url="https://example.org/telvora_1.3-1_amd64.deb" length="12x" type="application/vnd.debian.binary-package"/>
    </item>
    <item><title>Release notes only, no version</title></item>
  </channel>
</rss>
)";

TEST(SUAppcastTest, ReadsVersionsFromEnclosureAttributesAndFromElements)
{
    const auto items = SUAppcast::parseAppcast(kFeed);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u); // the commented item and the one without a version are not releases
    const SUAppcastItem& first = (*items)[0];
    EXPECT_EQ(first.title, "Version 1.2 & more \xc3\xa9");
    EXPECT_EQ(first.versionString, "1.2.0");
    EXPECT_EQ(first.displayVersionString, "1.2");
    EXPECT_EQ(first.fileURL, "https://example.org/get?file=Telvora-1.2.zip&v=2");
    const SUAppcastItem& second = (*items)[1];
    EXPECT_EQ(second.title, "Version <1.3>");
    EXPECT_EQ(second.releaseNotesHTML, "<h2>New</h2><p>Faster &amp; safer.</p>");
    ASSERT_EQ(second.enclosures.size(), 2u);
    EXPECT_EQ(second.enclosures[0].length, 20971520u);
    EXPECT_EQ(second.enclosures[0].type, "application/gzip");
    EXPECT_EQ(second.enclosures[0].edSignature, "c2lnbmF0dXJl");
    EXPECT_EQ(second.enclosures[1].length, 0u); // not a number: not announced
    EXPECT_EQ(second.versionString, "1.3.0"); // trimmed
    EXPECT_EQ(second.displayVersionString, "1.3");
    EXPECT_EQ(second.fileURL, "https://example.org/a>b/Telvora-1.3.tar.gz"); // '>' inside quotes ends no tag
    EXPECT_EQ(SUAppcast::newestItem(*items)->versionString, "1.3.0");
}

TEST(SUAppcastTest, EveryTruncationOfAFeedIsRefusedNotMisread)
{
    const auto end = kFeed.find("</rss>") + std::string("</rss>").size();
    for (std::size_t cut = 0; cut < end; ++cut)
        EXPECT_EQ(SUAppcast::parseAppcast(std::string_view(kFeed).substr(0, cut)), std::nullopt) << "cut at " << cut;
    EXPECT_TRUE(SUAppcast::parseAppcast(std::string_view(kFeed).substr(0, end)));
}

TEST(SUAppcastTest, WhatIsNoAppcastIsRefused)
{
    for (const char* text : {"", "garbage", "<html><body><h1>404 Not Found</h1></body></html>",
                             "<rss><channel><item><enclosure sparkle:version=\"1.0\"/></item>",
                             "<rss><channel><item><enclosure sparkle:version=\"1.0/></item></channel></rss>",
                             "<rss><channel><!-- never closed </channel></rss>",
                             "<rss><channel><![CDATA[ never closed </channel></rss>", "\xff\xfe<\x01\x80",
                             // Unknown entities and references to no character.
                             "<rss><channel><title>&nbsp;&#0;</title></channel></rss>",
                             "<rss><channel><title>&#xD800;</title></channel></rss>",
                             // Entity expansion of any size: no document type is taken.
                             "<!DOCTYPE rss [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                             "<rss><channel><title>&b;</title></channel></rss>"})
        EXPECT_EQ(SUAppcast::parseAppcast(text), std::nullopt) << text;
    // The reason says what and where.
    std::string error;
    EXPECT_FALSE(SUAppcast::parseAppcast("<rss>\n<channel>\n<item></channel></rss>", &error));
    EXPECT_NE(error.find("mismatched tag (line 3, column"), std::string::npos) << error;
    EXPECT_FALSE(SUAppcast::parseAppcast("<html><body>Not Found</body></html>", &error));
    EXPECT_NE(error.find("no rss or channel element"), std::string::npos) << error;
    // Complete, but announcing nothing: readable, with no items.
    const auto empty = SUAppcast::parseAppcast("<rss><channel><title>x</title></channel></rss>");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(SUAppcastTest, AnItemWhoseVersionCouldNameAPathIsIgnored)
{
    // Versions end up near file names: an item whose version could climb out of a folder, hide a
    // control character or run on is dropped; the plain items beside it stay.
    const std::string climbing = "99/../../../../../Documents";
    const std::vector<std::string> refused = {climbing, "99\\..\\x", "2..3", "..", "2.2\x7f",
                                              std::string(65, '9')};
    for (const std::string& version : refused) {
        SCOPED_TRACE(version);
        for (const std::string& item :
             {"<item><enclosure url=\"https://e.org/a.tar.gz\" sparkle:version=\"" + version + "\"/></item>",
              "<item><enclosure url=\"https://e.org/a.tar.gz\" sparkle:version=\"3\" sparkle:shortVersionString=\"" +
                  version + "\"/></item>",
              "<item><sparkle:version>" + version + "</sparkle:version></item>",
              "<item><sparkle:shortVersionString>" + version + "</sparkle:shortVersionString></item>"}) {
            const std::string feed = "<rss><channel><item><sparkle:version>1.0</sparkle:version></item>" + item +
                                     "<item><sparkle:version>1.1</sparkle:version></item></channel></rss>";
            const auto items = SUAppcast::parseAppcast(feed);
            ASSERT_TRUE(items) << feed;
            ASSERT_EQ(items->size(), 2u) << feed;
            EXPECT_EQ((*items)[0].versionString, "1.0");
            EXPECT_EQ((*items)[1].versionString, "1.1");
        }
    }
    // Sixty-four plain characters are still a version.
    const auto items = SUAppcast::parseAppcast("<rss><channel><item><sparkle:version>" + std::string(64, '9') +
                                               "</sparkle:version></item></channel></rss>");
    ASSERT_TRUE(items);
    EXPECT_EQ(items->size(), 1u);
}

TEST(SUAppcastTest, NewestIsTheHighestVersionWhereverItStands)
{
    auto item = [](std::string version, std::string display, std::string title) {
        SUAppcastItem i;
        i.versionString = std::move(version);
        i.displayVersionString = std::move(display);
        i.title = std::move(title);
        return i;
    };
    // Dotted components compare by value: 1.10 is after 1.9.
    std::vector<SUAppcastItem> items{item("1.9", "", "a"), item("1.10", "", "b"), item("1.2", "", "c")};
    EXPECT_EQ(SUAppcast::newestItem(items)->title, "b");
    // Equal versions: the first listed wins.
    items = {item("2.0", "", "first"), item("2.0.0", "", "second")};
    EXPECT_EQ(SUAppcast::newestItem(items)->title, "first");
    // Without machine versions on both sides the shown versions decide.
    items = {item("", "3.1", "display"), item("300", "3.0", "machine")};
    EXPECT_EQ(SUAppcast::newestItem(items)->title, "display");
    EXPECT_EQ(SUAppcast::newestItem({}), std::nullopt);
}

}
}
