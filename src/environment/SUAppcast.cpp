#include "environment/SUAppcast.h"

#include "environment/SUStandardVersionComparator.h"

#include <cstdint>

namespace tvi {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n";

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kWhiteSpace);
    return std::string(text.substr(first, last - first + 1));
}

void appendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// "#38" or "#x26" -> the character; nullopt for anything that is no valid character.
std::optional<std::uint32_t> numericReference(std::string_view body)
{
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t code = 0;
    for (char c : digits) {
        int value;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (hex && c >= 'a' && c <= 'f') value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') value = c - 'A' + 10;
        else return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    return code;
}

// Replaces the five predefined entities and character references; anything else stays as written.
std::string decodeEntities(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 12) {
            out += text[i++];
            continue;
        }
        const std::string_view body = text.substr(i + 1, semicolon - i - 1);
        if (body == "amp") out += '&';
        else if (body == "lt") out += '<';
        else if (body == "gt") out += '>';
        else if (body == "quot") out += '"';
        else if (body == "apos") out += '\'';
        else if (auto code = numericReference(body)) appendUtf8(out, *code);
        else out.append(text.substr(i, semicolon - i + 1));
        i = semicolon + 1;
    }
    return out;
}

struct Tag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    bool closing = false;
    bool selfClosing = false;

    std::string attribute(std::string_view key) const
    {
        for (const auto& [name, value] : attributes)
            if (name == key) return value;
        return {};
    }
};

bool isNameEnd(char c) { return kWhiteSpace.find(c) != std::string_view::npos || c == '=' || c == '/' || c == '>'; }

// The inside of "<...>", without the angle brackets. False for an unterminated attribute value.
bool parseTag(std::string_view inside, Tag& tag)
{
    std::size_t i = 0;
    if (i < inside.size() && inside[i] == '/') {
        tag.closing = true;
        ++i;
    }
    if (!inside.empty() && inside.back() == '/') {
        tag.selfClosing = true;
        inside.remove_suffix(1);
    }
    const std::size_t nameStart = i;
    while (i < inside.size() && !isNameEnd(inside[i])) ++i;
    tag.name = std::string(inside.substr(nameStart, i - nameStart));
    while (i < inside.size()) {
        if (kWhiteSpace.find(inside[i]) != std::string_view::npos || inside[i] == '/') {
            ++i;
            continue;
        }
        const std::size_t keyStart = i;
        while (i < inside.size() && !isNameEnd(inside[i])) ++i;
        std::string key(inside.substr(keyStart, i - keyStart));
        while (i < inside.size() && kWhiteSpace.find(inside[i]) != std::string_view::npos) ++i;
        std::string value;
        if (i < inside.size() && inside[i] == '=') {
            ++i;
            while (i < inside.size() && kWhiteSpace.find(inside[i]) != std::string_view::npos) ++i;
            if (i < inside.size() && (inside[i] == '"' || inside[i] == '\'')) {
                const auto end = inside.find(inside[i], i + 1);
                if (end == std::string_view::npos) return false;
                value = decodeEntities(inside.substr(i + 1, end - i - 1));
                i = end + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < inside.size() && kWhiteSpace.find(inside[i]) == std::string_view::npos) ++i;
                value = decodeEntities(inside.substr(valueStart, i - valueStart));
            }
        }
        if (key.empty()) ++i; // a stray "=": step over it
        else tag.attributes.emplace_back(std::move(key), std::move(value));
    }
    return true;
}

