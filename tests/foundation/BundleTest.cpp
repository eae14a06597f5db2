#include "foundation/Bundle.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tvi::Bundle;

namespace {

void writeFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>CFBundleDevelopmentRegion</key><string>en</string>
  <key>CFBundleExecutable</key><string>Telvora</string>
  <key>CFBundleIdentifier</key><string>com.example.Test</string>
  <key>CFBundleVersion</key><string>7</string>
</dict></plist>)";

// A bundle with English and German tables and resources at each level.
std::string makeBundle()
{
    std::string path = tvi::test::makeTempDir("bundle") + "/Test.app";
    std::string resources = path + "/Contents/Resources";
    writeFile(path + "/Contents/Info.plist", kInfoPlist);
    writeFile(resources + "/Defaults.plist", "top");
    writeFile(resources + "/en.lproj/Credits.rtf", "en credits");
    writeFile(resources + "/de.lproj/Credits.rtf", "de credits");
    writeFile(resources + "/en.lproj/Help.html", "en help");
    writeFile(resources + "/en.lproj/Localizable.strings", "\"OK\" = \"OK\";\n\"Quit <AppName>\" = \"Quit <AppName>\";\n"
                                                           "\"Only English\" = \"Only English\";");
    writeFile(resources + "/de.lproj/Localizable.strings", "\"Quit <AppName>\" = \"<AppName> beenden\";");
    writeFile(resources + "/de.lproj/Errors.strings", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>No path found for directory in domain.</key><string>Kein Pfad.</string></dict></plist>)");
    return path;
}

}

TEST(BundleTest, ReadsTheInfoDictionary)
{
    std::string path = makeBundle();
    Bundle bundle(path + "/", {"en"});
    EXPECT_EQ(bundle.bundlePath(), path);
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.Test");
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleExecutable").stringValue(), "Telvora");
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("Missing").isAbsent());
    EXPECT_EQ(bundle.infoDictionary().size(), 4u);

    Bundle empty(tvi::test::makeTempDir("nobundle"), {"en"});
    EXPECT_TRUE(empty.infoDictionary().empty());
    EXPECT_EQ(empty.bundleIdentifier(), std::nullopt);
    EXPECT_EQ(empty.localizedString("Cancel"), "Cancel");
    EXPECT_EQ(empty.pathForResource("Defaults", "plist"), std::nullopt);
}

TEST(BundleTest, FindsResourcesTopLevelThenPreferredLanguageThenEnglish)
{
    std::string path = makeBundle();
    std::string resources = path + "/Contents/Resources";
    Bundle german(path, {"de_DE", "en"});
    EXPECT_EQ(german.localizations(), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(german.preferredLocalizations(), std::vector<std::string>{"de"});
    EXPECT_EQ(german.pathForResource("Defaults", "plist"), resources + "/Defaults.plist");
    EXPECT_EQ(german.pathForResource("Defaults.plist", ""), resources + "/Defaults.plist");
    EXPECT_EQ(german.pathForResource("Credits", "rtf"), resources + "/de.lproj/Credits.rtf");
    EXPECT_EQ(german.pathForResource("Help", "html"), resources + "/en.lproj/Help.html");
    EXPECT_EQ(german.pathForResource("Missing", "png"), std::nullopt);
    EXPECT_EQ(german.pathForResource("", ""), std::nullopt);

    Bundle french(path, {"fr_FR"});
    EXPECT_EQ(french.preferredLocalizations(), std::vector<std::string>{"en"});
    EXPECT_EQ(french.pathForResource("Credits", "rtf"), resources + "/en.lproj/Credits.rtf");
}

TEST(BundleTest, LocalizedStringsFallBackToEnglishThenValueThenKey)
{
    std::string path = makeBundle();
    Bundle german(path, {"de"});
    EXPECT_EQ(german.localizedString("Quit <AppName>"), "<AppName> beenden");
    EXPECT_EQ(german.localizedString("Only English"), "Only English");
    EXPECT_EQ(german.localizedString("Unknown", "Fallback"), "Fallback");
    EXPECT_EQ(german.localizedString("Unknown"), "Unknown");
    EXPECT_EQ(german.localizedString("No path found for directory in domain.", "", "Errors"), "Kein Pfad.");
    EXPECT_EQ(german.localizedString("Quit <AppName>", "", "Missing"), "Quit <AppName>");
    Bundle english(path, {"en_US.UTF-8"});
    EXPECT_EQ(english.localizedString("Quit <AppName>"), "Quit <AppName>");
}

TEST(BundleTest, MainBundleIsTheAppFolderOfTheExecutable)
{
    EXPECT_EQ(Bundle::bundlePathForExecutable("/opt/x/Telvora.app/Contents/MacOS/Telvora"), "/opt/x/Telvora.app");
    EXPECT_EQ(Bundle::bundlePathForExecutable("/opt/x/bin/tool"), "/opt/x/bin");
    EXPECT_EQ(Bundle::bundlePathForExecutable("/opt/x/Contents/MacOS/Telvora"), "/opt/x/Contents/MacOS");

    // The test program lives outside any bundle.
    EXPECT_EQ(Bundle::mainBundle().bundlePath(), std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    Bundle::setMainBundle(Bundle(TELVORA_APP_DIR));
    EXPECT_EQ(Bundle::mainBundle().bundleIdentifier(), "com.orvella.Telvora");
    EXPECT_EQ(Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleExecutable").stringValue(), "Telvora");
    EXPECT_EQ(Bundle::mainBundle().pathForResource("Defaults", "plist"),
              std::string(TELVORA_APP_DIR) + "/Contents/Resources/Defaults.plist");
    Bundle::setMainBundle(std::nullopt);
    EXPECT_EQ(Bundle::mainBundle().bundleIdentifier(), std::nullopt);
}

TEST(BundleTest, UserLanguagesComeFromTheEnvironment)
{
    unsetenv("LC_MESSAGES");
    setenv("LANGUAGE", "de_AT:fr", 1);
    setenv("LC_ALL", "C", 1);
    setenv("LANG", "it_IT.UTF-8", 1);
    EXPECT_EQ(Bundle::userPreferredLanguages(), (std::vector<std::string>{"de_AT", "fr"}));
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    EXPECT_EQ(Bundle::userPreferredLanguages(), (std::vector<std::string>{"it_IT"}));
    EXPECT_EQ(Bundle(makeBundle()).preferredLocalizations(), std::vector<std::string>{"en"});
    unsetenv("LANG");
}
