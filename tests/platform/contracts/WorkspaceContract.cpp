#include "platform/contracts/WorkspaceContract.h"

#include <chrono>
#include <thread>

namespace tvi::test {

namespace {

using Apps = std::vector<RunningApplication>;

const std::string kCalvetto = "com.orvella.phoneclient";
const std::string kEditor = "org.example.Editor";

}

void WorkspaceContract::SetUp()
{
    openBackend(&WorkspaceDriver::workspace, workspace_);
}

bool WorkspaceContract::eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

TEST_P(WorkspaceContract, RunningApplicationsAreFoundByTheirIdentifierOnly)
{
    const RunningApplication calvetto = driver_->launch(kCalvetto);
    const RunningApplication editor = driver_->launch(kEditor);
    EXPECT_TRUE(eventually([&] { return workspace_->runningApplicationsWithBundleIdentifier(kCalvetto) == Apps{calvetto}; }));
    EXPECT_TRUE(eventually([&] { return workspace_->runningApplicationsWithBundleIdentifier(kEditor) == Apps{editor}; }));
    EXPECT_TRUE(workspace_->runningApplicationsWithBundleIdentifier("org.example.None").empty());
    EXPECT_TRUE(workspace_->runningApplicationsWithBundleIdentifier("").empty());
}

TEST_P(WorkspaceContract, AnActivatedApplicationComesToTheFront)
{
    const RunningApplication calvetto = driver_->launch(kCalvetto);
    const RunningApplication editor = driver_->launch(kEditor);
    ASSERT_TRUE(eventually([&] { return workspace_->runningApplicationsWithBundleIdentifier(kEditor).size() == 1; }));

    ASSERT_TRUE(workspace_->activateApplication(editor));
    EXPECT_TRUE(eventually([&] { return workspace_->frontmostApplicationBundleIdentifier() == kEditor; }));
    ASSERT_TRUE(workspace_->activateApplication(calvetto));
    EXPECT_TRUE(eventually([&] { return workspace_->frontmostApplicationBundleIdentifier() == kCalvetto; }));
}

TEST_P(WorkspaceContract, AnApplicationThatIsNotRunningIsNotActivated)
{
    const RunningApplication calvetto = driver_->launch(kCalvetto);
    ASSERT_TRUE(eventually([&] { return !workspace_->runningApplicationsWithBundleIdentifier(kCalvetto).empty(); }));
    EXPECT_FALSE(workspace_->activateApplication({kCalvetto, calvetto.processIdentifier + 100000}))
        << "that process is gone";
    EXPECT_FALSE(workspace_->activateApplication({"org.example.None", calvetto.processIdentifier}));
}

}
