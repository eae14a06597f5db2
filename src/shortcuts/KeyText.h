#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tvi {

// The text handling key texts need, without a Unicode library: UTF-8 in and out.
// Case mapping covers the scripts keyboard layouts type letters of (Latin, Greek,
// Cyrillic); other characters keep their case.
class KeyText {
public:
    KeyText() = delete;

    // Whether every character is a letter, mark, number, punctuation or symbol: no
    // control, format, separator, private-use or non-character. False for broken UTF-8.
    static bool isDisplayable(std::string_view utf8);
    static std::string uppercase(std::string_view utf8);
    static std::string lowercase(std::string_view utf8);
    // Characters, not bytes; broken sequences count one per byte.
    static std::size_t characterCount(std::string_view utf8);
    static std::string fromCodePoint(char32_t codePoint);
};

}
