#pragma once

// What Telvora adds to the user's desktop besides the Library: the tel:/callto: handler entry
// among the user's applications with its launcher, its default-handler registration in
// mimeapps.list, and the autostart entry of the login item. Each step logs like the Library
// steps and never reports to the user.
#include <string>

namespace sarnex {

class DesktopIntegration {
public:
    DesktopIntegration() = delete;
    static constexpr const char* kHandlerEntryId = "telvora-call-via-calvetto.desktop";

    static void UninstallLinkHandler();
    static void UnregisterLinkHandlerDefaults();
    static void UninstallAutostartEntry();

    // mimeapps.list text without kHandlerEntryId in any association; a key left without a
    // handler disappears.
    static std::string withoutHandler(const std::string& mimeapps);
};

}
