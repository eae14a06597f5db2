#include "Localization.h"

#include <map>

namespace sarnex {

std::string Localization::localizedString(const std::string& key, const std::string& fallback)
{
    static const std::map<std::string, std::string> english = {
        {"Remove Sarnex",
         "Sarnex Uninstall removes Telvora from this computer: the application (you will be asked for an "
         "administrator password), its companions, its settings and its logs. Click Continue to remove it."},
    };
    const auto found = english.find(key);
    return found == english.end() ? fallback : found->second;
}

}
