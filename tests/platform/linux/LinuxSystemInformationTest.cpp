// The system version from os-release and dark mode from the GTK theme, as pure readings of texts.
#include "platform/linux/GtkThemeSettings.h"
#include "platform/linux/LinuxSystemInformation.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

std::optional<OperatingSystemVersion> versionOf(const std::string& text)
{
    return LinuxSystemInformation::versionFromOsRelease(text);
}

TEST(LinuxSystemInformationTest, VersionIsVersionIdWithMissingPartsZero)
{
    EXPECT_EQ(versionOf("PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
                        "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n"),
              (OperatingSystemVersion{12, 0, 0}));
    EXPECT_EQ(versionOf("VERSION_ID=22.04\n"), (OperatingSystemVersion{22, 4, 0}));
    EXPECT_EQ(versionOf("VERSION_ID='3.18.4'\r\n"), (OperatingSystemVersion{3, 18, 4}));
    EXPECT_EQ(versionOf("VERSION_ID=\"9.3.1.7\"\n"), (OperatingSystemVersion{9, 3, 1}));
    EXPECT_EQ(versionOf("VERSION_ID=\"3.19_alpha20231219\"\n"), (OperatingSystemVersion{3, 19, 0}));
    // Only the key itself, and the last assignment, as a shell reading the file would.
    EXPECT_EQ(versionOf("VERSION_ID=1\nVERSION_ID=2\nX_VERSION_ID=7\n"), (OperatingSystemVersion{2, 0, 0}));
}

TEST(LinuxSystemInformationTest, NoNumericVersionIdGivesNothing)
{
    EXPECT_EQ(versionOf("NAME=\"Debian GNU/Linux\"\nVERSION_CODENAME=trixie\n"), std::nullopt); // testing has none
    EXPECT_EQ(versionOf("VERSION_ID=rolling\n"), std::nullopt);
    EXPECT_EQ(versionOf("VERSION_ID=\n"), std::nullopt);
    EXPECT_EQ(versionOf(""), std::nullopt);
}

TEST(GtkThemeSettingsTest, DarkThemeNamesAndSettingsFiles)
{
    for (const char* dark : {"Adwaita-dark", "Yaru-Dark", "Adwaita:dark", " Arc-Dark "})
        EXPECT_TRUE(GtkThemeSettings::isDarkThemeName(dark)) << dark;
    for (const char* light : {"Adwaita", "", "Darkroom", "dark-Adwaita", "HighContrast"})
        EXPECT_FALSE(GtkThemeSettings::isDarkThemeName(light)) << light;

    EXPECT_EQ(GtkThemeSettings::darkFromSettingsIni("[Settings]\ngtk-application-prefer-dark-theme = 1\n"), true);
    EXPECT_EQ(GtkThemeSettings::darkFromSettingsIni("[Settings]\ngtk-theme-name=Arc-Dark\n"), true);
    EXPECT_EQ(GtkThemeSettings::darkFromSettingsIni("[Settings]\ngtk-application-prefer-dark-theme=false\n"
                                                    "gtk-theme-name=Adwaita\n"),
              false);
    EXPECT_EQ(GtkThemeSettings::darkFromSettingsIni("[Other]\ngtk-theme-name=Adwaita-dark\n"), std::nullopt);
    EXPECT_EQ(GtkThemeSettings::darkFromSettingsIni("[Settings]\ngtk-font-name=Cantarell 11\n"), std::nullopt);
}

}
}
