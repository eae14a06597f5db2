#include "diagnostics/DDTTYLoggerColorProfile.h"

#include <array>
#include <cstdio>
#include <limits>

namespace tvi {
namespace {

constexpr const char* kEscape = "\033[";

// xterm's default sixteen colours: 0-7 normal, 8-15 bright.
constexpr std::array<DDColor, 16> kPalette16{{
    {0, 0, 0}, {205, 0, 0}, {0, 205, 0}, {205, 205, 0}, {0, 0, 238}, {205, 0, 205}, {0, 205, 205},
    {229, 229, 229}, {127, 127, 127}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {92, 92, 255},
    {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

DDColor palette256(int index)
{
    static constexpr int kCubeLevels[6] = {0, 95, 135, 175, 215, 255};
    if (index < 16) return kPalette16[index];
    if (index < 232) {
        const int cube = index - 16;
        return DDColor{std::uint8_t(kCubeLevels[cube / 36]), std::uint8_t(kCubeLevels[(cube / 6) % 6]),
                       std::uint8_t(kCubeLevels[cube % 6])};
    }
    const auto grey = std::uint8_t(8 + 10 * (index - 232));
    return DDColor{grey, grey, grey};
}

long distance(DDColor a, DDColor b)
{
    const long dr = long(a.red) - b.red, dg = long(a.green) - b.green, db = long(a.blue) - b.blue;
    return dr * dr + dg * dg + db * db;
}

// Ties go to the lower index.
template <typename Lookup>
int nearest(DDColor color, int first, int end, Lookup lookup)
{
    int best = first;
    long bestDistance = std::numeric_limits<long>::max();
    for (int index = first; index < end; ++index) {
        const long d = distance(color, lookup(index));
        if (d < bestDistance) {
            best = index;
            bestDistance = d;
        }
    }
    return best;
}

std::string code16(int index, bool foreground)
{
    const int base = foreground ? 30 : 40;
    return std::string(kEscape) + (index >= 8 ? "1;" : "") + std::to_string(base + index % 8) + "m";
}

std::string colorCode(const std::optional<DDColor>& color, bool foreground, DDColorMode mode)
{
    if (!color) return {};
    char buffer[64];
    switch (mode) {
    case DDColorMode::Terminal16:
        return code16(DDTTYLoggerColorProfile::nearest16(*color), foreground);
    case DDColorMode::Terminal256:
        std::snprintf(buffer, sizeof buffer, foreground ? "%s38;5;%dm" : "%s48;5;%dm", kEscape,
                      DDTTYLoggerColorProfile::nearest256(*color));
        return buffer;
    case DDColorMode::XcodeColors:
        std::snprintf(buffer, sizeof buffer, foreground ? "%sfg%u,%u,%u;" : "%sbg%u,%u,%u;", kEscape,
                      unsigned(color->red), unsigned(color->green), unsigned(color->blue));
        return buffer;
    case DDColorMode::None:
        break;
    }
    return {};
}

std::string resetCodeFor(DDColorMode mode)
{
    switch (mode) {
    case DDColorMode::Terminal16:
    case DDColorMode::Terminal256:
        return "\033[0m";
    case DDColorMode::XcodeColors:
        return std::string(kEscape) + ";";
    case DDColorMode::None:
        break;
    }
    return {};
}

}

DDTTYLoggerColorProfile::DDTTYLoggerColorProfile(std::optional<DDColor> foreground, std::optional<DDColor> background,
                                                 std::int32_t mask, std::int32_t context, DDColorMode mode)
    : foreground_(foreground),
      background_(background),
      mask_(mask),
      context_(context),
      foregroundCode_(colorCode(foreground, true, mode)),
      backgroundCode_(colorCode(background, false, mode)),
      resetCode_((foreground || background) ? resetCodeFor(mode) : std::string())
{
}

int DDTTYLoggerColorProfile::nearest16(DDColor color)
{
    return nearest(color, 0, 16, [](int index) { return kPalette16[index]; });
}

int DDTTYLoggerColorProfile::nearest256(DDColor color)
{
    return nearest(color, 16, 256, palette256);
}

}
