#pragma once

#include <optional>
#include <string>

namespace tvi {

class UserDefaults;

// The preferences of Telvora's own that windows and parts read and write: each setter
// stores the value and synchronises at once.
class TVIAppPreferences {
public:
    UserDefaults& defaults() const;
    bool preferenceStartAtLogin() const;
    void setPreferenceStartAtLogin(bool enabled);
    bool preferenceEnableVibrantAppearance() const;
    void setPreferenceEnableVibrantAppearance(bool enabled);
    std::optional<std::string> lastSavedIpString() const;
    // The server address as Calvetto sent it; absent removes it.
    void setLastSavedIpString(const std::optional<std::string>& address);

private:
    void setBoolAndSynchronize(bool value, const char* key);
};

}
