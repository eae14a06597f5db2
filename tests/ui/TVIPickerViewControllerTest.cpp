// The contact picker: search by name or number, and the contact plug-in offered on each
// number of the selected contact with its perform operation given that exact number.
#include "platform/Platform.h"
#include "platform/memory/MemoryContacts.h"
#include "support/DrainMainQueue.h"
#include "ui/TVIAbPluginHost.h"
#include "ui/TVIPickerViewController.h"
#include "ui/UiTestApplication.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace tvi;

namespace {

std::vector<std::string> performed;
std::vector<std::string> titled;

const char* phoneValueOf(const TVAbPerson* person, const char* identifier)
{
    for (std::size_t i = 0; i < person->phoneCount; ++i)
        if (std::string(person->phones[i].identifier) == identifier) return person->phones[i].value;
    return nullptr;
}

TVIAbPluginHost::Functions fakePlugin()
{
    TVIAbPluginHost::Functions f;
    f.actionProperty = [] { return TVAB_PHONE_PROPERTY; };
    f.titleForPerson = [](const TVAbPerson* person, const char* id, char* title, std::size_t size) {
        titled.emplace_back(phoneValueOf(person, id));
        return static_cast<std::size_t>(std::snprintf(title, size, "Call via Calvetto"));
    };
    f.shouldEnableActionForPerson = [](const TVAbPerson* person, const char* id) {
        return std::string(phoneValueOf(person, id)) != "disabled" ? 1 : 0;
    };
    f.performActionForPerson = [](const TVAbPerson* person, const char* id) { performed.emplace_back(phoneValueOf(person, id)); };
    return f;
}

Contact contact(std::string uid, std::string name, std::vector<std::string> numbers)
{
    Contact c{std::move(uid), std::move(name), {}, {}, {}};
    for (std::size_t i = 0; i < numbers.size(); ++i) c.phones.push_back({std::to_string(i), numbers[i], {"cell"}});
    return c;
}

class TVIPickerViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        performed.clear();
        titled.clear();
        contacts->setContacts({contact("b", "Bea Berg", {"(030) 123-45 67", "disabled"}),
                               contact("a", "Anna Alt", {"+49 171 555"}), contact("c", "Carl", {})});
    }

    QApplication& app = test::uiTestApplication();
    std::shared_ptr<MemoryContacts> contacts = std::make_shared<MemoryContacts>();
    Platform::Scoped<Contacts> scoped{contacts};
    std::shared_ptr<TVIAbPluginHost> plugin = std::make_shared<TVIAbPluginHost>(fakePlugin());
};

TEST_F(TVIPickerViewControllerTest, SearchesNamesAndNumbersAndFollowsTheAddressBook)
{
    TVIPickerViewController picker("TVIPickerPeopleAutoSaveName", plugin);
    EXPECT_EQ(picker.visibleNames(), (QStringList{"Anna Alt", "Bea Berg", "Carl"}));
    picker.setSearchText("berg");
    EXPECT_EQ(picker.visibleNames(), (QStringList{"Bea Berg"}));
    picker.setSearchText("0171-555");
    EXPECT_EQ(picker.visibleNames(), (QStringList{})) << "digits are compared as typed: 0171 is not +49 171";
    picker.setSearchText("171 555");
    EXPECT_EQ(picker.visibleNames(), (QStringList{"Anna Alt"}));
    picker.setSearchText("");
    ASSERT_TRUE(picker.selectContact("c"));
    contacts->setContacts({contact("c", "Carl", {}), contact("d", "Dora", {})});
    test::drainMainQueue();
    EXPECT_EQ(picker.visibleNames(), (QStringList{"Carl", "Dora"}));
    EXPECT_EQ(picker.selectedContact()->uid, "c") << "the selection survives a reload";
}

TEST_F(TVIPickerViewControllerTest, OffersThePluginOnEveryNumberAndPerformsWithTheExactText)
{
    TVIPickerViewController picker("TVIPickerPeopleAutoSaveName2", plugin);
    EXPECT_EQ(picker.menuForPhone("0"), nullptr) << "no contact selected";
    ASSERT_TRUE(picker.selectContact("b"));
    auto first = picker.menuForPhone("0");
    auto second = picker.menuForPhone("1");
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->actions().size(), 1);
    EXPECT_EQ(first->actions()[0]->text(), "Call via Calvetto");
    EXPECT_TRUE(first->actions()[0]->isEnabled());
    EXPECT_FALSE(second->actions()[0]->isEnabled()) << "enabled as the plug-in answers";
    EXPECT_EQ(titled, (std::vector<std::string>{"(030) 123-45 67", "disabled"}));
    first->actions()[0]->trigger();
    EXPECT_EQ(performed, (std::vector<std::string>{"(030) 123-45 67"}));

    TVIPickerViewController withoutPlugin("TVIPickerPeopleAutoSaveName", nullptr);
    withoutPlugin.selectContact("b");
    EXPECT_EQ(withoutPlugin.menuForPhone("0"), nullptr);
}

}
