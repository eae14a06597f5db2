#include "foundation/Format.h"

#include "foundation/Unicode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tvi {
namespace {

// A width or precision beyond this comes from a broken format or argument; C would
// try to allocate it, a log line does not need it.
constexpr int kMaxFieldWidth = 4096;

enum class Length { None, Char, Short, Long, LongLong, LongDouble };

struct ConversionSpecifier {
    bool leftAlign = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zeroPad = false;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    char conversion = 0;
    long argIndex = -1; // positional "%2$@", zero-based
};

const FormatArg& absentArg()
{
    static const FormatArg absent;
    return absent;
}

class ArgCursor {
public:
    explicit ArgCursor(const std::vector<FormatArg>& args) : args_(args) {}

    // A missing argument reads as absent: nothing out of range is ever touched.
    const FormatArg& next() { return at(next_++); }
    const FormatArg& at(std::size_t index) const { return index < args_.size() ? args_[index] : absentArg(); }

private:
    const std::vector<FormatArg>& args_;
    std::size_t next_ = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int parseNumber(std::string_view format, std::size_t& pos)
{
    long value = 0;
    while (pos < format.size() && isDigit(format[pos])) {
        value = std::min<long>(value * 10 + (format[pos] - '0'), kMaxFieldWidth);
        ++pos;
    }
    return int(value);
}

// Integer view of an argument for "*" width and precision.
long long starValue(const FormatArg& arg)
{
    const auto& v = arg.value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* u = std::get_if<std::uint64_t>(&v)) return static_cast<long long>(*u);
    if (auto* c = std::get_if<char>(&v)) return *c;
    if (auto* d = std::get_if<double>(&v)) return std::isfinite(*d) ? static_cast<long long>(*d) : 0;
    return 0;
}

void parseFlags(std::string_view format, std::size_t& pos, ConversionSpecifier& specifier)
{
    for (; pos < format.size(); ++pos) {
        switch (format[pos]) {
        case '-': specifier.leftAlign = true; break;
        case '+': specifier.plus = true; break;
        case ' ': specifier.space = true; break;
        case '#': specifier.alternate = true; break;
        case '0': specifier.zeroPad = true; break;
        case '\'': break; // grouping: the platform's C locale has none
        default: return;
        }
    }
}

void parseWidth(std::string_view format, std::size_t& pos, ConversionSpecifier& specifier, ArgCursor& args)
{
    if (pos < format.size() && format[pos] == '*') {
        ++pos;
        long long w = starValue(args.next());
        if (w < 0) {
            specifier.leftAlign = true;
            w = -w;
        }
        specifier.width = int(std::min<long long>(w, kMaxFieldWidth));
    } else if (pos < format.size() && isDigit(format[pos])) {
        specifier.width = parseNumber(format, pos);
    }
}

void parsePrecision(std::string_view format, std::size_t& pos, ConversionSpecifier& specifier, ArgCursor& args)
{
    if (pos >= format.size() || format[pos] != '.') return;
    ++pos;
    if (pos < format.size() && format[pos] == '*') {
        ++pos;
        long long p = starValue(args.next());
        specifier.precision = p < 0 ? -1 : int(std::min<long long>(p, kMaxFieldWidth));
    } else {
        specifier.precision = parseNumber(format, pos);
    }
}

void parseLength(std::string_view format, std::size_t& pos, ConversionSpecifier& specifier)
{
    auto at = [&](std::size_t i) { return pos + i < format.size() ? format[pos + i] : '\0'; };
    switch (at(0)) {
    case 'h':
        specifier.length = at(1) == 'h' ? Length::Char : Length::Short;
        pos += at(1) == 'h' ? 2 : 1;
        break;
    case 'l':
        specifier.length = at(1) == 'l' ? Length::LongLong : Length::Long;
        pos += at(1) == 'l' ? 2 : 1;
        break;
    case 'q': case 'j': case 'z': case 't':
        specifier.length = Length::LongLong;
        ++pos;
        break;
    case 'L':
        specifier.length = Length::LongDouble;
        ++pos;
        break;
    default: break;
    }
}

// Parses one conversion after its '%'; returns false when the format ends inside it.
bool parseSpec(std::string_view format, std::size_t& pos, ConversionSpecifier& specifier, ArgCursor& args)
{
    std::size_t digitsEnd = pos;
    int position = parseNumber(format, digitsEnd);
    if (digitsEnd > pos && digitsEnd < format.size() && format[digitsEnd] == '$' && position > 0) {
        specifier.argIndex = position - 1;
        pos = digitsEnd + 1;
    }
    parseFlags(format, pos, specifier);
    parseWidth(format, pos, specifier, args);
    parsePrecision(format, pos, specifier, args);
    parseLength(format, pos, specifier);
    if (pos >= format.size()) return false;
    specifier.conversion = format[pos++];
    return true;
}

std::size_t codePointCount(std::string_view text)
{
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// Byte length of the first `count` code points, so a precision never splits a character.
std::size_t prefixBytes(std::string_view text, std::size_t count)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            if (seen == count) return i;
            ++seen;
        }
    }
    return text.size();
}

