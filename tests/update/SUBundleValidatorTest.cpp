#include "update/SUBundleValidator.h"

#include "support/TestHome.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tvi {
namespace {

namespace fs = std::filesystem;

// A bundle whose program is a script that answers --version the way Telvora does.
std::string makeBundle(const std::string& folder, const std::string& identifier, const std::string& version,
                       const std::string& versionLine)
{
    const std::string bundle = folder + "/Telvora.app";
    fs::create_directories(bundle + "/Contents/MacOS");
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
        << "<key>CFBundleIdentifier</key><string>" << identifier << "</string>\n"
        << "<key>CFBundleVersion</key><string>" << version << "</string>\n"
        << "<key>CFBundleExecutable</key><string>Telvora</string>\n</dict></plist>\n";
    const std::string program = bundle + "/Contents/MacOS/Telvora";
    std::ofstream(program) << "#!/bin/sh\n[ \"$1\" = --version ] && echo '" << versionLine << "'\n";
    ::chmod(program.c_str(), 0755);
    return bundle;
}

TEST(SUBundleValidatorTest, AcceptsTheAnnouncedBuildAndRefusesAnyMismatch)
{
    const std::string id = "com.orvella.Telvora";
    std::string error;
    const std::string good = makeBundle(test::makeTempDir("good"), id, "200", "Telvora 2.0 (Build 200)");
    EXPECT_TRUE(SUBundleValidator::validate(good, id, "200", &error)) << error;

    EXPECT_FALSE(SUBundleValidator::validate(good, id, "201", &error)); // Info.plist is not the announced version
    EXPECT_FALSE(SUBundleValidator::validate(good, "com.example.Other", "200", &error));
    // Info.plist edited, program of another build: "2000" must not pass for "200" either.
    const std::string other = makeBundle(test::makeTempDir("other"), id, "200", "Telvora 2.0 (Build 2000)");
    EXPECT_FALSE(SUBundleValidator::validate(other, id, "200", &error));
    EXPECT_NE(error.find("does not report build 200"), std::string::npos) << error;

    ::chmod((good + "/Contents/MacOS/Telvora").c_str(), 0644);
    EXPECT_FALSE(SUBundleValidator::validate(good, id, "200", &error));
    EXPECT_NE(error.find("not executable"), std::string::npos) << error;
}

// The rule must match what the real program prints.
TEST(SUBundleValidatorTest, AcceptsTheBuiltTelvora)
{
    std::string error;
    EXPECT_TRUE(SUBundleValidator::validate(TELVORA_APP_DIR, "com.orvella.Telvora", TELVORA_BUILD_NUMBER, &error))
        << error;
}

TEST(SUBundleValidatorTest, FindsExactlyOneBundleFolder)
{
    const std::string folder = test::makeTempDir("unpacked");
    std::string error;
    EXPECT_FALSE(SUBundleValidator::findBundle(folder, &error));
    fs::create_directory_symlink("/usr", folder + "/Linked.app"); // a link is no bundle
    EXPECT_FALSE(SUBundleValidator::findBundle(folder, &error));
    fs::create_directory(folder + "/Telvora.app");
    EXPECT_EQ(SUBundleValidator::findBundle(folder, &error), folder + "/Telvora.app");
    fs::create_directory(folder + "/Second.app");
    EXPECT_FALSE(SUBundleValidator::findBundle(folder, &error));
}

}
}
