#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// One release announced by an appcast.
struct SUAppcastItem {
    std::string title;
    // The machine version ("sparkle:version"), compared with the bundle's CFBundleVersion.
    std::string versionString;
    // The version shown to people ("sparkle:shortVersionString").
    std::string displayVersionString;
    // Where the release can be downloaded (the enclosure's "url").
    std::string fileURL;

    // The version to show: the display version, else the machine version.
    const std::string& displayVersion() const;
};

// Reads an appcast: an RSS feed whose <item>s announce releases. An item's versions come
// from the attributes "sparkle:version" and "sparkle:shortVersionString" of its <enclosure>,
// or from <sparkle:version> and <sparkle:shortVersionString> elements within the item;
// items naming neither version are skipped. The reader is deliberately small and
// forgiving about everything but truncation: it needs no valid XML, only markup that
// is complete (every tag, comment and CDATA section closed, the channel or rss element
// ended), so that a half-downloaded feed is never taken for a complete one.
class SUAppcast {
public:
    SUAppcast() = delete;

    // The items that name a version, in feed order; nullopt when the text is no complete
    // RSS document.
    static std::optional<std::vector<SUAppcastItem>> parseAppcast(std::string_view xml);
    // The item with the highest version (machine versions preferred, as the comparator
    // orders them; the first of equal ones); nullopt for no items.
    static std::optional<SUAppcastItem> newestItem(const std::vector<SUAppcastItem>& items);
};

}
