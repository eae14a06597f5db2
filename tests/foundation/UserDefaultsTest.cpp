#include "foundation/PropertyListSerialization.h"
#include "foundation/UserDefaults.h"
#include "support/CollectingLogger.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace tvi {
namespace {

namespace fs = std::filesystem;

std::string freshPath()
{
    return test::makeTempDir("defaults") + "/com.example.Test.plist";
}

PlistData fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return PlistData((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(UserDefaultsTest, TypedValuesAndAbsentKeys)
{
    UserDefaults defaults("com.example.Test", freshPath());
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);
    EXPECT_TRUE(defaults.objectForKey("missing").isAbsent());

    defaults.setBool(true, "b");
    defaults.setInteger(-5, "i");
    defaults.setDouble(2.5, "d");
    defaults.setString("10.0.0.1", "s");
    defaults.setData(PlistData{0, 1, 2}, "data");
    defaults.setObject(PlistArray{1, "x"}, "array");
    EXPECT_TRUE(defaults.boolForKey("b"));
    EXPECT_EQ(defaults.integerForKey("i"), -5);
    EXPECT_EQ(defaults.doubleForKey("d"), 2.5);
    EXPECT_EQ(defaults.stringForKey("s"), "10.0.0.1");
    EXPECT_EQ(defaults.dataForKey("data"), (PlistData{0, 1, 2}));
    EXPECT_EQ(defaults.objectForKey("array"), PlistValue(PlistArray{1, "x"}));
    EXPECT_EQ(defaults.stringForKey("i"), "-5");
    EXPECT_EQ(defaults.integerForKey("d"), 2);
    EXPECT_EQ(defaults.dataForKey("s"), std::nullopt);

    defaults.setObject(PlistValue(), "b"); // absent removes
    EXPECT_TRUE(defaults.objectForKey("b").isAbsent());
    defaults.setObject(PlistArray{PlistValue()}, "bad"); // refused
    EXPECT_TRUE(defaults.objectForKey("bad").isAbsent());
}

TEST(UserDefaultsTest, StoredValuesOverrideRegisteredDefaults)
{
    UserDefaults defaults("com.example.Test", freshPath());
    EXPECT_EQ(defaults.persistentDomainForName("com.example.Test"), std::nullopt);
    defaults.registerDefaults({{"TVIFirstRun", true}, {"TVIStartAtLogin", false}});
    EXPECT_TRUE(defaults.boolForKey("TVIFirstRun"));

    defaults.setBool(false, "TVIFirstRun");
    EXPECT_FALSE(defaults.boolForKey("TVIFirstRun"));
    defaults.registerDefaults({{"TVIFirstRun", true}, {"other", 3}});
    EXPECT_FALSE(defaults.boolForKey("TVIFirstRun"));
    EXPECT_EQ(defaults.integerForKey("other"), 3);
    EXPECT_EQ(defaults.persistentDomainForName("com.example.Test"), (PlistDictionary{{"TVIFirstRun", false}}));
    EXPECT_EQ(defaults.dictionaryRepresentation(),
              (PlistDictionary{{"TVIFirstRun", false}, {"TVIStartAtLogin", false}, {"other", 3}}));

    defaults.removeObjectForKey("TVIFirstRun");
    EXPECT_TRUE(defaults.boolForKey("TVIFirstRun"));
    EXPECT_EQ(defaults.persistentDomainForName("com.example.Test"), PlistDictionary());
}

TEST(UserDefaultsTest, PersistsAsBinaryPropertyList)
{
    const std::string path = freshPath();
    {
        UserDefaults defaults("com.example.Test", path);
        defaults.setString("host", "TVILastSavedIpString");
        defaults.setInteger(2, "TVISelectedPickerView");
        ASSERT_TRUE(defaults.synchronize());
        const PlistData bytes = fileBytes(path);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");
        defaults.setBool(true, "unsaved until destruction");
    }
    UserDefaults reopened("com.example.Test", path);
    EXPECT_EQ(reopened.stringForKey("TVILastSavedIpString"), "host");
    EXPECT_EQ(reopened.integerForKey("TVISelectedPickerView"), 2);
    EXPECT_TRUE(reopened.boolForKey("unsaved until destruction"));
    // Another domain in the same folder reads from its own file.
    EXPECT_EQ(reopened.persistentDomainForName("com.example.Other"), std::nullopt);
    UserDefaults other("com.example.Other", fs::path(path).parent_path().string() + "/com.example.Other.plist");
    other.setInteger(1, "k");
    ASSERT_TRUE(other.synchronize());
    EXPECT_EQ(reopened.persistentDomainForName("com.example.Other"), (PlistDictionary{{"k", 1}}));
}

TEST(UserDefaultsTest, StandardStoreLivesInThePreferencesFolder)
{
    const std::string expected = std::string(std::getenv("HOME")) + "/Library/Preferences/com.orvella.Telvora.plist";
    EXPECT_EQ(UserDefaults::standard().filePath(), expected);
    EXPECT_EQ(UserDefaults::standard().domainName(), "com.orvella.Telvora");
    EXPECT_EQ(&UserDefaults::standard(), &UserDefaults::standard());
}

TEST(UserDefaultsTest, SurvivesACrashInTheMiddleOfAWrite)
{
    const std::string path = freshPath();
    {
        UserDefaults defaults("com.example.Test", path);
        defaults.setBool(true, "TVIMakeCallShortcutEnabled");
        ASSERT_TRUE(defaults.synchronize());
    }
    const PlistData good = fileBytes(path);
    // What a write cut short leaves: a truncated temporary file beside the real one.
    writeBytes(path + ".tmp-Ab12Cd", std::string(good.begin(), good.begin() + good.size() / 2));
    writeBytes(path + ".tmp-Ef34Gh", "");

    UserDefaults reopened("com.example.Test", path);
    EXPECT_TRUE(reopened.boolForKey("TVIMakeCallShortcutEnabled"));
    EXPECT_EQ(fileBytes(path), good);
    reopened.setBool(false, "TVIMakeCallShortcutEnabled");
    ASSERT_TRUE(reopened.synchronize());
    EXPECT_FALSE(UserDefaults("com.example.Test", path).boolForKey("TVIMakeCallShortcutEnabled"));
}

TEST(UserDefaultsTest, CorruptFileIsMovedAsideAndKept)
{
    for (const std::string& garbage : {std::string("bplist00 broken"), std::string(""),
                                      std::string("<?xml version=\"1.0\"?><plist><array></array></plist>")}) {
        const std::string path = freshPath();
        const std::string folder = fs::path(path).parent_path().string();
        writeBytes(path, garbage);

        auto logger = test::CollectingLogger::install();
        UserDefaults defaults("com.example.Test", path);
        EXPECT_EQ(defaults.persistentDomainForName("com.example.Test"), std::nullopt);
        bool reported = false;
        for (const auto& line : logger->lines())
            reported |= line.flag == 1 && line.text.find("moved aside to " + folder) != std::string::npos;
        EXPECT_TRUE(reported);
        test::CollectingLogger::uninstall(logger);
        const auto names = filesIn(folder);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind("com.example.Test.plist.corrupt-", 0), 0u) << names[0];
        const std::string aside = folder + "/" + names[0];
        EXPECT_EQ(fileBytes(aside), PlistData(garbage.begin(), garbage.end()));

        defaults.setInteger(1, "k");
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(fileBytes(aside), PlistData(garbage.begin(), garbage.end()));
        EXPECT_EQ(UserDefaults("com.example.Test", path).integerForKey("k"), 1);
    }
}

TEST(UserDefaultsTest, ObserversGetTheNewValueOnTheWritingThread)
{
    UserDefaults defaults("com.example.Test", freshPath());
    defaults.registerDefaults({{"TVIStartAtLogin", false}});
    int owner = 0;
    std::vector<PlistValue> values;
    std::vector<std::thread::id> threads;
    defaults.addObserver("TVIStartAtLogin", [&](const PlistValue& value) {
        values.push_back(value);
        threads.push_back(std::this_thread::get_id());
        // Reading and writing from inside an observer must not deadlock.
        EXPECT_EQ(defaults.objectForKey("TVIStartAtLogin"), value);
        defaults.setInteger(defaults.integerForKey("echo") + 1, "echo");
    }, &owner);
    const void* changeObject = nullptr;
    int changes = 0;
    const auto changeToken = NotificationCenter::defaultCenter().addObserver(
        UserDefaults::didChangeNotification, &defaults, [&](const Notification& n) {
            changeObject = n.object;
            ++changes;
        });

    std::thread writer([&] { defaults.setBool(true, "TVIStartAtLogin"); });
    const auto writerId = writer.get_id();
    writer.join();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], PlistValue(true));
    EXPECT_EQ(threads[0], writerId);
    EXPECT_EQ(changeObject, &defaults);
    EXPECT_EQ(changes, 2); // the key and the observer's own write

    defaults.removeObjectForKey("TVIStartAtLogin"); // back to the registered default
    defaults.removeObjectForKey("TVIStartAtLogin"); // no change, no call
    defaults.setInteger(3, "unrelated");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1], PlistValue(false));

    defaults.removeObserversForOwner(&owner);
    defaults.setBool(true, "TVIStartAtLogin");
    EXPECT_EQ(values.size(), 2u);
    NotificationCenter::defaultCenter().removeObserver(changeToken);
}

