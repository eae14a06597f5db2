#pragma once

#include "platform/Contacts.h"

#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// Reads the cards of a vCard text: versions 2.1, 3.0 and 4.0, folded lines, backslash
// escapes, quoted-printable values with their soft line breaks and CHARSET parameters (UTF-8,
// ISO-8859-1, ISO-8859-15 and windows-1252; other charsets are kept when they are UTF-8
// already, else read as Latin-1), TEL types from TYPE parameters, 2.1's bare parameters
// and grouped X-ABLabel labels. Every string it returns is valid UTF-8. It never throws on
// malformed input: what cannot be read is skipped.
class VCardReader {
public:
    VCardReader() = delete;

    // The cards of `text` in order; a card's uid is its UID property or empty.
    static std::vector<Contact> read(std::string_view text);

    // Helpers, public for their tests.
    static std::string decodeQuotedPrintable(std::string_view text);
    static std::string toUtf8(std::string_view bytes, std::string_view charset);
    static std::string unescapeText(std::string_view text);
};

}
