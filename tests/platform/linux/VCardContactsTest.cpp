// The vCard address book on real files: a vdir storage with collection folders, a single
// exported file, and changes followed while it runs.
#include "platform/linux/VCardContacts.h"

#include "support/DesktopSession.h"
#include "support/DrainMainQueue.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace tvi;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class VCardContactsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(std::getenv("HOME")) / "contacts-test";
        fs::remove_all(root);
        fs::create_directories(root / "default");
    }
    static void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    static std::string card(const std::string& name, const std::string& tel, const std::string& uid = {})
    {
        return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + (uid.empty() ? "" : "UID:" + uid + "\r\n") + "FN:" + name +
               "\r\nTEL;TYPE=CELL:" + tel + "\r\nEND:VCARD\r\n";
    }
    static std::vector<std::string> names(const std::vector<Contact>& contacts)
    {
        std::vector<std::string> out;
        for (const Contact& c : contacts) out.push_back(c.name);
        return out;
    }

    fs::path root;
};

TEST_F(VCardContactsTest, ReadsVdirCollectionsAndSingleFilesSortedWithUidFallbacks)
{
    write(root / "default" / "b7f0.vcf", card("Bea", "(030) 123-45 67"));
    write(root / "default" / "a1.vcf", card("Anna", "1", "anna-uid"));
    write(root / "default" / "notes.txt", card("Not a card", "2"));
    write(root / "top.VCF", card("Carl", "3"));
    const auto fromFolder = VCardContacts::readSource(root.string());
    EXPECT_EQ(names(fromFolder), (std::vector<std::string>{"Anna", "Bea", "Carl"}));
    EXPECT_EQ(fromFolder[0].uid, "anna-uid");
    EXPECT_EQ(fromFolder[1].uid, "b7f0");
    EXPECT_EQ(fromFolder[1].phones.at(0).value, "(030) 123-45 67");
    EXPECT_EQ(fromFolder[1].path, (root / "default" / "b7f0.vcf").string());

    write(root / "export.vcf", card("Zed", "9") + card("Yan", "8"));
    const auto fromFile = VCardContacts::readSource((root / "export.vcf").string());
    EXPECT_EQ(names(fromFile), (std::vector<std::string>{"Yan", "Zed"}));
    EXPECT_NE(fromFile[0].uid, fromFile[1].uid);
    EXPECT_TRUE(VCardContacts::readSource((root / "missing").string()).empty());
}

TEST_F(VCardContactsTest, FollowsChangesAndANewSource)
{
    VCardContacts contacts(root.string());
    int changes = 0;
    contacts.addChangeObserver(this, [&] { ++changes; });
    EXPECT_TRUE(contacts.contacts().empty());

    write(root / "default" / "new.vcf", card("Dora", "5"));
    auto seen = [&](std::size_t count) {
        return test::waitUntil([&] {
            test::drainMainQueue();
            return contacts.contacts().size() == count && changes > 0;
        }, 5s);
    };
    ASSERT_TRUE(seen(1));
    // One reading per change: reading again must not itself count as a change.
    changes = 0;
    EXPECT_FALSE(test::waitUntil([&] { test::drainMainQueue(); return changes > 0; }, 1s)) << changes << " readings";
    fs::create_directories(root / "work");
    write(root / "work" / "x.vcf", card("Emil", "6"));
    changes = 0;
    ASSERT_TRUE(seen(2)) << "a collection folder made while running is watched too";

    write(root / "single.vcf", card("Finn", "7"));
    changes = 0;
    contacts.setSource((root / "single.vcf").string());
    ASSERT_TRUE(seen(1)) << contacts.contacts().size() << " " << changes;
    EXPECT_EQ(contacts.contacts()[0].name, "Finn");
    contacts.removeChangeObservers(this);
}

TEST_F(VCardContactsTest, DefaultFolderFollowsXdgDataHomeAndIsCreated)
{
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    EXPECT_EQ(VCardContacts::defaultSource(), (root / "data" / "contacts").string());
    EXPECT_TRUE(fs::is_directory(root / "data" / "contacts"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(VCardContacts::defaultSource(), std::string(std::getenv("HOME")) + "/.local/share/contacts");
}

}
