// The system version from os-release and dark mode from the GTK theme, as pure readings of texts.
#include "platform/linux/GtkThemeSettings.h"
#include "platform/linux/LinuxHardwareFacts.h"
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

namespace tvi {
namespace {

TEST(LinuxHardwareFactsTest, CpuinfoFieldsDmiModelsAndMachTypes)
{
    const std::string cpuinfo = "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
                                "cpu MHz\t\t: 2200.152\nflags\t\t: fpu vme lm sse\n\nprocessor\t: 1\nmodel name\t: other\n";
    EXPECT_EQ(LinuxHardwareFacts::cpuinfoField(cpuinfo, "model name"), "Intel(R) Xeon(R) CPU @ 2.20GHz");
    EXPECT_EQ(LinuxHardwareFacts::cpuinfoField(cpuinfo, "cpu MHz"), "2200.152");
    EXPECT_EQ(LinuxHardwareFacts::cpuinfoField(cpuinfo, "model"), std::nullopt); // whole field names only
    EXPECT_EQ(LinuxHardwareFacts::cpuinfoField("model name\t:\n", "model name"), std::nullopt);

    EXPECT_EQ(LinuxHardwareFacts::dmiModel("LENOVO\n", "20HRCTO1WW\n"), "LENOVO 20HRCTO1WW");
    EXPECT_EQ(LinuxHardwareFacts::dmiModel("QEMU", "QEMU Standard PC (Q35 + ICH9, 2009)"), "QEMU Standard PC (Q35 + ICH9, 2009)");
    EXPECT_EQ(LinuxHardwareFacts::dmiModel("System manufacturer", "System Product Name"), std::nullopt);
    EXPECT_EQ(LinuxHardwareFacts::dmiModel("To Be Filled By O.E.M.", "X570 Taichi"), "X570 Taichi");

    using Type = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(LinuxHardwareFacts::machTypeOfMachine("x86_64"), (Type{7, 3}));
    EXPECT_EQ(LinuxHardwareFacts::machTypeOfMachine("ppc64le"), (Type{18, 0}));
    EXPECT_EQ(LinuxHardwareFacts::machTypeOfMachine("aarch64"), (Type{0x100000c, 0}));
    EXPECT_EQ(LinuxHardwareFacts::machTypeOfMachine("riscv64"), std::nullopt);
}

}
}
