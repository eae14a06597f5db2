#include "companions/TVICallText.h"

#include "foundation/Unicode.h"

#include <cctype>

namespace tvi {
namespace {

bool startsWithCaseless(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A "%" not followed by two hex digits is kept as it stands.
std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}

std::string TVICallText::numberFromDialUrl(std::string_view text)
{
    std::string_view rest;
    if (startsWithCaseless(text, "tel:")) rest = text.substr(4);
    else if (startsWithCaseless(text, "callto:")) rest = text.substr(7);
    else return std::string(text);
    if (rest.substr(0, 2) == "//") rest.remove_prefix(2);
    // Cut before decoding: an escaped ";" belongs to the number.
    if (const auto semicolon = rest.find(';'); semicolon != std::string_view::npos) rest = rest.substr(0, semicolon);
    return percentDecoded(rest);
}

bool TVICallText::isBlank(std::string_view text)
{
    return Unicode::isBlank(text);
}

std::vector<std::string> TVICallText::elementsFromArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::string> elements;
    for (const auto& argument : arguments) elements.push_back(numberFromDialUrl(argument));
    return elements;
}

std::vector<std::string> TVICallText::elementsFromLines(const std::string& lines)
{
    std::vector<std::string> elements;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        elements.push_back(lines.substr(start, end - start));
        start = end + 1;
    }
    return elements;
}

}
