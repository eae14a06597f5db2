#pragma once

#include "foundation/PlistValue.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

// An application bundle: <path>/Contents/Info.plist, Contents/MacOS/<executable>,
// Contents/Resources with <language>.lproj folders. A cheap handle: copies share one
// read-only state, and string tables are read once, on first use, then kept.
class Bundle {
public:
    // The user's preferred languages come from LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
    explicit Bundle(std::string path);
    // The same with the user's languages given, most preferred first ("de_DE", "fr").
    Bundle(std::string path, std::vector<std::string> preferredLanguages);

    // The <Name>.app folder that holds the running executable (read from /proc/self/exe);
    // an executable outside a bundle gets its own folder, as the platform does.
    static Bundle mainBundle();
    // Makes mainBundle() answer with `bundle` (tests, tools run outside Telvora.app);
    // nullopt goes back to the executable's bundle.
    static void setMainBundle(std::optional<Bundle> bundle);
    // ".../X.app/Contents/MacOS/exe" -> ".../X.app"; anything else -> the executable's folder.
    static std::string bundlePathForExecutable(const std::string& executablePath);
    // The languages the user prefers, from the environment, most preferred first.
    static std::vector<std::string> userPreferredLanguages();

    const std::string& bundlePath() const;
    std::string resourcePath() const; // <bundle>/Contents/Resources
    // Contents/Info.plist; empty when missing or unreadable.
    const PlistDictionary& infoDictionary() const;
    std::optional<std::string> bundleIdentifier() const;
    // An absent value when the key is missing.
    PlistValue objectForInfoDictionaryKey(const std::string& key) const;
    // Names of the Resources/<name>.lproj folders, sorted.
    const std::vector<std::string>& localizations() const;
    // The localisation used for this user: one entry (the first user language the bundle
    // has, else its development region, else "en"), empty when the bundle has none.
    const std::vector<std::string>& preferredLocalizations() const;
    // Resources/<name>.<type>, then <preferred>.lproj, the development region's and
    // en.lproj. An empty type means `name` is the whole file name. nullopt when absent.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;
    // The translation of `key` in <table>.strings (default "Localizable") of the preferred
    // localisation, then of the development region and "en"; when none has it: `value`,
    // or `key` when `value` is empty.
    std::string localizedString(const std::string& key, const std::string& value = {},
                                const std::string& table = {}) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}
