#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace tvi {

// One argument of a printf-style format with the platform's "%@" object conversion.
// Null prints "(null)" under "%@" (an absent object, as the platform prints it).
class FormatArg {
public:
    using Value = std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, double, char>;

    FormatArg() = default;
    FormatArg(std::nullptr_t) {}
    FormatArg(const char* s) { if (s) value_ = std::string(s); }
    FormatArg(std::string s) : value_(std::move(s)) {}
    FormatArg(std::string_view s) : value_(std::string(s)) {}
    FormatArg(char c) : value_(c) {}
    FormatArg(bool b) : value_(std::int64_t(b ? 1 : 0)) {}
    FormatArg(double d) : value_(d) {}
    FormatArg(float d) : value_(double(d)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>, int> = 0>
    FormatArg(T v) : value_(std::int64_t(v)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>, int> = 0>
    FormatArg(T v) : value_(std::uint64_t(v)) {}
    template <typename T>
    FormatArg(const std::optional<T>& v) { if (v) *this = FormatArg(*v); }

    const Value& value() const { return value_; }

private:
    Value value_;
};

// Formats like the platform's string formatting: "%@" for objects (strings,
// numbers, absent values) and the printf conversions %d %i %u %ld %lu %hu %hhu
// %hhd %x %02ld %s %c %f %% (flags, width and precision as printf has them).
// Details callers may rely on:
// - "%@" prints a double as the platform's number description (1.5 -> "1.5", 2.0 -> "2"),
//   a bool as 1/0, a char as that character, an absent value as "(null)"; "%s" likewise.
// - Length modifiers truncate as C does: none = 32 bits, h = 16, hh = 8, l/ll/q/z = 64.
// - A missing argument reads as absent (0 for numbers, "(null)" for texts, nothing for
//   %c); extra arguments are ignored; "%n$" picks an argument by position; "*" is read
//   from the arguments. A text handed to a number conversion is printed as text.
// - Width and precision of texts count characters, so a precision never splits one.
// - An unknown conversion is copied as written and takes no argument; %n writes nothing.
std::string formatArgs(std::string_view format, const std::vector<FormatArg>& args);

template <typename... Args>
std::string format(std::string_view fmt, Args&&... args)
{
    return formatArgs(fmt, std::vector<FormatArg>{FormatArg(std::forward<Args>(args))...});
}

// "src/link/TVISocket.cpp" -> "TVISocket": the name every log line starts with.
std::string_view fileBaseName(std::string_view path);

}
