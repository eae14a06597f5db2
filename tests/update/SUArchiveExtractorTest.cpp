#include "update/SUArchiveExtractor.h"

#include "support/TestHome.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvi {
namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A ustar archive written by hand, for the entries no honest tar writes.
struct Entry {
    Entry(std::string n, char t, std::string d = {}, std::string l = {})
        : name(std::move(n)), type(t), data(std::move(d)), link(std::move(l))
    {
    }
    std::string name;
    char type;
    std::string data;
    std::string link;
};

std::string tarOf(const std::vector<Entry>& entries)
{
    std::string tar;
    for (const Entry& entry : entries) {
        char header[512] = {};
        std::memcpy(header, entry.name.data(), std::min<std::size_t>(entry.name.size(), 100));
        std::snprintf(header + 100, 8, "%07o", 0644);
        std::snprintf(header + 108, 8, "%07o", 0);
        std::snprintf(header + 116, 8, "%07o", 0);
        std::snprintf(header + 124, 12, "%011o", static_cast<unsigned>(entry.data.size()));
        std::snprintf(header + 136, 12, "%011o", 0);
        header[156] = entry.type;
        std::memcpy(header + 157, entry.link.data(), std::min<std::size_t>(entry.link.size(), 100));
        std::memcpy(header + 257, "ustar\0" "00", 8);
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (unsigned char byte : header) sum += byte;
        std::snprintf(header + 148, 8, "%06o", sum);
        tar.append(header, 512);
        tar += entry.data;
        tar.append((512 - entry.data.size() % 512) % 512, '\0');
    }
    return tar + std::string(1024, '\0');
}

void writeGzip(const std::string& path, const std::string& bytes)
{
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
    gzclose(file);
}

class SUArchiveExtractorTest : public ::testing::Test {
protected:
    const std::string folder_ = test::makeTempDir("archive");
    const std::string archive_ = folder_ + "/update.tar.gz";
    const std::string destination_ = folder_ + "/out";

    // Refused, with no destination left and nothing written beside it.
    void expectRefused(const std::string& why)
    {
        const auto result = SUArchiveExtractor::extractTarGz(archive_, destination_);
        EXPECT_FALSE(result.succeeded) << why;
        EXPECT_FALSE(result.errorDescription.empty()) << why;
        EXPECT_FALSE(fs::exists(fs::symlink_status(destination_))) << why;
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ + "/x"))) << why;
        EXPECT_FALSE(fs::exists("/tmp/telvora-extractor-absolute")) << why;
    }
};

// What the release is made with: GNU tar, in its own format (long names as 'L' entries) and in pax.
TEST_F(SUArchiveExtractorTest, BundleFromTarRoundTripsWithModesLinksAndLongNames)
{
    const std::string source = folder_ + "/source";
    const std::string macos = source + "/Telvora.app/Contents/MacOS";
    const std::string deep = source + "/Telvora.app/Contents/Resources/" + std::string(60, 'r') + "/" +
                             std::string(60, 's');
    fs::create_directories(macos);
    fs::create_directories(deep);
    writeFile(macos + "/Telvora", "#!/bin/sh\necho hi\n");
    ::chmod((macos + "/Telvora").c_str(), 04755); // the set-id bit must not survive
    writeFile(deep + "/strings.txt", std::string(70000, 'z'));
    fs::create_symlink("../MacOS/Telvora", source + "/Telvora.app/Contents/Resources/launcher");

    for (const std::string format : {"gnu", "pax"}) {
        SCOPED_TRACE(format);
        const std::string command = "tar -C '" + source + "' --format=" + format + " -czf '" + archive_ + "' Telvora.app";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const auto result = SUArchiveExtractor::extractTarGz(archive_, destination_);
        ASSERT_TRUE(result.succeeded) << result.errorDescription;

        const std::string program = destination_ + "/Telvora.app/Contents/MacOS/Telvora";
        struct stat info {};
        ASSERT_EQ(::stat(program.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u);
        EXPECT_EQ(readFile(program), "#!/bin/sh\necho hi\n");
        const std::string moved = destination_ + deep.substr(source.size());
        EXPECT_EQ(readFile(moved + "/strings.txt"), std::string(70000, 'z'));
        const std::string link = destination_ + "/Telvora.app/Contents/Resources/launcher";
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), "../MacOS/Telvora");
        fs::remove_all(destination_);
    }
}

TEST_F(SUArchiveExtractorTest, RefusesEntriesThatReachOutsideOrAreNoPlainFiles)
{
    const std::vector<std::pair<std::string, std::vector<Entry>>> cases = {
        {"parent folder", {{"a/", '5'}, {"a/../../x", '0', "escaped"}}},
        {"absolute name", {{"/tmp/telvora-extractor-absolute", '0', "escaped"}}},
        {"link out of the folder", {{"l", '2', "", "../x"}}},
        {"absolute link", {{"l", '2', "", "/etc"}}},
        {"link climbing back through another link", {{"d", '2', "", "."}, {"e", '2', "", "d/.."}}},
        {"write through an earlier link", {{"sub/", '5'}, {"l", '2', "", "sub"}, {"l/file", '0', "through"}}},
        {"hard link", {{"f", '0', "data"}, {"g", '1', "", "f"}}},
        {"device", {{"dev", '3'}}},
        {"fifo", {{"pipe", '6'}}},
    };
    for (const auto& [why, entries] : cases) {
        writeGzip(archive_, tarOf(entries));
        expectRefused(why);
    }

    std::string damaged = tarOf({{"file", '0', "data"}});
    damaged[10] ^= 1; // the name, so only the checksum tells
    writeGzip(archive_, damaged);
    expectRefused("bad checksum");
}

TEST_F(SUArchiveExtractorTest, RefusesTruncatedOrUncompressedArchives)
{
    const std::string good = tarOf({{"Telvora.app/", '5'}, {"Telvora.app/big", '0', std::string(300000, 'q')}});
    writeGzip(archive_, good);
    const std::string gzip = readFile(archive_);
    writeFile(archive_, gzip.substr(0, gzip.size() / 2));
    expectRefused("cut in the middle of a file");
    writeFile(archive_, gzip.substr(0, gzip.size() - 4)); // all data, but no length in the gzip trailer
    expectRefused("gzip trailer missing");
    writeGzip(archive_, good.substr(0, 1024)); // a complete gzip stream of a cut tar
    expectRefused("tar cut after a header");
    writeFile(archive_, good);
    expectRefused("not compressed");
}

TEST_F(SUArchiveExtractorTest, LeavesAnExistingDestinationAloneAndHonoursCancel)
{
    writeGzip(archive_, tarOf({{"file", '0', "data"}}));
    fs::create_directory(destination_);
    writeFile(destination_ + "/mine", "keep");
    EXPECT_FALSE(SUArchiveExtractor::extractTarGz(archive_, destination_).succeeded);
    EXPECT_EQ(readFile(destination_ + "/mine"), "keep");
    fs::remove_all(destination_);

    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(SUArchiveExtractor::extractTarGz(archive_, destination_, &cancelled).succeeded);
    EXPECT_FALSE(fs::exists(destination_));
}

}
}
