// The contacts bar: an outside click first folds the contact list away and the popup may close
// only afterwards (never while anchored); the two forms replace each other; the mini view and
// its stored flag; the additional actions act on the chosen form's picker.
#include "app/TVIPreferenceKeys.h"
#include "environment/DirectoryLocations.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryContacts.h"
#include "platform/memory/MemoryMailComposer.h"
#include "ui/TVIPickerViewController.h"
#include "ui/TVIPopoverViewController.h"
#include "ui/UiTestApplication.h"

#include <QAbstractButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace tvi;

namespace {

using State = TVIPopoverViewController::DrawerState;

// Counts the readings of the address book.
class CountingContacts : public MemoryContacts {
public:
    std::vector<Contact> contacts() const override
    {
        ++readings;
        return MemoryContacts::contacts();
    }
    mutable int readings = 0;
};

class TVIPopoverViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* key : {TVISelectedPickerView, TVIPickerPeopleAlwaysOnTop, TVIIsMiniViewEnabled})
            UserDefaults::standard().removeObjectForKey(key);
        contacts->setContacts({{"a", "Anna Alt", {{"0", "(030) 123-45 67", {"work"}}},
                                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Alt\r\nEND:VCARD\r\n", {}},
                               {"b", "Bea Berg", {}, "BEGIN:VCARD\r\nFN:Bea Berg\r\nEND:VCARD\r\n", {}}});
    }

    std::unique_ptr<TVIPopoverViewController> makeBar()
    {
        auto bar = std::make_unique<TVIPopoverViewController>();
        bar->setDrawerAnimationMilliseconds(0);
        bar->view()->show();
        return bar;
    }

    QApplication& app = test::uiTestApplication();
    std::shared_ptr<CountingContacts> contacts = std::make_shared<CountingContacts>();
    Platform::Scoped<Contacts> scopedContacts{contacts};
    std::shared_ptr<MemoryMailComposer> mail = std::make_shared<MemoryMailComposer>();
    Platform::Scoped<MailComposer> scopedMail{mail};
};

TEST_F(TVIPopoverViewControllerTest, AnOutsideClickFoldsTheListAwayFirstAndTheAnchorKeepsThePopupOpen)
{
    auto bar = makeBar();
    EXPECT_TRUE(bar->shouldPopupClose()) << "nothing shown, not anchored";

    bar->segment(0)->click();
    EXPECT_EQ(bar->drawerState(), State::Open);
    EXPECT_EQ(UserDefaults::standard().integerForKey(TVISelectedPickerView), 0);
    EXPECT_FALSE(bar->shouldPopupClose());
    EXPECT_EQ(bar->drawerState(), State::Closed);
    EXPECT_TRUE(bar->shouldPopupClose()) << "the popup's own close, a second later";

    // Segment 1 with the drawer open: the popover replaces it; a second click closes it.
    bar->segment(0)->click();
    bar->segment(1)->click();
    EXPECT_EQ(bar->drawerState(), State::Closed);
    EXPECT_TRUE(bar->popover()->isVisible());
    EXPECT_EQ(UserDefaults::standard().integerForKey(TVISelectedPickerView), 1);
    bar->segment(1)->click();
    EXPECT_FALSE(bar->popover()->isVisible());

    bar->toggleAlwaysOnTop();
    EXPECT_TRUE(UserDefaults::standard().boolForKey(TVIPickerPeopleAlwaysOnTop));
    EXPECT_EQ(bar->buttonAnchor()->property("imageName").toString(), "AnchorIconLightPressed");
    bar->segment(1)->click();
    EXPECT_FALSE(bar->shouldPopupClose());
    EXPECT_FALSE(bar->popover()->isVisible());
    EXPECT_FALSE(bar->shouldPopupClose()) << "anchored: also once the list is folded away";
    bar->toggleAlwaysOnTop();
    EXPECT_TRUE(bar->shouldPopupClose());
}

// The bar is made at start but costs nothing until the popup first shows it.
TEST_F(TVIPopoverViewControllerTest, TheBarAndItsPickersAreBuiltWhenFirstShownNotWhenMade)
{
    TVIPopoverViewController bar;
    EXPECT_EQ(bar.pickerViewController(), nullptr);
    EXPECT_EQ(contacts->readings, 0) << "no picker reads the address book before the bar is shown";

    QWidget* view = bar.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(bar.view(), view) << "built once";
    ASSERT_NE(bar.pickerViewController(), nullptr);
    EXPECT_EQ(bar.pickerViewController2()->visibleNames(), QStringList({"Anna Alt", "Bea Berg"}));
    EXPECT_EQ(contacts->readings, 2) << "each picker once";
}

TEST_F(TVIPopoverViewControllerTest, TheMiniFlagShowsTheMiniBarAtStartAndTogglesBack)
{
    TVIPopoverViewController::setMiniViewEnabled(true);
    UserDefaults::standard().setInteger(1, TVISelectedPickerView);
    auto bar = makeBar();
    EXPECT_TRUE(bar->segment(1)->isChecked()) << "the stored form";
    const int mini = bar->contentView()->height();
    EXPECT_EQ(bar->buttonResizeHeight()->toolTip(), "Increase height");
    EXPECT_EQ(bar->buttonResizeHeight()->property("imageName").toString(), "increaseheight");

    bar->toggleMiniView();
    EXPECT_EQ(bar->contentView()->height(), mini + TVIPopoverViewController::kMiniDifference);
    EXPECT_EQ(bar->buttonResizeHeight()->toolTip(), "Decrease height");
    EXPECT_FALSE(UserDefaults::standard().boolForKey(TVIIsMiniViewEnabled));
    bar->toggleMiniView();
    EXPECT_EQ(bar->contentView()->height(), mini);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(TVIIsMiniViewEnabled));
}

TEST_F(TVIPopoverViewControllerTest, TheVcardOfTheChosenFormsContactGoesToTheMailAsAttachment)
{
    auto bar = makeBar();
    ASSERT_TRUE(bar->pickerViewController()->selectContact("b"));
    ASSERT_TRUE(bar->pickerViewController2()->selectContact("a"));
    EXPECT_EQ(bar->selectedPicker(), bar->pickerViewController2()) << "segment 0: the drawer's picker";

    bar->makeVCard();
    const std::string path = *DirectoryLocations::applicationSupportDirectory() + "/vcard.vcf";
    auto read = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read(), contacts->contacts()[0].vcard);
    ASSERT_EQ(mail->sentMessages().size(), 1u);
    EXPECT_EQ(mail->sentMessages()[0].attachments, std::vector<std::string>{path});

    // Segment 1: the popover's picker; a shorter card leaves nothing of the longer one behind.
    bar->segment(1)->click();
    EXPECT_EQ(bar->selectedPicker(), bar->pickerViewController());
    bar->makeVCard();
    EXPECT_EQ(read(), "BEGIN:VCARD\r\nFN:Bea Berg\r\nEND:VCARD\r\n");
}

}
