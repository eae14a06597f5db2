#include "foundation/Bundle.h"

#include "foundation/PropertyListSerialization.h"
#include "foundation/StringsFileParser.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace tvi {

namespace fs = std::filesystem;

using StringTable = std::map<std::string, std::string>;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

PlistDictionary readInfoDictionary(const std::string& bundlePath)
{
    std::string bytes = readFile(bundlePath + "/Contents/Info.plist");
    if (bytes.empty()) return {};
    auto plist = PropertyListSerialization::propertyListFromData(PlistData(bytes.begin(), bytes.end()));
    if (!plist || !plist->is<PlistDictionary>()) return {};
    return *plist->get<PlistDictionary>();
}

std::vector<std::string> listLocalizations(const std::string& resources)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(resources, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path entry = it->path();
        if (entry.extension() == ".lproj" && it->is_directory(ec)) names.push_back(entry.stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" name no language.
std::string languageOfLocale(std::string locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    return locale == "C" || locale == "POSIX" ? std::string() : locale;
}

void appendUnique(std::vector<std::string>& list, const std::string& item)
{
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::string developmentRegion(const PlistDictionary& info)
{
    auto it = info.find("CFBundleDevelopmentRegion");
    const std::string* region = it == info.end() ? nullptr : it->second.get<std::string>();
    return region ? *region : std::string("en");
}

std::vector<std::string> choosePreferred(const std::vector<std::string>& available,
                                         const std::vector<std::string>& userLanguages, const std::string& region)
{
    auto has = [&](const std::string& name) {
        return std::find(available.begin(), available.end(), name) != available.end();
    };
    for (const std::string& language : userLanguages) {
        std::string dashed = language;
        std::replace(dashed.begin(), dashed.end(), '_', '-');
        std::string base = language.substr(0, language.find_first_of("_-"));
        for (const std::string& candidate : {language, dashed, base})
            if (!candidate.empty() && has(candidate)) return {candidate};
    }
    for (const std::string& fallback : {region, std::string("en")})
        if (has(fallback)) return {fallback};
    if (!available.empty()) return {available.front()};
    return {};
}

bool looksLikePropertyList(const std::string& bytes)
{
    if (bytes.rfind("bplist", 0) == 0) return true;
    std::size_t start = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    start = bytes.find_first_not_of(" \t\r\n", start);
    return start != std::string::npos && (bytes.compare(start, 5, "<?xml") == 0 || bytes.compare(start, 6, "<plist") == 0);
}

// A table may also be stored as an XML or binary property list of texts.
StringTable readStringTable(const std::string& path)
{
    std::string bytes = readFile(path);
    if (!looksLikePropertyList(bytes)) return StringsFileParser::parse(bytes).entries;
    StringTable table;
    auto plist = PropertyListSerialization::propertyListFromData(PlistData(bytes.begin(), bytes.end()));
    if (const PlistDictionary* dictionary = plist ? plist->get<PlistDictionary>() : nullptr) {
        for (const auto& [key, value] : *dictionary)
            if (const std::string* text = value.get<std::string>()) table.emplace(key, *text);
    }
    return table;
}

bool isPresent(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

std::mutex& mainBundleMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<Bundle>& mainBundleOverride()
{
    static std::optional<Bundle> bundle;
    return bundle;
}

}

struct Bundle::State {
    std::string path;
    std::vector<std::string> userLanguages;
    PlistDictionary info;
    std::vector<std::string> localizations;
    std::vector<std::string> preferred;
    std::vector<std::string> lookupLanguages; // preferred, development region, en

    std::mutex tablesMutex;
    std::map<std::string, std::shared_ptr<const StringTable>> tables; // "<language>/<table>"

    std::shared_ptr<const StringTable> table(const std::string& language, const std::string& name)
    {
        std::lock_guard lock(tablesMutex);
        auto& entry = tables[language + "/" + name];
        if (!entry)
            entry = std::make_shared<const StringTable>(
                readStringTable(path + "/Contents/Resources/" + language + ".lproj/" + name + ".strings"));
        return entry;
    }
};

Bundle::Bundle(std::string path) : Bundle(std::move(path), userPreferredLanguages()) {}

Bundle::Bundle(std::string path, std::vector<std::string> preferredLanguages) : state_(std::make_shared<State>())
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    state_->path = std::move(path);
    state_->userLanguages = std::move(preferredLanguages);
    state_->info = readInfoDictionary(state_->path);
    state_->localizations = listLocalizations(resourcePath());
    std::string region = developmentRegion(state_->info);
    state_->preferred = choosePreferred(state_->localizations, state_->userLanguages, region);
    for (const std::string& language : state_->preferred) appendUnique(state_->lookupLanguages, language);
    appendUnique(state_->lookupLanguages, region);
    appendUnique(state_->lookupLanguages, "en");
}

Bundle Bundle::mainBundle()
{
    std::lock_guard lock(mainBundleMutex());
    std::optional<Bundle>& bundle = mainBundleOverride();
    if (!bundle) {
        std::error_code ec;
        fs::path executable = fs::read_symlink("/proc/self/exe", ec);
        bundle.emplace(bundlePathForExecutable(ec ? std::string() : executable.string()));
    }
    return *bundle;
}

void Bundle::setMainBundle(std::optional<Bundle> bundle)
{
    std::lock_guard lock(mainBundleMutex());
    mainBundleOverride() = std::move(bundle);
}

std::string Bundle::bundlePathForExecutable(const std::string& executablePath)
{
    fs::path folder = fs::path(executablePath).parent_path();
    fs::path contents = folder.parent_path();
    fs::path app = contents.parent_path();
    if (folder.filename() == "MacOS" && contents.filename() == "Contents" && app.extension() == ".app")
        return app.string();
    return folder.string();
}

std::vector<std::string> Bundle::userPreferredLanguages()
{
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string rest = list;
        for (std::size_t start = 0; start <= rest.size();) {
            std::size_t colon = rest.find(':', start);
            appendUnique(languages, languageOfLocale(rest.substr(start, colon - start)));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value && *value) {
            appendUnique(languages, languageOfLocale(value));
            break; // the first one set is the one in force
        }
    }
    return languages;
}

const std::string& Bundle::bundlePath() const { return state_->path; }

std::string Bundle::resourcePath() const { return state_->path + "/Contents/Resources"; }

const PlistDictionary& Bundle::infoDictionary() const { return state_->info; }

std::optional<std::string> Bundle::bundleIdentifier() const
{
    PlistValue value = objectForInfoDictionaryKey("CFBundleIdentifier");
    if (const std::string* text = value.get<std::string>()) return *text;
    return std::nullopt;
}

PlistValue Bundle::objectForInfoDictionaryKey(const std::string& key) const
{
    auto it = state_->info.find(key);
    return it == state_->info.end() ? PlistValue() : it->second;
}

const std::vector<std::string>& Bundle::localizations() const { return state_->localizations; }

const std::vector<std::string>& Bundle::preferredLocalizations() const { return state_->preferred; }

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const
{
    if (name.empty()) return std::nullopt;
    std::string extension = type.rfind('.', 0) == 0 ? type.substr(1) : type;
    std::string fileName = extension.empty() ? name : name + "." + extension;
    std::string resources = resourcePath();
    if (isPresent(resources + "/" + fileName)) return resources + "/" + fileName;
    for (const std::string& language : state_->lookupLanguages) {
        std::string candidate = resources + "/" + language + ".lproj/" + fileName;
        if (isPresent(candidate)) return candidate;
    }
    return std::nullopt;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value, const std::string& table) const
{
    const std::string tableName = table.empty() ? std::string("Localizable") : table;
    for (const std::string& language : state_->lookupLanguages) {
        auto strings = state_->table(language, tableName);
        if (auto it = strings->find(key); it != strings->end()) return it->second;
    }
    return value.empty() ? key : value;
}

}
