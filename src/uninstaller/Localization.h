#pragma once

// The uninstaller's string table (English): key → text; the fallback when a key has none.
#include <string>

namespace sarnex {

class Localization {
public:
    Localization() = delete;
    static std::string localizedString(const std::string& key, const std::string& fallback);
};

}
