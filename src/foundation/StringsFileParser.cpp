#include "foundation/StringsFileParser.h"

#include "foundation/Unicode.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace tvi {
namespace {

std::u16string utf16Units(std::string_view bytes, bool bigEndian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        units += bigEndian ? char16_t((first << 8) | second) : char16_t((second << 8) | first);
    }
    return units;
}

bool isUnquotedChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_$+/:.-").find(c) != std::string_view::npos;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Builds a string from text and escapes; a high surrogate waits for its low half.
class StringBuilder {
public:
    void appendText(char c)
    {
        flushSurrogate();
        text_ += c;
    }
    void appendUnit(char32_t unit)
    {
        if (pendingHigh_ && Unicode::isLowSurrogate(unit)) {
            Unicode::appendUtf8(text_, Unicode::joinSurrogates(*pendingHigh_, unit));
            pendingHigh_.reset();
            return;
        }
        flushSurrogate();
        if (Unicode::isHighSurrogate(unit)) pendingHigh_ = unit;
        else Unicode::appendUtf8(text_, unit);
    }
    std::string take()
    {
        flushSurrogate();
        return std::move(text_);
    }

private:
    void flushSurrogate()
    {
        if (pendingHigh_) Unicode::appendUtf8(text_, *pendingHigh_); // lone: becomes U+FFFD
        pendingHigh_.reset();
    }
    std::string text_;
    std::optional<char32_t> pendingHigh_;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    StringsFileParser::Result run()
    {
        while (skipSpaceAndComments() && pos_ < text_.size()) {
            if (!readEntry()) break;
        }
        return std::move(result_);
    }

private:
    bool fail(const char* message)
    {
        if (result_.complete) {
            result_.complete = false;
            result_.errorLine = line_;
            result_.errorMessage = message;
        }
        return false;
    }

    char peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    bool atEnd() const { return pos_ >= text_.size(); }
    void advance()
    {
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
    }

    bool skipSpaceAndComments()
    {
        while (!atEnd()) {
            char c = peek();
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                advance();
            } else if (c == '/' && peek(1) == '/') {
                while (!atEnd() && peek() != '\n') advance();
            } else if (c == '/' && peek(1) == '*') {
                if (!skipBlockComment()) return false;
            } else {
                break;
            }
        }
        return true;
    }

    bool skipBlockComment()
    {
        advance();
        advance();
        while (!atEnd()) {
            if (peek() == '*' && peek(1) == '/') {
                advance();
                advance();
                return true;
            }
            advance();
        }
        return fail("unterminated comment");
    }

    bool readEntry()
    {
        std::optional<std::string> key = readString();
        if (!key) return false;
        if (!skipSpaceAndComments()) return false;
        std::string value = *key;
        if (peek() == '=') {
            advance();
            if (!skipSpaceAndComments()) return false;
            std::optional<std::string> read = readString();
            if (!read) return false;
            value = std::move(*read);
            if (!skipSpaceAndComments()) return false;
        }
        if (peek() != ';') return fail("expected ';'");
        advance();
        result_.entries.insert_or_assign(std::move(*key), std::move(value));
        return true;
    }

    std::optional<std::string> readString()
    {
        if (peek() == '"') return readQuoted();
        std::size_t start = pos_;
        while (!atEnd() && isUnquotedChar(peek())) advance();
        if (pos_ == start) {
            fail(atEnd() ? "unexpected end of text" : "expected a string");
            return std::nullopt;
        }
        return std::string(text_.substr(start, pos_ - start));
    }

    std::optional<std::string> readQuoted()
    {
        advance();
        StringBuilder out;
        while (!atEnd() && peek() != '"') {
            if (peek() == '\\') {
                advance();
                if (atEnd()) break;
                readEscape(out);
            } else {
                out.appendText(peek());
                advance();
            }
        }
        if (atEnd()) {
            fail("unterminated string");
            return std::nullopt;
        }
        advance();
        return out.take();
    }

    void readEscape(StringBuilder& out)
    {
        char c = peek();
        advance();
        switch (c) {
        case 'n': out.appendUnit('\n'); return;
        case 't': out.appendUnit('\t'); return;
        case 'r': out.appendUnit('\r'); return;
        case 'a': out.appendUnit('\a'); return;
        case 'b': out.appendUnit('\b'); return;
        case 'f': out.appendUnit('\f'); return;
        case 'v': out.appendUnit('\v'); return;
        case 'U': case 'u': out.appendUnit(readDigits(16, 4)); return;
        default: break;
        }
        if (c >= '0' && c <= '7') {
            --pos_; // the first digit belongs to the number
            out.appendUnit(readDigits(8, 3));
            return;
        }
        out.appendText(c); // \" \\ \' and any other character stand for themselves
    }

    char32_t readDigits(int base, int maxDigits)
    {
        char32_t value = 0;
        for (int i = 0; i < maxDigits && !atEnd(); ++i) {
            int digit = hexValue(peek());
            if (digit < 0 || digit >= base) break;
            value = value * char32_t(base) + char32_t(digit);
            advance();
        }
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    StringsFileParser::Result result_;
};

}

std::string StringsFileParser::decode(std::string_view bytes)
{
    auto byte = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100; };
    if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return Unicode::sanitizeUtf8(bytes.substr(3));
    if (byte(0) == 0xFF && byte(1) == 0xFE) return Unicode::utf16ToUtf8(utf16Units(bytes.substr(2), false));
    if (byte(0) == 0xFE && byte(1) == 0xFF) return Unicode::utf16ToUtf8(utf16Units(bytes.substr(2), true));
    if (bytes.size() >= 2 && byte(0) != 0 && byte(1) == 0) return Unicode::utf16ToUtf8(utf16Units(bytes, false));
    if (bytes.size() >= 2 && byte(0) == 0 && byte(1) != 0) return Unicode::utf16ToUtf8(utf16Units(bytes, true));
    return Unicode::sanitizeUtf8(bytes);
}

StringsFileParser::Result StringsFileParser::parse(std::string_view bytes)
{
    std::string text = decode(bytes);
    return Parser(text).run();
}

StringsFileParser::Result StringsFileParser::parseFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Result result;
        result.complete = false;
        result.errorMessage = "cannot read " + path;
        return result;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return parse(bytes);
}

}