void appendPadded(std::string& out, std::string_view text, const ConversionSpecifier& specifier)
{
    if (specifier.precision >= 0) text = text.substr(0, prefixBytes(text, std::size_t(specifier.precision)));
    std::size_t length = codePointCount(text);
    std::size_t pad = specifier.width > 0 && std::size_t(specifier.width) > length ? std::size_t(specifier.width) - length : 0;
    if (!specifier.leftAlign) out.append(pad, ' ');
    out.append(text);
    if (specifier.leftAlign) out.append(pad, ' ');
}

std::string printfSpec(const ConversionSpecifier& specifier, const char* length, char conversion, bool withPrecision)
{
    std::string s = "%";
    if (specifier.leftAlign) s += '-';
    if (specifier.plus) s += '+';
    if (specifier.space) s += ' ';
    if (specifier.alternate) s += '#';
    if (specifier.zeroPad) s += '0';
    if (specifier.width >= 0) s += std::to_string(specifier.width);
    if (withPrecision && specifier.precision >= 0) s += '.' + std::to_string(specifier.precision);
    s += length;
    s += conversion;
    return s;
}

template <typename T>
void appendPrintf(std::string& out, const std::string& cspec, T value)
{
    int size = std::snprintf(nullptr, 0, cspec.c_str(), value);
    if (size <= 0) return;
    std::string buffer(std::size_t(size) + 1, '\0');
    std::snprintf(buffer.data(), buffer.size(), cspec.c_str(), value);
    buffer.resize(std::size_t(size));
    out += buffer;
}

// A double as the platform's number description prints it: the shortest digits that
// read back to the same value, in %g layout (fixed from 1e-4 up to 1e17).
std::string numberDescription(double value)
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, std::size_t(result.ptr - buffer));
    std::string sign;
    if (text.front() == '-') {
        sign = "-";
        text.remove_prefix(1);
    }
    std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    int exponent = std::stoi(std::string(text.substr(e + 1)));
    if (exponent < -4 || exponent >= 17) {
        std::string mantissa = digits.substr(0, 1);
        if (digits.size() > 1) mantissa += '.' + digits.substr(1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return sign + mantissa + exp;
    }
    if (exponent < 0) return sign + "0." + std::string(std::size_t(-exponent - 1), '0') + digits;
    std::size_t intDigits = std::size_t(exponent) + 1;
    if (digits.size() <= intDigits) return sign + digits + std::string(intDigits - digits.size(), '0');
    return sign + digits.substr(0, intDigits) + '.' + digits.substr(intDigits);
}

// The text "%@" prints for an argument; an absent one prints "(null)".
std::string objectDescription(const FormatArg& arg)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) return "(null)";
            else if constexpr (std::is_same_v<T, std::string>) return v;
            else if constexpr (std::is_same_v<T, char>) return std::string(1, v);
            else if constexpr (std::is_same_v<T, double>) return numberDescription(v);
            else return std::to_string(v);
        },
        arg.value());
}

std::int64_t saturate(double d)
{
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(d);
}

// The 64 bits an integer conversion reads; an absent argument reads as 0 (nil).
std::uint64_t integerBits(const FormatArg& arg)
{
    const auto& v = arg.value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::uint64_t(*i);
    if (auto* u = std::get_if<std::uint64_t>(&v)) return *u;
    if (auto* c = std::get_if<char>(&v)) return std::uint64_t(std::int64_t(static_cast<signed char>(*c)));
    if (auto* d = std::get_if<double>(&v)) return std::uint64_t(saturate(*d));
    return 0;
}

// Truncates like C's length modifiers: an int is 32 bits, %h 16, %hh 8.
long long truncatedSigned(std::uint64_t bits, Length length)
{
    switch (length) {
    case Length::Char: return static_cast<signed char>(static_cast<unsigned char>(bits));
    case Length::Short: return static_cast<short>(static_cast<unsigned short>(bits));
    case Length::None: return static_cast<int>(static_cast<unsigned int>(bits));
    default: return static_cast<long long>(bits);
    }
}

