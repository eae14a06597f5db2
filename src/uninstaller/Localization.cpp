#include "Localization.h"

#include <map>

namespace sarnex {

std::string Localization::localizedString(const std::string& key, const std::string& fallback)
{
    static const std::map<std::string, std::string> english = {
        {"Remove Sarnex",
         "Sarnex Uninstall removes Telvora from this computer: the application (you will be asked for an "
         "administrator password), its companions, its settings and its logs. Click Continue to remove it."},
        {"Removed Sarnex",
         "Telvora has been removed from this computer: the application, its companions, its link handler and "
         "login item, its settings, its logs and its crash reports."},
        {"Sarnex Not Removed",
         "Telvora was not removed, and nothing of it was changed. Click Continue to try again, or run this command "
         "in a terminal: sudo apt purge telvora"},
        {"Sarnex Cannot Ask",
         "Telvora was not removed, and nothing of it was changed: Sarnex Uninstall cannot get administrator rights "
         "here. To remove Telvora, run this command in a terminal: sudo apt purge telvora"},
    };
    const auto found = english.find(key);
    return found == english.end() ? fallback : found->second;
}

}
