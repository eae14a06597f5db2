#include "platform/Accessibility.h"
#include "platform/KeyEvents.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "platform/memory/AccessibilityTestInterface.h"
#include "platform/memory/KeyEventsTestInterface.h"
#include "platform/memory/MemoryPasteboard.h"
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

TEST(CaptureServicesTest, PasteboardCountMovesOnEveryWriteAndNonTextHasNoText)
{
    MemoryPasteboard pasteboard;
    EXPECT_EQ(pasteboard.plainText(), std::nullopt);
    const std::int64_t start = pasteboard.changeCount();

    pasteboard.writeText("0891234");
    const std::int64_t afterFirst = pasteboard.changeCount();
    EXPECT_NE(afterFirst, start);
    pasteboard.writeText("0891234");
    EXPECT_NE(pasteboard.changeCount(), afterFirst); // equal text is a write too
    EXPECT_EQ(pasteboard.plainText(), "0891234");

    const std::int64_t beforeImage = pasteboard.changeCount();
    pasteboard.writeNonText();
    EXPECT_NE(pasteboard.changeCount(), beforeImage);
    EXPECT_EQ(pasteboard.plainText(), std::nullopt);
    EXPECT_EQ(pasteboard.content(), std::nullopt);

    pasteboard.writeText("");
    EXPECT_EQ(pasteboard.plainText(), ""); // empty text is text, not absence
}

TEST(CaptureServicesTest, WorkspaceListsInOrderAndActivatesOnlyRunningApplications)
{
    MemoryWorkspace workspace;
    const Apps running{{"com.orvella.phoneclient", 7}, {"com.apple.Mail", 8}, {"com.orvella.phoneclient", 9}};
    workspace.setRunningApplications(running);
    EXPECT_EQ(workspace.runningApplicationsWithBundleIdentifier("com.orvella.phoneclient"),
              (Apps{running[0], running[2]}));
    EXPECT_TRUE(workspace.runningApplicationsWithBundleIdentifier("com.orvella.none").empty());

    EXPECT_EQ(workspace.frontmostApplicationBundleIdentifier(), std::nullopt);
    EXPECT_TRUE(workspace.activateApplication(running[1]));
    EXPECT_EQ(workspace.frontmostApplicationBundleIdentifier(), "com.apple.Mail");
    EXPECT_FALSE(workspace.activateApplication({"com.apple.Mail", 99})); // that process is gone
    EXPECT_EQ(workspace.activations(), Apps{running[1]});
}

}
}
