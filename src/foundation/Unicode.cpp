#include "foundation/Unicode.h"

namespace tvi {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

}

Unicode::Decoded Unicode::decode(std::string_view bytes, std::size_t at)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    // 0xC0 and 0xC1 could only start overlong forms, 0xF5 and above only values past U+10FFFF.
    const std::size_t length = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || at + length > bytes.size()) return {};
    char32_t codePoint = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return {};
        codePoint = (codePoint << 6) | (byte(at + k) & 0x3F);
    }
    static constexpr char32_t smallest[]{0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF || isHighSurrogate(codePoint) ||
        isLowSurrogate(codePoint))
        return {};
    return {codePoint, length};
}

void Unicode::appendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string Unicode::utf16ToUtf8(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            appendUtf8(out, joinSurrogates(unit, units[i + 1]));
            ++i;
        } else {
            appendUtf8(out, unit); // a lone surrogate turns into U+FFFD here
        }
    }
    return out;
}

std::string Unicode::sanitizeUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    forEachCharacter(bytes, [&](const Decoded& d, std::string_view raw) {
        if (d.codePoint) out.append(raw);
        else appendUtf8(out, kReplacement);
    });
    return out;
}

bool Unicode::isValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const Decoded d = decode(bytes, i);
        if (!d.codePoint) return false;
        i += d.length;
    }
    return true;
}

std::size_t Unicode::utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    forEachCharacter(utf8, [&](const Decoded& d, std::string_view) { units += d.codePoint && *d.codePoint > 0xFFFF ? 2 : 1; });
    return units;
}

bool Unicode::isWhiteSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool Unicode::isBlank(std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const Decoded d = decode(utf8, i);
        if (!d.codePoint || !isWhiteSpace(*d.codePoint)) return false;
        i += d.length;
    }
    return true;
}

}
