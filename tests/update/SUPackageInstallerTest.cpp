#include "update/SUPackageInstaller.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

namespace tvi {
namespace {

using Status = SUPackageInstaller::Status;

// pkexec run by root with an authorised action: it runs the helper and ends with its status.
class SUPackageInstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = test::makeTempDir("pkexec");
        pkexec_ = writeScript("pkexec", "exec \"$@\"\n");
    }

    std::string writeScript(const std::string& name, const std::string& body)
    {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), 0755);
        return path;
    }

    std::string helperEnding(int status, const std::string& message)
    {
        return writeScript("helper-" + std::to_string(status),
                           "echo \"" + message + "\" >&2\nexit " + std::to_string(status) + "\n");
    }

    std::string folder_;
    std::string pkexec_;
};

TEST_F(SUPackageInstallerTest, HandsPathSignatureAndVersionOverAsDataWithoutAShell)
{
    const std::string record = folder_ + "/arguments";
    const std::string helper = writeScript("helper", "printf '%s\\n' \"$@\" >" + record + "\necho chatter\n");
    const std::string signature = "$(touch " + folder_ + "/ran); 'a b' *";

    const auto result = SUPackageInstaller::install("/tmp/update dir/telvora.deb", signature, "1.2-1", pkexec_, helper);

    EXPECT_EQ(result.status, Status::Installed);
    EXPECT_EQ(result.errorDescription, "");
    std::stringstream arguments;
    arguments << std::ifstream(record).rdbuf();
    EXPECT_EQ(arguments.str(), "/tmp/update dir/telvora.deb\n" + signature + "\n1.2-1\n");
    struct stat info {};
    EXPECT_NE(stat((folder_ + "/ran").c_str(), &info), 0);
}

TEST_F(SUPackageInstallerTest, ReadsPkexecsAndTheHelpersStatusesWithTheirMessages)
{
    using Exit = SUPackageInstaller::HelperExit;
    const std::pair<int, Status> cases[] = {
        {126, Status::Dismissed},           {127, Status::NotAuthorized},          {Exit::kBadSignature, Status::Refused},
        {Exit::kWrongPackage, Status::Refused}, {Exit::kNotAnnounced, Status::Refused}, {Exit::kNotNewer, Status::Refused},
        {Exit::kUsage, Status::Failed},     {Exit::kNoPublicKey, Status::Failed},  {Exit::kCopyFailed, Status::Failed},
        {Exit::kAptFailed, Status::Failed}, {42, Status::Failed}};
    for (const auto& [exitStatus, status] : cases) {
        const std::string message = "telvora-update-helper: because " + std::to_string(exitStatus);
        const auto result =
            SUPackageInstaller::install("/p.deb", "c2ln", "2", pkexec_, helperEnding(exitStatus, message));
        EXPECT_EQ(result.status, status) << exitStatus;
        EXPECT_EQ(result.errorDescription, message);
    }
}

TEST_F(SUPackageInstallerTest, AHelperKilledOrAMissingPkexecFailsWithAReason)
{
    const auto killed =
        SUPackageInstaller::install("/p.deb", "c2ln", "2", pkexec_, writeScript("killed", "kill -9 $$\n"));
    EXPECT_EQ(killed.status, Status::Failed);
    EXPECT_NE(killed.errorDescription.find("signal 9"), std::string::npos) << killed.errorDescription;

    const auto missing = SUPackageInstaller::install("/p.deb", "c2ln", "2", folder_ + "/no-pkexec", pkexec_);
    EXPECT_EQ(missing.status, Status::Failed);
    EXPECT_NE(missing.errorDescription.find("could not be started"), std::string::npos) << missing.errorDescription;
}

// A service started by a package script may keep standard error open long after the helper ended.
TEST_F(SUPackageInstallerTest, ReturnsWhenTheHelperEndsAndLeavesNoZombie)
{
    const std::string helper = writeScript("lingering", "sleep 3 >&2 &\necho done >&2\nexit 7\n");
    const auto start = std::chrono::steady_clock::now();

    const auto result = SUPackageInstaller::install("/p.deb", "c2ln", "2", pkexec_, helper);

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.errorDescription, "done");
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

}
}
