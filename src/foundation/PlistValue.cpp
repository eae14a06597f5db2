#include "foundation/PlistValue.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tvi {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view skipLeadingSpace(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    return text.substr(i);
}

// Leading decimal integer, as the platform's string-to-integer conversion reads it:
// whitespace, optional sign, digits; anything after is ignored; overflow saturates.
std::int64_t parseLeadingInteger(std::string_view text)
{
    text = skipLeadingSpace(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1
                                         : std::uint64_t(std::numeric_limits<std::int64_t>::max());
    for (char c : text) {
        if (c < '0' || c > '9') break;
        const unsigned digit = unsigned(c - '0');
        if (magnitude > (limit - digit) / 10) return negative ? std::numeric_limits<std::int64_t>::min()
                                                              : std::numeric_limits<std::int64_t>::max();
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
    return std::int64_t(magnitude);
}

double parseLeadingDouble(std::string_view text)
{
    text = skipLeadingSpace(text);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

// "YES", "true", "1"… : the first non-blank character decides, as on the platform.
bool parseBool(std::string_view text)
{
    text = skipLeadingSpace(text);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    while (!text.empty() && text[0] == '0') text.remove_prefix(1);
    if (text.empty()) return false;
    const char c = text[0];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t saturatingInteger(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(value);
}

std::string shortestText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}

bool PlistValue::boolValue() const
{
    if (const auto* b = get<bool>()) return *b;
    if (const auto* i = get<std::int64_t>()) return *i != 0;
    if (const auto* d = get<double>()) return *d != 0.0;
    if (const auto* s = get<std::string>()) return parseBool(*s);
    return false;
}

std::int64_t PlistValue::integerValue() const
{
    if (const auto* i = get<std::int64_t>()) return *i;
    if (const auto* b = get<bool>()) return *b ? 1 : 0;
    if (const auto* d = get<double>()) return saturatingInteger(*d);
    if (const auto* s = get<std::string>()) return parseLeadingInteger(*s);
    return 0;
}

double PlistValue::doubleValue() const
{
    if (const auto* d = get<double>()) return *d;
    if (const auto* i = get<std::int64_t>()) return double(*i);
    if (const auto* b = get<bool>()) return *b ? 1.0 : 0.0;
    if (const auto* s = get<std::string>()) return parseLeadingDouble(*s);
    return 0.0;
}

std::optional<std::string> PlistValue::stringValue() const
{
    if (const auto* s = get<std::string>()) return *s;
    if (const auto* i = get<std::int64_t>()) return std::to_string(*i);
    if (const auto* b = get<bool>()) return std::string(*b ? "1" : "0");
    if (const auto* d = get<double>()) return shortestText(*d);
    return std::nullopt;
}

bool PlistValue::operator==(const PlistValue& other) const
{
    return storage_ == other.storage_;
}

}
