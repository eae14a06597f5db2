#include "link/TVIMessageTypes.h"

#include <gtest/gtest.h>

#include <set>

namespace tvi {
namespace {

TEST(TVIMessageTypes, NamesOfTheGroupsFollowTheProtocolTable)
{
    EXPECT_EQ(TVIMessageTypes::name(7), "Button_Combination_MakeCall_Request");
    EXPECT_EQ(TVIMessageTypes::name(12), "Button_Combination_MakeCall_Pressed_Response");
    EXPECT_EQ(TVIMessageTypes::name(32), "Button_Combination_HoldCall_Pressed");
    EXPECT_EQ(TVIMessageTypes::name(59), "Button_Combination_CancelAction_Pressed");
    EXPECT_EQ(TVIMessageTypes::name(60), "Button_Combination_CancelAction_Pressed_Response");
    EXPECT_EQ(TVIMessageTypes::name(61), "delete_Make_Call_Combination");
    EXPECT_EQ(TVIMessageTypes::name(66), "delete_Clear_Call_ACK");
    EXPECT_EQ(TVIMessageTypes::name(80), "delete_Transfer_Call_Response");
    EXPECT_EQ(TVIMessageTypes::name(84), "delete_Cancel_Action_ACK");
    EXPECT_EQ(TVIMessageTypes::name(87), "Ip_Address_Update_ACK");
}

TEST(TVIMessageTypes, UnassignedCodesHaveNoName)
{
    for (int code : {4, 15, 88, 200, 255}) EXPECT_FALSE(TVIMessageTypes::name(code).has_value()) << code;
}

TEST(TVIMessageTypes, EveryAssignedCodeIsNamedOnceAndFoundByName)
{
    std::set<std::string_view> seen;
    int assigned = 0;
    for (int code = 0; code < 256; ++code) {
        auto n = TVIMessageTypes::name(code);
        if (!n) continue;
        ++assigned;
        EXPECT_TRUE(seen.insert(*n).second) << *n;
        EXPECT_EQ(TVIMessageTypes::typeNamed(*n), code);
    }
    EXPECT_EQ(assigned, 86); // 0-3, 5-14, 16-87 minus 4 and 15
}

TEST(TVIMessageTypes, ActionCodes)
{
    const TVIActionCodes* hold = TVIMessageTypes::actionForRequest(28);
    ASSERT_NE(hold, nullptr);
    EXPECT_EQ(hold->action, TVICallAction::HoldCall);
    EXPECT_EQ(hold->accepted(), 29);
    EXPECT_EQ(hold->pressed(), 32);
    EXPECT_EQ(hold->deleteResponse(), 71);
    EXPECT_EQ(TVIMessageTypes::actionForDeleteRequest(82)->action, TVICallAction::CancelAction);
    EXPECT_EQ(TVIMessageTypes::actionForRequest(8), nullptr);
    EXPECT_EQ(TVIMessageTypes::actionNamed("hold")->request, 28);
}

}
}
