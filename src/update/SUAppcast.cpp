#include "update/SUAppcast.h"

#include "foundation/Format.h"
#include "foundation/SUStandardVersionComparator.h"

#include <expat.h>

#include <climits>
#include <cstring>
#include <memory>

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

// Why a version text is unfit to be one, or nullptr. Versions are compared, stored and shown,
// and end up near file names: nothing that could name a path, hide a line break or run on.
const char* unfitVersion(std::string_view version)
{
    if (version.size() > SUAppcast::kLongestVersion) return "its version is longer than 64 characters";
    if (version.find_first_of("/\\") != std::string_view::npos || version.find("..") != std::string_view::npos)
        return "its version could name a path";
    for (const char c : version)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "its version holds a control character";
    return nullptr;
}

// Collects the items from expat's events. Names are matched as written ("sparkle:version"),
// as feeds in the wild do not always declare the prefix.
class AppcastReader {
public:
    bool read(std::string_view xml, std::string& error)
    {
        if (xml.size() > static_cast<std::size_t>(INT_MAX)) {
            error = "The update feed is too large to read.";
            return false;
        }
        std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr), XML_ParserFree);
        if (!parser) {
            error = "The update feed could not be read: out of memory.";
            return false;
        }
        XML_Parser p = parser.get();
        parser_ = p;
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, &AppcastReader::onStart, &AppcastReader::onEnd);
        XML_SetCharacterDataHandler(p, &AppcastReader::onText);
        // A feed has no use for a document type: refusing it keeps entity tricks out.
        XML_SetStartDoctypeDeclHandler(p, &AppcastReader::onDoctype);
        if (XML_Parse(p, xml.data(), static_cast<int>(xml.size()), XML_TRUE) != XML_STATUS_OK) {
            error = refusal_.empty()
                        ? format("The update feed is no well-formed XML: %@ (line %lu, column %lu).",
                                 std::string(XML_ErrorString(XML_GetErrorCode(p))),
                                 static_cast<unsigned long>(XML_GetCurrentLineNumber(p)),
                                 static_cast<unsigned long>(XML_GetCurrentColumnNumber(p)))
                        : refusal_;
            return false;
        }
        if (!sawFeed_) {
            error = "The update feed is no appcast: it has no rss or channel element.";
            return false;
        }
        return true;
    }

    std::vector<SUAppcastItem> items;
    std::vector<std::string> ignored;

private:
    static void onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<AppcastReader*>(self)->start(name, attributes);
    }
    static void onEnd(void* self, const XML_Char* name) { static_cast<AppcastReader*>(self)->end(name); }
    static void onText(void* self, const XML_Char* text, int length)
    {
        auto* reader = static_cast<AppcastReader*>(self);
        if (reader->capture_) reader->captured_.append(text, static_cast<std::size_t>(length));
    }
    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        auto* reader = static_cast<AppcastReader*>(self);
        reader->refusal_ = "The update feed is refused: it carries a document type declaration.";
        XML_StopParser(reader->parser_, XML_FALSE);
    }

    static std::string_view attribute(const XML_Char** attributes, std::string_view key)
    {
        for (std::size_t i = 0; attributes[i]; i += 2)
            if (key == attributes[i]) return attributes[i + 1];
        return {};
    }

    void start(std::string_view name, const XML_Char** attributes)
    {
        ++depth_;
        if (name == "rss" || name == "channel") {
            sawFeed_ = true;
            return;
        }
        if (name == "item") {
            if (inItem_) finishItem(); // an item inside an item: the outer one ends here
            inItem_ = true;
            item_ = {};
            return;
        }
        if (!inItem_) return;
        if (name == "enclosure") {
            addEnclosure(attributes);
            fillIfEmpty(item_.fileURL, attribute(attributes, "url"));
            fillIfEmpty(item_.versionString, attribute(attributes, "sparkle:version"));
            fillIfEmpty(item_.displayVersionString, attribute(attributes, "sparkle:shortVersionString"));
            return;
        }
        if (capture_) return; // the text of a field includes that of elements within it
        if (std::string* field = fieldFor(name)) {
            capture_ = field;
            captureDepth_ = depth_;
            captured_.clear();
        }
    }

    void end(std::string_view name)
    {
        if (capture_ && depth_ == captureDepth_) {
            fillIfEmpty(*capture_, captured_);
            capture_ = nullptr;
        }
        if (name == "item" && inItem_) finishItem();
        --depth_;
    }

    std::string* fieldFor(std::string_view name)
    {
        if (name == "sparkle:version") return &item_.versionString;
        if (name == "sparkle:shortVersionString") return &item_.displayVersionString;
        if (name == "title") return &item_.title;
        if (name == "description") return &item_.releaseNotesHTML;
        if (name == "sparkle:releaseNotesLink") return &item_.releaseNotesURL;
        return nullptr;
    }

    void addEnclosure(const XML_Char** attributes)
    {
        SUAppcastEnclosure enclosure;
        enclosure.url = trimmed(attribute(attributes, "url"));
        enclosure.type = trimmed(attribute(attributes, "type"));
        enclosure.edSignature = trimmed(attribute(attributes, "sparkle:edSignature"));
        // A length that is no plain decimal number counts as not announced (and is then refused
        // where the length matters).
        const std::string length = trimmed(attribute(attributes, "length"));
        if (!length.empty() && length.size() <= 19 && length.find_first_not_of("0123456789") == std::string::npos)
            enclosure.length = std::stoull(length);
        if (!enclosure.url.empty()) item_.enclosures.push_back(std::move(enclosure));
    }

    static void fillIfEmpty(std::string& field, std::string_view value)
    {
        if (field.empty()) field = trimmed(value);
    }

    void finishItem()
    {
        ++itemNumber_;
        if (!item_.versionString.empty() || !item_.displayVersionString.empty()) {
            const char* unfit = unfitVersion(item_.versionString);
            if (!unfit) unfit = unfitVersion(item_.displayVersionString);
            // The text itself is not repeated: it is the feed's, and may carry anything.
            if (unfit) ignored.push_back(format("Item %@ of the update feed is ignored: %@.", itemNumber_, unfit));
            else items.push_back(item_);
        }
        inItem_ = false;
        capture_ = nullptr;
    }

    XML_Parser parser_ = nullptr;
    std::string refusal_;
    SUAppcastItem item_;
    bool inItem_ = false;
    std::string* capture_ = nullptr;
    std::size_t captureDepth_ = 0;
    std::size_t depth_ = 0;
    std::string captured_;
    bool sawFeed_ = false;
    std::size_t itemNumber_ = 0;
};

}

const std::string& SUAppcastItem::displayVersion() const
{
    return displayVersionString.empty() ? versionString : displayVersionString;
}

std::optional<std::vector<SUAppcastItem>> SUAppcast::parseAppcast(std::string_view xml, std::string* error,
                                                                  std::vector<std::string>* ignored)
{
    AppcastReader reader;
    std::string why;
    if (reader.read(xml, why)) {
        if (ignored) *ignored = std::move(reader.ignored);
        return std::move(reader.items);
    }
    if (error) *error = std::move(why);
    return std::nullopt;
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
