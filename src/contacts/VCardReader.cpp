#include "contacts/VCardReader.h"

#include "foundation/Unicode.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace tvi {
namespace {

struct Property {
    std::string group;
    std::string name;                                 // upper case
    std::vector<std::pair<std::string, std::string>> params; // names upper case; bare 2.1 ones have no value
    std::string value;                                // raw, still encoded and escaped
};

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isQuotedPrintableLine(std::string_view line)
{
    const std::size_t colon = line.find(':');
    const std::string head = upper(line.substr(0, colon == std::string_view::npos ? line.size() : colon));
    return head.find("QUOTED-PRINTABLE") != std::string::npos;
}

// Physical lines to content lines: a line starting with a blank or tab continues the one
// before (3.0, 4.0); a quoted-printable line ending in "=" continues with the next (2.1).
std::vector<std::string> unfold(std::string_view text)
{
    std::vector<std::string> lines;
    bool softBreak = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (softBreak) {
            lines.back().append(line);
        } else if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            lines.back().append(line.substr(1));
        } else if (!line.empty()) {
            lines.emplace_back(line);
        } else {
            continue;
        }
        softBreak = !lines.back().empty() && lines.back().back() == '=' && isQuotedPrintableLine(lines.back());
        if (softBreak) lines.back().pop_back();
    }
    return lines;
}

// group.NAME;param=value;param="quoted;value":value
bool parseLine(const std::string& line, Property& property)
{
    std::size_t at = line.find_first_of(";:");
    if (at == std::string::npos) return false;
    std::string name = line.substr(0, at);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) {
        property.group = lower(name.substr(0, dot));
        name.erase(0, dot + 1);
    }
    property.name = upper(name);
    while (at < line.size() && line[at] == ';') {
        std::string param;
        bool quoted = false;
        for (++at; at < line.size() && (quoted || (line[at] != ';' && line[at] != ':')); ++at) {
            if (line[at] == '"') quoted = !quoted;
            else param.push_back(line[at]);
        }
        const std::size_t equals = param.find('=');
        if (equals == std::string::npos) property.params.emplace_back(upper(param), std::string());
        else property.params.emplace_back(upper(param.substr(0, equals)), param.substr(equals + 1));
    }
    if (at >= line.size() || line[at] != ':') return false;
    property.value = line.substr(at + 1);
    return true;
}

std::string param(const Property& property, std::string_view name)
{
    for (const auto& [key, value] : property.params)
        if (key == name) return value;
    return {};
}

bool hasBareParam(const Property& property, std::string_view name)
{
    return std::any_of(property.params.begin(), property.params.end(),
                       [&](const auto& p) { return p.first == name && p.second.empty(); });
}

// The value as UTF-8 text, with transfer encoding and charset undone (escapes still in).
std::string decodedValue(const Property& property)
{
    std::string value = property.value;
    if (upper(param(property, "ENCODING")) == "QUOTED-PRINTABLE" || hasBareParam(property, "QUOTED-PRINTABLE"))
        value = VCardReader::decodeQuotedPrintable(value);
    return VCardReader::toUtf8(value, param(property, "CHARSET"));
}

// Splits at unescaped `separator`, each part unescaped.
std::vector<std::string> splitText(std::string_view text, char separator)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            parts.back().append(text.substr(i, 2));
            ++i;
        } else if (text[i] == separator) {
            parts.emplace_back();
        } else {
            parts.back().push_back(text[i]);
        }
    }
    for (std::string& part : parts) part = VCardReader::unescapeText(part);
    return parts;
}

std::string trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// "Prefix Given Additional Family Suffix" from N's components, blanks collapsed.
std::string nameFromComponents(const std::vector<std::string>& n)
{
    std::string name;
    for (std::size_t index : {3u, 1u, 2u, 0u, 4u}) {
        if (index >= n.size()) continue;
        const std::string part = trimmed(n[index]);
        if (part.empty()) continue;
        if (!name.empty()) name.push_back(' ');
        name += part;
    }
    return name;
}

const char* const kBareTelTypes[] = {"PREF", "WORK", "HOME", "VOICE", "FAX", "MSG", "CELL", "PAGER", "BBS",
                                     "MODEM", "CAR", "ISDN", "VIDEO", "TEXT", "MAIN", "IPHONE", "OTHER"};

