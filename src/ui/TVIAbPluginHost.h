#pragma once

#include "companions/abplugin/TVAbplugin.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

struct Contact;

// The host side of contact action plug-ins: loads the installed one from the user's
// "Address Book Plug-Ins" folder and calls its four operations for a contact's numbers.
class TVIAbPluginHost {
public:
    struct Functions {
        TVAbActionPropertyFunction actionProperty = nullptr;
        TVAbTitleForPersonFunction titleForPerson = nullptr;
        TVAbShouldEnableActionForPersonFunction shouldEnableActionForPerson = nullptr;
        TVAbPerformActionForPersonFunction performActionForPerson = nullptr;
    };
    struct Action {
        std::string title;
        bool enabled = false;
    };

    // $HOME/Library/Address Book Plug-Ins/com.orvella.TVAbplugin.bundle
    static std::string installedBundlePath();
    // Loads the bundle's library (named by its CFBundleExecutable); nothing when it is missing
    // or lacks one of the operations.
    static std::unique_ptr<TVIAbPluginHost> load(const std::string& bundlePath);

    explicit TVIAbPluginHost(Functions functions, void* handle = nullptr);
    ~TVIAbPluginHost();
    TVIAbPluginHost(const TVIAbPluginHost&) = delete;
    TVIAbPluginHost& operator=(const TVIAbPluginHost&) = delete;

    // The action for one number of the contact; nothing when the plug-in does not act on phones.
    std::optional<Action> actionFor(const Contact& contact, const std::string& phoneIdentifier) const;
    void perform(const Contact& contact, const std::string& phoneIdentifier) const;

private:
    Functions functions_;
    void* handle_;
};

}
