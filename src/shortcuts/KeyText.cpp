#include "shortcuts/KeyText.h"

#include "foundation/Unicode.h"

#include <optional>
#include <string_view>

namespace tvi {

namespace {

using Decoded = Unicode::Decoded;

bool inRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

bool isControlOrFormat(char32_t c)
{
    return c < 0x20 || inRange(c, 0x7F, 0x9F) || c == 0xAD || inRange(c, 0x600, 0x605) || c == 0x61C ||
           c == 0x6DD || c == 0x70F || c == 0x180E || inRange(c, 0x200B, 0x200F) || inRange(c, 0x202A, 0x202E) ||
           inRange(c, 0x2060, 0x2064) || inRange(c, 0x2066, 0x206F) || c == 0xFEFF || inRange(c, 0xFFF9, 0xFFFB) ||
           c == 0xE0001 || inRange(c, 0xE0020, 0xE007F);
}

bool isPrivateUseOrNonCharacter(char32_t c)
{
    return inRange(c, 0xE000, 0xF8FF) || c >= 0xF0000 || inRange(c, 0xFDD0, 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// Latin Extended-A pairs upper/lower on even/odd code points, except two runs that pair odd/even.
bool latinExtendedAUpperIsOdd(char32_t c) { return inRange(c, 0x139, 0x148) || inRange(c, 0x179, 0x17E); }

std::optional<char32_t> latinExtendedAPartner(char32_t c, bool toUpper)
{
    if (!inRange(c, 0x100, 0x17E) || inRange(c, 0x130, 0x131) || c == 0x138 || c == 0x149) return {};
    bool isUpper = ((c & 1) == 1) == latinExtendedAUpperIsOdd(c);
    if (isUpper == toUpper) return c;
    // Either way the lower-case letter follows its capital.
    return toUpper ? c - 1 : c + 1;
}

std::u32string upperOf(char32_t c)
{
    if (inRange(c, 'a', 'z')) return {c - 0x20};
    if (c == 0xDF) return U"SS";
    if (c == 0xB5) return {0x39C};
    if (inRange(c, 0xE0, 0xFE) && c != 0xF7) return {c - 0x20};
    if (c == 0xFF) return {0x178};
    if (c == 0x131) return {U'I'};
    if (c == 0x17F) return {U'S'};
    if (auto partner = latinExtendedAPartner(c, true)) return {*partner};
    if (c == 0x3C2) return {0x3A3};
    if (inRange(c, 0x3B1, 0x3CB)) return {c - 0x20};
    if (c == 0x3AC) return {0x386};
    if (inRange(c, 0x3AD, 0x3AF)) return {c - 0x25};
    if (c == 0x3CC) return {0x38C};
    if (inRange(c, 0x3CD, 0x3CE)) return {c - 0x3F};
    if (inRange(c, 0x430, 0x44F)) return {c - 0x20};
    if (inRange(c, 0x450, 0x45F)) return {c - 0x50};
    return {c};
}

char32_t lowerOf(char32_t c)
{
    if (inRange(c, 'A', 'Z')) return c + 0x20;
    if (inRange(c, 0xC0, 0xDE) && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if (c == 0x130) return U'i';
    if (auto partner = latinExtendedAPartner(c, false)) return *partner;
    if (inRange(c, 0x391, 0x3AB) && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (inRange(c, 0x388, 0x38A)) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (inRange(c, 0x38E, 0x38F)) return c + 0x3F;
    if (inRange(c, 0x410, 0x42F)) return c + 0x20;
    if (inRange(c, 0x400, 0x40F)) return c + 0x50;
    return c;
}

}

bool KeyText::isDisplayable(std::string_view utf8)
{
    bool displayable = true;
    Unicode::forEachCharacter(utf8, [&](const Decoded& d, std::string_view) {
        if (!d.codePoint) {
            displayable = false;
            return;
        }
        char32_t c = *d.codePoint;
        if (isControlOrFormat(c) || Unicode::isWhiteSpace(c) || isPrivateUseOrNonCharacter(c)) displayable = false;
    });
    return displayable;
}

std::string KeyText::uppercase(std::string_view utf8)
{
    std::string out;
    Unicode::forEachCharacter(utf8, [&](const Decoded& d, std::string_view bytes) {
        if (!d.codePoint) {
            out += bytes;
            return;
        }
        for (char32_t c : upperOf(*d.codePoint))
            Unicode::appendUtf8(out, c);
    });
    return out;
}

std::string KeyText::lowercase(std::string_view utf8)
{
    std::string out;
    Unicode::forEachCharacter(utf8, [&](const Decoded& d, std::string_view bytes) {
        if (d.codePoint)
            Unicode::appendUtf8(out, lowerOf(*d.codePoint));
        else
            out += bytes;
    });
    return out;
}

std::size_t KeyText::characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    Unicode::forEachCharacter(utf8, [&](const Decoded&, std::string_view) { ++count; });
    return count;
}

std::string KeyText::fromCodePoint(char32_t codePoint)
{
    std::string out;
    Unicode::appendUtf8(out, codePoint);
    return out;
}

}