std::vector<std::string> telTypes(const Property& property)
{
    std::vector<std::string> types;
    auto add = [&](std::string type) {
        type = lower(trimmed(type));
        if (!type.empty() && std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
    };
    for (const auto& [key, value] : property.params) {
        if (key == "TYPE") {
            for (const std::string& type : splitText(value, ',')) add(type);
        } else if (key == "PREF") {
            add("pref");
        } else if (value.empty()) {
            for (const char* bare : kBareTelTypes)
                if (key == bare) add(key);
        }
    }
    return types;
}

// Apple's labels wrap the standard ones: "_$!<Mobile>!$_".
std::string customLabel(std::string label)
{
    if (label.size() > 8 && label.compare(0, 4, "_$!<") == 0 && label.compare(label.size() - 4, 4, ">!$_") == 0)
        label = label.substr(4, label.size() - 8);
    return label;
}

class CardBuilder {
public:
    void add(const Property& property)
    {
        const std::string& name = property.name;
        if (name == "FN") {
            fn_ = trimmed(VCardReader::unescapeText(decodedValue(property)));
        } else if (name == "N") {
            n_ = splitText(decodedValue(property), ';');
        } else if (name == "ORG") {
            org_ = trimmed(splitText(decodedValue(property), ';').front());
        } else if (name == "UID") {
            contact_.uid = trimmed(VCardReader::unescapeText(decodedValue(property)));
        } else if (name == "TEL") {
            ContactPhone phone;
            phone.value = VCardReader::unescapeText(decodedValue(property));
            if (lower(phone.value.substr(0, 4)) == "tel:") phone.value.erase(0, 4);
            phone.types = telTypes(property);
            phone.identifier = std::to_string(contact_.phones.size());
            if (!property.group.empty()) phoneGroups_[contact_.phones.size()] = property.group;
            contact_.phones.push_back(std::move(phone));
        } else if (name == "X-ABLABEL" && !property.group.empty()) {
            labels_[property.group] = customLabel(VCardReader::unescapeText(decodedValue(property)));
        }
    }

    Contact finish(std::string vcard)
    {
        for (const auto& [index, group] : phoneGroups_) {
            auto label = labels_.find(group);
            if (label == labels_.end() || label->second.empty()) continue;
            auto& types = contact_.phones[index].types;
            const std::string type = lower(label->second);
            if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
        }
        contact_.name = !fn_.empty() ? fn_ : !nameFromComponents(n_).empty() ? nameFromComponents(n_) : org_;
        contact_.vcard = std::move(vcard);
        return std::move(contact_);
    }

private:
    Contact contact_;
    std::string fn_;
    std::string org_;
    std::vector<std::string> n_;
    std::map<std::size_t, std::string> phoneGroups_;
    std::map<std::string, std::string> labels_;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// windows-1252's 0x80-0x9F; zero where it has no character (then Latin-1's control).
constexpr char16_t kWindows1252[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
                                       0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

char32_t latin9(unsigned char c)
{
    switch (c) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return c;
    }
}

}

std::string VCardReader::decodeQuotedPrintable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string VCardReader::toUtf8(std::string_view bytes, std::string_view charset)
{
    const std::string name = upper(charset);
    const bool latin = name == "ISO-8859-1" || name == "LATIN1" || name == "ISO-8859-15" || name == "WINDOWS-1252" ||
                       name == "CP1252";
    if (!latin && Unicode::isValidUtf8(bytes)) return std::string(bytes);
    if (!latin && (name.empty() || name == "UTF-8")) return Unicode::sanitizeUtf8(bytes);
    std::string out;
    for (unsigned char c : bytes) {
        char32_t code = c;
        if (name == "ISO-8859-15") code = latin9(c);
        else if (name != "ISO-8859-1" && name != "LATIN1" && c >= 0x80 && c < 0xA0 && kWindows1252[c - 0x80])
            code = kWindows1252[c - 0x80];
        Unicode::appendUtf8(out, code);
    }
    return out;
}

std::string VCardReader::unescapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        out.push_back(next == 'n' || next == 'N' ? '\n' : next);
    }
    return out;
}

std::vector<Contact> VCardReader::read(std::string_view text)
{
    std::vector<Contact> cards;
    std::vector<std::string> lines = unfold(text);
    int depth = 0; // a card inside a card (2.1's AGENT) is not one of the list's
    std::optional<CardBuilder> builder;
    std::string raw;
    for (const std::string& line : lines) {
        Property property;
        if (!parseLine(line, property)) {
            if (depth > 0) raw += line + "\r\n";
            continue;
        }
        const std::string value = upper(trimmed(property.value));
        if (property.name == "BEGIN" && value == "VCARD") {
            if (depth++ == 0) {
                builder.emplace();
                raw.clear();
            }
        } else if (property.name == "END" && value == "VCARD" && depth > 0) {
            if (--depth == 0) {
                raw += line + "\r\n";
                cards.push_back(builder->finish(Unicode::sanitizeUtf8(raw)));
                builder.reset();
                continue;
            }
        } else if (depth == 1) {
            builder->add(property);
        }
        if (depth > 0) raw += line + "\r\n";
    }
    return cards;
}

}
