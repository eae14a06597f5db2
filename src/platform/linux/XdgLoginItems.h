#pragma once

#include "platform/LoginItems.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace tvi {

// Login items as XDG autostart entries: a desktop entry in $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart) whose Exec= starts the bundle's executable. An entry counts for a bundle
// when its program is exactly that executable and the session starts it (not Hidden, not
// switched off); entries for other paths are other items and stay untouched. Telvora's own
// entry is "com.orvella.Telvora.desktop", or "com.orvella.Telvora-2.desktop" and so on when a
// copy elsewhere already has that name.
class XdgLoginItems : public LoginItems {
public:
    // `executable`: the running executable, which the entries of its own bundle start.
    XdgLoginItems(std::filesystem::path autostartFolder, std::string executable);
    // The session's folder and the running executable.
    static std::shared_ptr<XdgLoginItems> create();
    static std::filesystem::path defaultAutostartFolder();

    bool isAvailable() const override;
    bool isLoginItem(const std::string& bundlePath) const override;
    bool addLoginItem(const std::string& bundlePath) override;
    bool removeLoginItem(const std::string& bundlePath) override;

    // The executable an entry for the bundle starts: the running one when it lies in that
    // bundle, else the bundle's executable of the same name.
    std::string executableFor(const std::string& bundlePath) const;

private:
    // Entries of the folder whose program is `executable`; active ones only when asked.
    std::vector<std::filesystem::path> entriesStarting(const std::string& executable, bool activeOnly) const;
    std::filesystem::path freeEntryPath(const std::string& executable) const;

    const std::filesystem::path folder_;
    const std::string executable_;
    mutable std::mutex mutex_;
};

}
