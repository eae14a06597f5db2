#include "update/SUInstallationHost.h"

#include "environment/DirectoryLocations.h"
#include "foundation/Bundle.h"
#include "foundation/SUStandardVersionComparator.h"

#include <filesystem>

namespace tvi {

namespace {

std::string infoString(const Bundle& bundle, const char* key)
{
    const PlistValue value = bundle.objectForInfoDictionaryKey(key);
    const std::string* text = value.get<std::string>();
    return text ? *text : std::string();
}

bool endsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The path part of an address, without query or fragment.
std::string pathOf(const std::string& url)
{
    return url.substr(0, url.find_first_of("?#"));
}

bool isArchive(const SUAppcastEnclosure& enclosure)
{
    if (enclosure.type == "application/gzip" || enclosure.type == "application/x-gzip" ||
        enclosure.type == "application/x-gtar" || enclosure.type == "application/x-compressed-tar")
        return true;
    const std::string path = pathOf(enclosure.url);
    return enclosure.type.empty() && (endsWith(path, ".tar.gz") || endsWith(path, ".tgz"));
}

bool isPackage(const SUAppcastEnclosure& enclosure)
{
    if (enclosure.type == "application/vnd.debian.binary-package" || enclosure.type == "application/x-debian-package")
        return true;
    return enclosure.type.empty() && endsWith(pathOf(enclosure.url), ".deb");
}

// A version as part of a folder name: it comes from the feed, so nothing but plain characters.
std::string safeForName(const std::string& version)
{
    std::string name;
    for (char c : version) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return name.empty() || name[0] == '.' ? "v" + name : name;
}

}

SUInstallationHost SUInstallationHost::current()
{
    const Bundle bundle = Bundle::mainBundle();
    SUInstallationHost host;
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(bundle.bundlePath(), error);
    host.bundlePath = error ? bundle.bundlePath() : canonical.string();
    host.kind = host.bundlePath == kPackageBundlePath ? Kind::Package : Kind::Bundle;
    host.bundleIdentifier = bundle.bundleIdentifier().value_or("");
    host.version = infoString(bundle, "CFBundleVersion");
    host.displayVersion = infoString(bundle, "CFBundleShortVersionString");
    if (host.displayVersion.empty()) host.displayVersion = host.version;
    host.publicKey = infoString(bundle, "SUPublicEDKey");
    const auto support = DirectoryLocations::applicationSupportDirectory();
    host.workFolder = support ? *support + "/Updates" : std::string();
    host.lockFile = support ? *support + "/Telvora.lock" : std::string();
    return host;
}

const SUAppcastEnclosure* SUInstallationHost::enclosureFor(const SUAppcastItem& item) const
{
    for (const auto& enclosure : item.enclosures)
        if (kind == Kind::Package ? isPackage(enclosure) : isArchive(enclosure)) return &enclosure;
    return nullptr;
}

const std::string& SUInstallationHost::versionOf(const SUAppcastItem& item)
{
    return item.versionString.empty() ? item.displayVersionString : item.versionString;
}

bool SUInstallationHost::isNewer(const SUAppcastItem& item) const
{
    const bool machine = !item.versionString.empty() && !version.empty();
    return SUStandardVersionComparator::defaultComparator().compareVersion(
               machine ? item.versionString : item.displayVersion(), machine ? version : displayVersion) ==
           ComparisonResult::OrderedDescending;
}

std::string SUInstallationHost::updateFolderFor(const std::string& updateVersion) const
{
    const std::filesystem::path bundle(bundlePath);
    return (bundle.parent_path() / ("." + bundle.filename().string() + "-update-" + safeForName(updateVersion))).string();
}

std::string SUInstallationHost::backupPath() const
{
    const std::filesystem::path bundle(bundlePath);
    return (bundle.parent_path() / ("." + bundle.filename().string() + "-previous-" + safeForName(version))).string();
}

}
