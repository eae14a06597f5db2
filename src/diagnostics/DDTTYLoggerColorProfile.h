#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// A colour with components 0 to 255.
struct DDColor {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const DDColor&) const = default;
};

// How the console shows colours, decided once from the environment.
enum class DDColorMode { None, Terminal16, Terminal256, XcodeColors };

// Colours for the lines matching a flag mask and context (or a tag), with the
// escape codes prepared for the console's colour mode.
class DDTTYLoggerColorProfile {
public:
    static constexpr std::int32_t kAnyContext = 2147483647;

    DDTTYLoggerColorProfile(std::optional<DDColor> foreground, std::optional<DDColor> background,
                            std::int32_t mask, std::int32_t context, DDColorMode mode);

    std::int32_t mask() const { return mask_; }
    std::int32_t context() const { return context_; }
    const std::optional<DDColor>& foreground() const { return foreground_; }
    const std::optional<DDColor>& background() const { return background_; }
    const std::string& foregroundCode() const { return foregroundCode_; }
    const std::string& backgroundCode() const { return backgroundCode_; }
    const std::string& resetCode() const { return resetCode_; }

    // Nearest entries of the terminal palettes. The 256-colour search covers
    // the fixed colour cube and grey ramp (16-255) only: the first sixteen
    // entries follow the user's terminal theme.
    static int nearest16(DDColor color);
    static int nearest256(DDColor color);

private:
    std::optional<DDColor> foreground_;
    std::optional<DDColor> background_;
    std::int32_t mask_;
    std::int32_t context_;
    std::string foregroundCode_;
    std::string backgroundCode_;
    std::string resetCode_;
};

}
