#pragma once

#include <string>
#include <string_view>

namespace tvi {

// UTF-8 and UTF-16 conversions. Whatever cannot be a character (a lone surrogate, a
// broken sequence) becomes U+FFFD, so later text handling never meets invalid UTF-8.
class Unicode {
public:
    static void appendUtf8(std::string& out, char32_t codePoint);
    static std::string utf16ToUtf8(std::u16string_view units);
    static std::string sanitizeUtf8(std::string_view bytes);
    // Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
    static bool isValidUtf8(std::string_view bytes);
    static bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
    static bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
    static char32_t joinSurrogates(char32_t high, char32_t low)
    {
        return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
};

}
