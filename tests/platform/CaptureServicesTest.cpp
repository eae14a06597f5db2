#include "platform/Accessibility.h"
#include "platform/KeyEvents.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "platform/memory/AccessibilityTestInterface.h"
#include "platform/memory/KeyEventsTestInterface.h"
#include "platform/memory/PasteboardTestInterface.h"
#include "platform/memory/MemoryWorkspace.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

using Apps = std::vector<RunningApplication>;

TEST(CaptureServicesTest, TheServicesDefaultToMemoryBackendsWithTestInterfaces)
{
    EXPECT_TRUE(std::dynamic_pointer_cast<PasteboardTestInterface>(Platform::get<Pasteboard>()));
    EXPECT_TRUE(std::dynamic_pointer_cast<KeyEventsTestInterface>(Platform::get<KeyEvents>()));
    EXPECT_TRUE(std::dynamic_pointer_cast<WorkspaceTestInterface>(Platform::get<Workspace>()));
    EXPECT_TRUE(std::dynamic_pointer_cast<AccessibilityTestInterface>(Platform::get<Accessibility>()));
}

// What every backend does is in the contract suites (tests/platform/contracts); the order of
// several instances and the record of activations are the in-memory workspace's own.
TEST(CaptureServicesTest, WorkspaceListsInstancesInTheSystemsOrderAndRecordsActivations)
{
    MemoryWorkspace workspace;
    const Apps running{{"com.orvella.phoneclient", 7}, {"com.apple.Mail", 8}, {"com.orvella.phoneclient", 9}};
    workspace.setRunningApplications(running);
    EXPECT_EQ(workspace.runningApplicationsWithBundleIdentifier("com.orvella.phoneclient"),
              (Apps{running[0], running[2]}));

    EXPECT_EQ(workspace.frontmostApplicationBundleIdentifier(), std::nullopt);
    EXPECT_TRUE(workspace.activateApplication(running[1]));
    EXPECT_FALSE(workspace.activateApplication({"com.apple.Mail", 99})); // that process is gone
    EXPECT_EQ(workspace.activations(), Apps{running[1]});
}

}
}
