// Login items as XDG autostart entries: the entry's text, reading entries that others wrote,
// and adding and removing in a folder of the test's own.
#include "platform/linux/XdgAutostartEntry.h"
#include "platform/linux/XdgLoginItems.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tvi {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(XdgAutostartEntryTest, TheEntryStartsTheExecutableAndReadsBackToIt)
{
    EXPECT_EQ(XdgAutostartEntry::textFor("/opt/Telvora.app/Contents/MacOS/Telvora"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Telvora\n"
              "Comment=Call-control shortcuts and click-to-dial for Calvetto\n"
              "Exec=/opt/Telvora.app/Contents/MacOS/Telvora\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");

    // Blanks and the characters the command-line rules reserve are quoted; the string value's own
    // escape doubles the backslash once more; '%' would otherwise start a field code.
    EXPECT_EQ(XdgAutostartEntry::execValueFor("/home/a b/Tel$vora \"1\"/100%/x\\y"),
              "\"/home/a b/Tel\\\\$vora \\\\\"1\\\\\"/100%%/x\\\\\\\\y\"");
    for (const std::string path : {"/home/a b/Telvora", "/home/it's/Tel$vora \"1\"/100%/x\\y`z`", "/plain/Telvora"}) {
        const auto text = XdgAutostartEntry::textFor(path);
        ASSERT_TRUE(text) << path;
        const auto entry = XdgAutostartEntry::parse(*text);
        ASSERT_TRUE(entry) << *text;
        EXPECT_TRUE(entry->isActive());
        EXPECT_EQ(XdgAutostartEntry::programOf(entry->exec), path) << *text;
    }
    EXPECT_EQ(XdgAutostartEntry::textFor("/a\nb"), std::nullopt);
    EXPECT_EQ(XdgAutostartEntry::textFor(""), std::nullopt);
}

TEST(XdgAutostartEntryTest, EntriesWrittenByOthersAreReadAsTheSessionReadsThem)
{
    const auto entry = XdgAutostartEntry::parse("# made by hand\r\n"
                                                "[Desktop Entry]\r\n"
                                                "Name = Telvora\r\n"
                                                "Exec = /usr/bin/telvora --headless %U\r\n"
                                                "X-GNOME-Autostart-enabled=false\r\n"
                                                "[Desktop Action x]\r\n"
                                                "Exec=/usr/bin/other\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(XdgAutostartEntry::programOf(entry->exec), "/usr/bin/telvora");
    EXPECT_FALSE(entry->isActive());
    EXPECT_FALSE(XdgAutostartEntry::parse("[Desktop Entry]\nExec=x\nHidden=true\n")->isActive());
    EXPECT_EQ(XdgAutostartEntry::parse("[Other]\nExec=x\n"), std::nullopt);
    EXPECT_EQ(XdgAutostartEntry::programOf("\"/no/closing quote"), std::nullopt);
    EXPECT_EQ(XdgAutostartEntry::programOf("   "), std::nullopt);
}

class XdgLoginItemsTest : public ::testing::Test {
protected:
    const fs::path folder_ = fs::path(test::makeTempDir("autostart")) / "autostart";
    const std::string bundle_ = "/opt/Telvora.app";
    const std::string executable_ = bundle_ + "/Contents/MacOS/Telvora";
    XdgLoginItems items_{folder_, executable_};
    const fs::path entry_ = folder_ / "com.orvella.Telvora.desktop";
};

TEST_F(XdgLoginItemsTest, AddingWritesOneEntryAndRemovingDeletesIt)
{
    ASSERT_TRUE(items_.isAvailable());
    EXPECT_FALSE(items_.isLoginItem(bundle_));
    EXPECT_TRUE(items_.removeLoginItem(bundle_)); // absent, and no folder yet: nothing to do

    ASSERT_TRUE(items_.addLoginItem(bundle_)); // the folder is created
    ASSERT_TRUE(items_.addLoginItem(bundle_));
    EXPECT_TRUE(items_.isLoginItem(bundle_));
    EXPECT_EQ(readText(entry_), XdgAutostartEntry::textFor(executable_));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);

    ASSERT_TRUE(items_.removeLoginItem(bundle_));
    EXPECT_FALSE(fs::exists(entry_));
    EXPECT_FALSE(items_.isLoginItem(bundle_));
}

TEST_F(XdgLoginItemsTest, AnEntryForAnotherPathIsAnotherItem)
{
    fs::create_directories(folder_);
    const std::string copy = "/home/me/Telvora.app/Contents/MacOS/Telvora";
    writeText(entry_, *XdgAutostartEntry::textFor(copy));
    EXPECT_FALSE(items_.isLoginItem(bundle_));

    ASSERT_TRUE(items_.addLoginItem(bundle_));
    const fs::path second = folder_ / "com.orvella.Telvora-2.desktop";
    EXPECT_EQ(readText(second), XdgAutostartEntry::textFor(executable_));
    EXPECT_EQ(readText(entry_), XdgAutostartEntry::textFor(copy));

    ASSERT_TRUE(items_.removeLoginItem(bundle_));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(readText(entry_), XdgAutostartEntry::textFor(copy));
}

TEST_F(XdgLoginItemsTest, AnEntryOfOursThatTheUserSwitchedOffIsNotAnItemAndIsRewrittenOnAdd)
{
    fs::create_directories(folder_);
    writeText(entry_, "[Desktop Entry]\nType=Application\nExec=" + executable_ + "\nHidden=true\n");
    EXPECT_FALSE(items_.isLoginItem(bundle_));
    ASSERT_TRUE(items_.addLoginItem(bundle_));
    EXPECT_EQ(readText(entry_), XdgAutostartEntry::textFor(executable_));
    EXPECT_TRUE(items_.isLoginItem(bundle_));
}

}
}
