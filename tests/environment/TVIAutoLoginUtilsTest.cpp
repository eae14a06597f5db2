#include "environment/TVIAutoLoginUtils.h"

#include "foundation/Bundle.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryLoginItems.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

using Items = std::vector<std::string>;

class TVIAutoLoginUtilsTest : public ::testing::Test {
protected:
    TVIAutoLoginUtilsTest() : installed_(loginItems_) { Bundle::setMainBundle(Bundle(TELVORA_APP_DIR)); }
    ~TVIAutoLoginUtilsTest() override { Bundle::setMainBundle(std::nullopt); }

    const std::string self_ = Bundle(TELVORA_APP_DIR).bundlePath();
    const std::string copy_ = "/Applications/Telvora.app";
    const std::string other_ = "/Applications/Calvetto.app";
    std::shared_ptr<MemoryLoginItems> loginItems_ = std::make_shared<MemoryLoginItems>();
    Platform::Scoped<LoginItems> installed_;
};

TEST_F(TVIAutoLoginUtilsTest, AddingGoesOnTopAndTwiceLeavesOneEntry)
{
    loginItems_->setItems({other_});
    TVIAutoLoginUtils::addLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{self_, other_}));
    TVIAutoLoginUtils::addLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{self_, other_}));
}

TEST_F(TVIAutoLoginUtilsTest, RemovingTakesOnlyThisBundlesEntry)
{
    loginItems_->setItems({other_, self_, copy_});
    TVIAutoLoginUtils::removeLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{other_, copy_}));
    TVIAutoLoginUtils::removeLoginItem(); // absent now: nothing changes
    EXPECT_EQ(loginItems_->items(), (Items{other_, copy_}));
}

TEST_F(TVIAutoLoginUtilsTest, ACopyElsewhereIsNeitherFoundNorRemoved)
{
    loginItems_->setItems({copy_});
    TVIAutoLoginUtils::removeLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{copy_}));
    TVIAutoLoginUtils::loginItemAction(true);
    EXPECT_EQ(loginItems_->items(), (Items{self_, copy_}));
}

TEST_F(TVIAutoLoginUtilsTest, ListThatCannotBeChangedStaysAsItWas)
{
    loginItems_->setItems({other_});
    loginItems_->setFailAdd(true);
    TVIAutoLoginUtils::addLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{other_}));

    loginItems_->setFailAdd(false);
    loginItems_->setItems({self_});
    loginItems_->setAvailable(false);
    TVIAutoLoginUtils::removeLoginItem();
    EXPECT_EQ(loginItems_->items(), (Items{self_}));
}

}
}