TEST(UserDefaultsTest, RegisteringADefaultNotifiesOnlyWhereItShows)
{
    UserDefaults defaults("com.example.Test", freshPath());
    defaults.setInteger(1, "stored");
    std::vector<std::string> calls;
    const auto a = defaults.addObserver("stored", [&](const PlistValue&) { calls.push_back("stored"); });
    defaults.addObserver("fresh", [&](const PlistValue& v) { calls.push_back("fresh=" + *v.stringValue()); });
    defaults.registerDefaults({{"stored", 5}, {"fresh", 7}});
    defaults.registerDefaults({{"fresh", 7}});
    EXPECT_EQ(calls, (std::vector<std::string>{"fresh=7"}));
    defaults.removeObserver(a);
    defaults.setInteger(2, "stored");
    EXPECT_EQ(calls.size(), 1u);
}

TEST(UserDefaultsTest, ConcurrentWritersReadersAndSynchronize)
{
    const std::string path = freshPath();
    UserDefaults defaults("com.example.Test", path);
    std::atomic<int> observed{0};
    defaults.addObserver("k0", [&](const PlistValue&) { ++observed; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                defaults.setInteger(i, "k" + std::to_string(t));
                (void)defaults.integerForKey("k" + std::to_string((t + 1) % 4));
                if (i % 50 == 0) {
                    EXPECT_TRUE(defaults.synchronize());
                }
            }
        });
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(observed, 200);
    UserDefaults reopened("com.example.Test", path);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(reopened.integerForKey("k" + std::to_string(t)), 199);
    EXPECT_EQ(filesIn(fs::path(path).parent_path().string()).size(), 1u); // no temporary files left
}

}
}
