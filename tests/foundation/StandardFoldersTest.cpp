#include "foundation/StandardFolders.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

using tvi::SearchPathDirectory;
using tvi::StandardFolders;

namespace {

// Points HOME at another folder for one test.
class HomeOverride {
public:
    explicit HomeOverride(const std::string& home) : saved_(std::getenv("HOME")) { setenv("HOME", home.c_str(), 1); }
    ~HomeOverride() { setenv("HOME", saved_.c_str(), 1); }

private:
    std::string saved_;
};

mode_t permissions(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}

TEST(StandardFoldersTest, SearchPathsMapDomainsOntoLibraries)
{
    std::string home = tvi::test::makeTempDir("home");
    HomeOverride override(home + "/"); // a trailing separator must not double up
    EXPECT_EQ(StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::ApplicationSupport,
                                                                 tvi::UserDomainMask),
              std::vector<std::string>{home + "/Library/Application Support"});
    EXPECT_EQ(StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::Library, tvi::LocalDomainMask),
              std::vector<std::string>{"/Library"});
    EXPECT_EQ(StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::ApplicationSupport,
                                                                 tvi::UserDomainMask | tvi::LocalDomainMask),
              (std::vector<std::string>{home + "/Library/Application Support", "/usr/lib"}));
    EXPECT_TRUE(StandardFolders::searchPathForDirectoriesInDomains(SearchPathDirectory::Library, 0).empty());
    EXPECT_EQ(StandardFolders::userApplicationSupport(), home + "/Library/Application Support");
    EXPECT_EQ(StandardFolders::userPreferences(), home + "/Library/Preferences");
}

TEST(StandardFoldersTest, NewLibraryIsPrivateAndGettersCreateNothingElse)
{
    std::string home = tvi::test::makeTempDir("home");
    HomeOverride override(home);
    EXPECT_EQ(StandardFolders::userLogs(), home + "/Library/Logs");
    EXPECT_EQ(permissions(home + "/Library"), 0700u);
    EXPECT_FALSE(isDirectory(home + "/Library/Logs"));

    // An existing Library keeps the mode its owner gave it.
    ::chmod((home + "/Library").c_str(), 0750);
    EXPECT_EQ(StandardFolders::userLibrary(), home + "/Library");
    EXPECT_EQ(permissions(home + "/Library"), 0750u);
}

TEST(StandardFoldersTest, CreatingBelowAMissingLibraryMakesItPrivate)
{
    std::string home = tvi::test::makeTempDir("home");
    HomeOverride override(home);
    std::string folder = home + "/Library/Application Support/Telvora/Latest Submission";
    tvi::Error error{"untouched", 99, "", {}};
    ASSERT_TRUE(StandardFolders::createDirectory(folder, &error));
    EXPECT_TRUE(isDirectory(folder));
    EXPECT_EQ(permissions(home + "/Library"), 0700u);
    EXPECT_EQ(error.domain, "untouched");
    // Asking again is success and changes nothing.
    EXPECT_TRUE(StandardFolders::createDirectory(folder, nullptr));
    EXPECT_TRUE(StandardFolders::createDirectory(folder + "/", nullptr));
    EXPECT_TRUE(StandardFolders::createDirectory(home + "//a//b/", nullptr));
    EXPECT_TRUE(isDirectory(home + "/a/b"));
}

TEST(StandardFoldersTest, FileInTheWayFailsWithTheSystemError)
{
    std::string base = tvi::test::makeTempDir("folders");
    std::ofstream(base + "/Telvora") << "not a folder";
    for (const std::string& path : {base + "/Telvora", base + "/Telvora/Latest Submission"}) {
        tvi::Error error;
        EXPECT_FALSE(StandardFolders::createDirectory(path, &error)) << path;
        EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
        EXPECT_EQ(error.code, EEXIST);
        EXPECT_EQ(error.localizedDescription, std::strerror(EEXIST));
        EXPECT_EQ(error.userInfo["NSFilePath"], path);
        EXPECT_FALSE(StandardFolders::createDirectory(path, nullptr));
    }
    tvi::Error error;
    EXPECT_FALSE(StandardFolders::createDirectory("", &error));
    EXPECT_EQ(error.code, ENOENT);
}

TEST(StandardFoldersTest, UnwritableParentFails)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    std::string base = tvi::test::makeTempDir("locked");
    ::chmod(base.c_str(), 0500);
    tvi::Error error;
    EXPECT_FALSE(StandardFolders::createDirectory(base + "/x/y", &error));
    EXPECT_EQ(error.code, EACCES);
    ::chmod(base.c_str(), 0700);
}
