#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// One download of a release: an <enclosure> of its item.
struct SUAppcastEnclosure {
    std::string url;
    std::uint64_t length = 0; // "length", in bytes; 0 when not announced
    std::string type;         // "type": application/gzip (a .tar.gz of Telvora.app) or
                              // application/vnd.debian.binary-package
    std::string edSignature;  // "sparkle:edSignature": base64 Ed25519 signature of the file
};

// One release announced by an appcast.
struct SUAppcastItem {
    std::string title;
    // The machine version ("sparkle:version"), compared with the bundle's CFBundleVersion.
    std::string versionString;
    // The version shown to people ("sparkle:shortVersionString").
    std::string displayVersionString;
    // Where the release can be downloaded (the enclosure's "url").
    std::string fileURL;
    // Every enclosure of the item, in feed order (the first gives fileURL).
    std::vector<SUAppcastEnclosure> enclosures;
    // Release notes: the HTML of <description>, or the address of <sparkle:releaseNotesLink>.
    std::string releaseNotesHTML;
    std::string releaseNotesURL;

    // The version to show: the display version, else the machine version.
    const std::string& displayVersion() const;
};

// Reads an appcast: an RSS feed whose <item>s announce releases. An item's versions come
// from the attributes "sparkle:version" and "sparkle:shortVersionString" of its <enclosure>,
// or from <sparkle:version> and <sparkle:shortVersionString> elements within the item;
// items naming neither version are skipped. The feed comes from the network, so it is read
// by expat and must be well-formed XML (UTF-8, UTF-16, ISO-8859-1 or US-ASCII) without a
// document type declaration: a half-downloaded or malformed feed is refused, never misread.
// An item whose version texts hold "/", a backslash, "..", a control character or more than
// kLongestVersion characters is ignored: no feed may make a version that names a path.
class SUAppcast {
public:
    static constexpr std::size_t kLongestVersion = 64;

    SUAppcast() = delete;

    // The items that name a version, in feed order; nullopt when the text is no well-formed
    // RSS document, with the reason (expat's message and the position) in `error` if given.
    // `ignored`, if given, gets one sentence for each item left out for its version texts.
    static std::optional<std::vector<SUAppcastItem>> parseAppcast(std::string_view xml, std::string* error = nullptr,
                                                                  std::vector<std::string>* ignored = nullptr);
    // The item with the highest version (machine versions preferred, as the comparator
    // orders them; the first of equal ones); nullopt for no items.
    static std::optional<SUAppcastItem> newestItem(const std::vector<SUAppcastItem>& items);
};

}