unsigned long long truncatedUnsigned(std::uint64_t bits, Length length)
{
    switch (length) {
    case Length::Char: return static_cast<unsigned char>(bits);
    case Length::Short: return static_cast<unsigned short>(bits);
    case Length::None: return static_cast<unsigned int>(bits);
    default: return bits;
    }
}

double floatingValue(const FormatArg& arg)
{
    const auto& v = arg.value();
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* i = std::get_if<std::int64_t>(&v)) return double(*i);
    if (auto* u = std::get_if<std::uint64_t>(&v)) return double(*u);
    if (auto* c = std::get_if<char>(&v)) return double(*c);
    return 0;
}

bool isText(const FormatArg& arg) { return std::holds_alternative<std::string>(arg.value()); }

// A text handed to a number conversion is a caller's slip; it is shown (width kept) rather than garbage.
void appendMisplacedText(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    ConversionSpecifier text;
    text.leftAlign = specifier.leftAlign;
    text.width = specifier.width;
    appendPadded(out, objectDescription(arg), text);
}

void appendInteger(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    if (isText(arg)) return appendMisplacedText(out, specifier, arg);
    std::uint64_t bits = integerBits(arg);
    char c = specifier.conversion;
    Length length = specifier.length;
    if (c == 'D' || c == 'U' || c == 'O') {
        length = Length::LongLong;
        c = char(c - 'A' + 'a');
    }
    if (c == 'd' || c == 'i')
        appendPrintf(out, printfSpec(specifier, "ll", 'd', true), truncatedSigned(bits, length));
    else
        appendPrintf(out, printfSpec(specifier, "ll", c, true), truncatedUnsigned(bits, length));
}

void appendCharacter(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    std::string text;
    const auto& v = arg.value();
    bool wide = specifier.conversion == 'C' || specifier.length == Length::Long;
    if (auto* s = std::get_if<std::string>(&v)) text = s->substr(0, prefixBytes(*s, 1));
    else if (auto* c = std::get_if<char>(&v)) text = std::string(1, *c);
    else if (!std::holds_alternative<std::monostate>(v)) {
        std::uint64_t bits = integerBits(arg);
        if (wide) Unicode::appendUtf8(text, char32_t(bits & 0xFFFFFFFF));
        else if (std::uint8_t(bits) != 0) text = std::string(1, char(std::uint8_t(bits)));
    }
    ConversionSpecifier padded = specifier;
    padded.precision = -1;
    appendPadded(out, text, padded);
}

void appendFloating(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    if (isText(arg)) return appendMisplacedText(out, specifier, arg);
    appendPrintf(out, printfSpec(specifier, "", specifier.conversion, true), floatingValue(arg));
}

void appendPointer(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    ConversionSpecifier hex = specifier;
    hex.alternate = true;
    hex.conversion = 'x';
    appendPrintf(out, printfSpec(hex, "ll", 'x', true), static_cast<unsigned long long>(integerBits(arg)));
}

bool isKnownConversion(char c)
{
    return std::string_view("@sSdiuxXoDUOcCfFeEgGaApn").find(c) != std::string_view::npos;
}

void appendConversion(std::string& out, const ConversionSpecifier& specifier, const FormatArg& arg)
{
    switch (specifier.conversion) {
    case '@': case 's': case 'S': appendPadded(out, objectDescription(arg), specifier); break;
    case 'c': case 'C': appendCharacter(out, specifier, arg); break;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': appendFloating(out, specifier, arg); break;
    case 'p': appendPointer(out, specifier, arg); break;
    case 'n': break; // takes its argument but never writes through it
    default: appendInteger(out, specifier, arg); break;
    }
}

}

std::string formatArgs(std::string_view format, const std::vector<FormatArg>& args)
{
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    ArgCursor cursor(args);
    std::size_t pos = 0;
    while (pos < format.size()) {
        std::size_t percent = format.find('%', pos);
        out.append(format.substr(pos, percent - pos));
        if (percent == std::string_view::npos) break;
        std::size_t start = percent;
        pos = percent + 1;
        if (pos < format.size() && format[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        ConversionSpecifier specifier;
        if (!parseSpec(format, pos, specifier, cursor)) {
            out.append(format.substr(start)); // a format ending inside a conversion keeps its text
            break;
        }
        if (specifier.conversion == '%') {
            out += '%';
            continue;
        }
        if (!isKnownConversion(specifier.conversion)) {
            out.append(format.substr(start, pos - start)); // unknown: shown as written, takes no argument
            continue;
        }
        appendConversion(out, specifier, specifier.argIndex >= 0 ? cursor.at(std::size_t(specifier.argIndex)) : cursor.next());
    }
    return out;
}

std::string_view fileBaseName(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

}
