#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// The one place that reads and writes UTF-8. Decoding is strict (no overlong forms, no
// surrogates, nothing above U+10FFFF); whatever cannot be a character takes one byte and
// is reported as such, or becomes U+FFFD where text is made safe, so later text handling
// never meets invalid UTF-8.
class Unicode {
public:
    // One character read from UTF-8: its code point, or absent for a broken sequence,
    // which then stands for its first byte alone.
    struct Decoded {
        std::optional<char32_t> codePoint;
        std::size_t length = 1;
    };

    // The character that starts at bytes[at] (at < bytes.size()).
    static Decoded decode(std::string_view bytes, std::size_t at);
    // Calls visit(Decoded, its bytes) for every character in turn.
    template <typename Visit>
    static void forEachCharacter(std::string_view bytes, Visit&& visit)
    {
        for (std::size_t i = 0; i < bytes.size();) {
            const Decoded d = decode(bytes, i);
            visit(d, bytes.substr(i, d.length));
            i += d.length;
        }
    }

    // A surrogate or a value above U+10FFFF is written as U+FFFD.
    static void appendUtf8(std::string& out, char32_t codePoint);
    static std::string utf16ToUtf8(std::u16string_view units);
    static std::string sanitizeUtf8(std::string_view bytes);
    static bool isValidUtf8(std::string_view bytes);
    // UTF-16 code units the text takes (a broken byte counts as one, as its U+FFFD would).
    static std::size_t utf16Length(std::string_view utf8);

    // Unicode's White_Space property: the ASCII tab to carriage return, space, NEL, no-break
    // space, the Ogham space mark, the typographic spaces U+2000-U+200A, the line and
    // paragraph separators, the narrow no-break and mathematical spaces and the ideographic
    // space. Every line break is among them.
    static bool isWhiteSpace(char32_t c);
    // Empty, or white space alone. A broken sequence is something, not blank.
    static bool isBlank(std::string_view utf8);

    static bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
    static bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
    static char32_t joinSurrogates(char32_t high, char32_t low)
    {
        return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
};

}
