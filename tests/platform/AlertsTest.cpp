#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryAlerts.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

Alert threeButtonAlert(bool suppression)
{
    Alert alert;
    alert.alertStyle = AlertStyle::Critical;
    alert.messageText = "Replace the shortcut?";
    alert.informativeText = "It is already used.";
    alert.buttons = {"Replace", "Keep", "Cancel"};
    alert.showsSuppressionButton = suppression;
    return alert;
}

TEST(AlertsTest, ScriptedAnswersAreUsedInOrderAndEveryAlertIsRecorded)
{
    auto alerts = Platform::get<Alerts>();
    auto script = std::dynamic_pointer_cast<AlertsTestInterface>(alerts);
    ASSERT_TRUE(script);
    script->queueAnswer({2, false});
    script->queueAnswer({1, true});
    EXPECT_EQ(alerts->runModal(threeButtonAlert(true)), (AlertResponse{2, false}));
    EXPECT_EQ(alerts->runModal(threeButtonAlert(true)), (AlertResponse{1, true}));
    const auto shown = script->shownAlerts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].messageText, "Replace the shortcut?");
    EXPECT_EQ(shown[0].informativeText, "It is already used.");
    EXPECT_EQ(shown[0].alertStyle, AlertStyle::Critical);
    EXPECT_EQ(shown[0].buttons, (std::vector<std::string>{"Replace", "Keep", "Cancel"}));
}

TEST(AlertsTest, UnscriptedOrUnfittingAnswersFallBackToTheFirstButton)
{
    MemoryAlerts alerts;
    EXPECT_EQ(alerts.runModal(threeButtonAlert(true)), (AlertResponse{0, false})); // a headless run
    alerts.queueAnswer({7, true}); // no eighth button, no check box
    EXPECT_EQ(alerts.runModal(threeButtonAlert(false)), (AlertResponse{0, false}));
    alerts.queueAnswer({1, true}); // a check box that is not shown cannot be ticked
    EXPECT_EQ(alerts.runModal(threeButtonAlert(false)), (AlertResponse{1, false}));
    alerts.queueAnswer({2, true});
    alerts.reset(); // unused answers go with the record
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_EQ(alerts.runModal(threeButtonAlert(true)), (AlertResponse{0, false}));
}

}
}
