#pragma once

#include <optional>
#include <string>
#include <string_view>

// The application's display name, put in place of "<AppName>" in user-visible texts.
#define TELVORA_NAME "Telvora"

namespace tvi {

// The user's language and region, and the application name in user-visible texts.
class TVILocalizationUtilities {
public:
    TVILocalizationUtilities() = delete;

    // Every "<AppName>" replaced by TELVORA_NAME.
    static std::string replaceAppNameInString(std::string_view text);
    // The localisation the main bundle uses for this user ("en", "de"): the first of its
    // .lproj folders that matches the user's languages, else its development region, else "en".
    static std::string getLanguage();
    // The country of the current locale ("DE" for de_DE.UTF-8), from LC_ALL, LC_MESSAGES or
    // LANG, the first that is set; absent when that locale names no country (C, POSIX, "en").
    static std::optional<std::string> getRegion();
};

}