// The end of the tag that starts at `open` ('<'), quotes respected; npos when unterminated.
std::size_t tagEnd(std::string_view xml, std::size_t open)
{
    char quote = 0;
    for (std::size_t i = open + 1; i < xml.size(); ++i) {
        const char c = xml[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// Walks the document and collects the items.
class AppcastReader {
public:
    bool read(std::string_view xml)
    {
        std::size_t i = 0;
        while (i < xml.size()) {
            const auto open = xml.find('<', i);
            text(xml.substr(i, open == std::string_view::npos ? std::string_view::npos : open - i), true);
            if (open == std::string_view::npos) break;
            const std::string_view rest = xml.substr(open);
            std::size_t next;
            if (rest.starts_with("<!--")) {
                next = skipPast(xml, open + 4, "-->");
            } else if (rest.starts_with("<![CDATA[")) {
                const auto end = xml.find("]]>", open + 9);
                if (end == std::string_view::npos) return false;
                text(xml.substr(open + 9, end - open - 9), false);
                next = end + 3;
            } else if (rest.starts_with("<?")) {
                next = skipPast(xml, open + 2, "?>");
            } else if (rest.starts_with("<!")) {
                next = skipPast(xml, open + 2, ">");
            } else {
                const auto end = tagEnd(xml, open);
                if (end == std::string_view::npos) return false;
                Tag tag;
                if (!parseTag(xml.substr(open + 1, end - open - 1), tag)) return false;
                element(tag);
                next = end + 1;
            }
            if (next == std::string_view::npos) return false;
            i = next;
        }
        // An open item or a missing channel end is a document cut short.
        return sawFeed_ && sawFeedEnd_ && !inItem_;
    }

    std::vector<SUAppcastItem> items;

private:
    static std::size_t skipPast(std::string_view xml, std::size_t from, std::string_view end)
    {
        const auto at = xml.find(end, from);
        return at == std::string_view::npos ? at : at + end.size();
    }

    void text(std::string_view raw, bool decode)
    {
        if (capture_) captured_ += decode ? decodeEntities(raw) : std::string(raw);
    }

    void element(const Tag& tag)
    {
        if (tag.name == "rss" || tag.name == "channel") {
            if (tag.closing) sawFeedEnd_ = sawFeed_;
            else sawFeed_ = true;
            return;
        }
        if (tag.name == "item") {
            if (inItem_) finishItem(); // an item left open: the next one ends it
            if (!tag.closing && !tag.selfClosing) {
                inItem_ = true;
                item_ = {};
            }
            return;
        }
        if (!inItem_) return;
        if (tag.name == "enclosure" && !tag.closing) {
            fillIfEmpty(item_.fileURL, tag.attribute("url"));
            fillIfEmpty(item_.versionString, tag.attribute("sparkle:version"));
            fillIfEmpty(item_.displayVersionString, tag.attribute("sparkle:shortVersionString"));
            return;
        }
        std::string* field = fieldFor(tag.name);
        if (!field) return;
        if (tag.closing) {
            if (capture_ == field) fillIfEmpty(*field, captured_);
            capture_ = nullptr;
        } else if (!tag.selfClosing) {
            capture_ = field;
            captured_.clear();
        }
    }

    std::string* fieldFor(const std::string& name)
    {
        if (name == "sparkle:version") return &item_.versionString;
        if (name == "sparkle:shortVersionString") return &item_.displayVersionString;
        if (name == "title") return &item_.title;
        return nullptr;
    }

    static void fillIfEmpty(std::string& field, std::string_view value)
    {
        if (field.empty()) field = trimmed(value);
    }

    void finishItem()
    {
        if (!item_.versionString.empty() || !item_.displayVersionString.empty()) items.push_back(item_);
        inItem_ = false;
        capture_ = nullptr;
    }

    SUAppcastItem item_;
    bool inItem_ = false;
    std::string* capture_ = nullptr;
    std::string captured_;
    bool sawFeed_ = false;
    bool sawFeedEnd_ = false;
};

}

const std::string& SUAppcastItem::displayVersion() const
{
    return displayVersionString.empty() ? versionString : displayVersionString;
}

std::optional<std::vector<SUAppcastItem>> SUAppcast::parseAppcast(std::string_view xml)
{
    AppcastReader reader;
    if (!reader.read(xml)) return std::nullopt;
    return std::move(reader.items);
}

std::optional<SUAppcastItem> SUAppcast::newestItem(const std::vector<SUAppcastItem>& items)
{
    const SUAppcastItem* newest = nullptr;
    for (const auto& item : items) {
        if (!newest) {
            newest = &item;
            continue;
        }
        const bool machine = !item.versionString.empty() && !newest->versionString.empty();
        const auto order = SUStandardVersionComparator::defaultComparator().compareVersion(
            machine ? item.versionString : item.displayVersion(),
            machine ? newest->versionString : newest->displayVersion());
        if (order == ComparisonResult::OrderedDescending) newest = &item;
    }
    if (!newest) return std::nullopt;
    return *newest;
}

}
