// The small stateless utilities: application name, version texts, locale and appearance.
#include "environment/TVIGeneralUtils.h"
#include "environment/TVILocalizationUtilities.h"
#include "environment/TVIVibrancyUtils.h"
#include "foundation/TVIApplication.h"

#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/memory/MemorySystemInformation.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace tvi {
namespace {

namespace fs = std::filesystem;

// A bundle with the given Info.plist body and .lproj folders.
std::string makeBundle(const std::string& infoEntries, const std::vector<std::string>& localizations)
{
    std::string bundle = test::makeTempDir("Sample") + "/Sample.app";
    fs::create_directories(bundle + "/Contents/Resources");
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" << infoEntries
        << "</dict></plist>\n";
    for (const std::string& name : localizations) fs::create_directories(bundle + "/Contents/Resources/" + name + ".lproj");
    return bundle;
}

class MainBundleScope {
public:
    explicit MainBundleScope(Bundle bundle) { Bundle::setMainBundle(std::move(bundle)); }
    ~MainBundleScope() { Bundle::setMainBundle(std::nullopt); }
};

// Sets environment variables (nullptr: unsets) and puts the old values back afterwards.
class EnvironmentScope {
public:
    explicit EnvironmentScope(const std::map<std::string, const char*>& values)
    {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
        }
    }
    ~EnvironmentScope()
    {
        for (const auto& [name, value] : saved_) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(TVIApplicationTest, NameIsTheExecutableOfTheMainBundle)
{
    {
        MainBundleScope scope{Bundle(TELVORA_APP_DIR)};
        EXPECT_EQ(TVIApplication::applicationName(), "Telvora");
    }
    MainBundleScope scope{Bundle(makeBundle("<key>CFBundleName</key><string>Sample</string>", {}))};
    EXPECT_EQ(TVIApplication::applicationName(), std::nullopt);
}

TEST(TVIGeneralUtilsTest, VersionTextsComeFromTheInformationDictionary)
{
    MainBundleScope scope{Bundle(TELVORA_APP_DIR)};
    EXPECT_EQ(TVIGeneralUtils::getCombinedVersion(), "Version " TELVORA_VERSION " (Build " TELVORA_BUILD_NUMBER ")");
    EXPECT_EQ(TVIGeneralUtils::getCombinedVersionAlt(), TELVORA_VERSION " (Build " TELVORA_BUILD_NUMBER ")");
}

TEST(TVIGeneralUtilsTest, SystemVersionIsThreeDottedNumbers)
{
    auto system = std::make_shared<MemorySystemInformation>();
    system->setOperatingSystemVersion({10, 9, 5});
    Platform::Scoped<SystemInformation> installed(system);
    EXPECT_EQ(TVIGeneralUtils::checkOSXVersion(), "10.9.5");
    system->setOperatingSystemVersion({14, 0, 0});
    EXPECT_EQ(TVIGeneralUtils::checkOSXVersion(), "14.0.0"); // asked anew, not remembered
}

TEST(TVIGeneralUtilsTest, VersionsSplitsAtEveryDot)
{
    using Parts = std::vector<std::string>;
    EXPECT_EQ(TVIGeneralUtils::versions("10.9.5"), (Parts{"10", "9", "5"}));
    EXPECT_EQ(TVIGeneralUtils::versions("10.10"), (Parts{"10", "10"}));
    EXPECT_EQ(TVIGeneralUtils::versions("1..2."), (Parts{"1", "", "2", ""}));
    EXPECT_EQ(TVIGeneralUtils::versions(""), (Parts{""}));
}

TEST(TVILocalizationUtilitiesTest, ReplacesEveryAppNamePlaceholder)
{
    EXPECT_EQ(TVILocalizationUtilities::replaceAppNameInString("Quit <AppName>"), "Quit Telvora");
    EXPECT_EQ(TVILocalizationUtilities::replaceAppNameInString("No placeholder here"), "No placeholder here");
    EXPECT_EQ(TVILocalizationUtilities::replaceAppNameInString("<AppName> and <AppName><AppName>"),
              "Telvora and TelvoraTelvora");
    EXPECT_EQ(TVILocalizationUtilities::replaceAppNameInString("<AppName"), "<AppName");
}

TEST(TVILocalizationUtilitiesTest, LanguageIsTheFirstUserLanguageTheBundleHas)
{
    std::string bundle = makeBundle("<key>CFBundleDevelopmentRegion</key><string>en</string>", {"de", "en", "fr"});
    {
        MainBundleScope scope{Bundle(bundle, {"it_IT", "fr_CA", "de_DE"})};
        EXPECT_EQ(TVILocalizationUtilities::getLanguage(), "fr");
    }
    {
        MainBundleScope scope{Bundle(bundle, {"ja_JP"})};
        EXPECT_EQ(TVILocalizationUtilities::getLanguage(), "en"); // the development region
    }
    {
        MainBundleScope scope{Bundle(makeBundle("", {}), {"de_DE"})};
        EXPECT_EQ(TVILocalizationUtilities::getLanguage(), "en"); // no localisations at all
    }
}

TEST(TVILocalizationUtilitiesTest, RegionIsTheCountryOfTheLocaleInForce)
{
    {
        EnvironmentScope env({{"LC_ALL", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "en_US"}});
        EXPECT_EQ(TVILocalizationUtilities::getRegion(), "DE");
    }
    {
        EnvironmentScope env({{"LC_ALL", ""}, {"LC_MESSAGES", "fr_CA@euro"}, {"LANG", "en_US"}});
        EXPECT_EQ(TVILocalizationUtilities::getRegion(), "CA");
    }
    for (const char* countryless : {"C", "C.UTF-8", "POSIX", "en", "en_"}) {
        EnvironmentScope env({{"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}, {"LANG", countryless}});
        EXPECT_EQ(TVILocalizationUtilities::getRegion(), std::nullopt) << countryless;
    }
    EnvironmentScope env({{"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}, {"LANG", nullptr}});
    EXPECT_EQ(TVILocalizationUtilities::getRegion(), std::nullopt);
}

class TVIVibrancyUtilsTest : public ::testing::Test {
protected:
    void TearDown() override { UserDefaults::standard().removeObjectForKey("AppleInterfaceStyle"); }
};

TEST_F(TVIVibrancyUtilsTest, DarkModeOnlyForTheDarkStyle)
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.removeObjectForKey("AppleInterfaceStyle");
    EXPECT_EQ(TVIVibrancyUtils::getAppleInterfaceStyle(), std::nullopt);
    EXPECT_FALSE(TVIVibrancyUtils::isDarkMode());

    defaults.setString("Dark", "AppleInterfaceStyle");
    EXPECT_EQ(TVIVibrancyUtils::getAppleInterfaceStyle(), "Dark");
    EXPECT_TRUE(TVIVibrancyUtils::isDarkMode());

    for (const char* style : {"Light", "", "dark"}) {
        defaults.setString(style, "AppleInterfaceStyle");
        EXPECT_FALSE(TVIVibrancyUtils::isDarkMode()) << style;
    }
    defaults.setInteger(1, "AppleInterfaceStyle"); // not a text: no style
    EXPECT_EQ(TVIVibrancyUtils::getAppleInterfaceStyle(), std::nullopt);
    EXPECT_FALSE(TVIVibrancyUtils::isDarkMode());
    EXPECT_TRUE(TVIVibrancyUtils::systemSupportsVibrancy());
}

}
}
