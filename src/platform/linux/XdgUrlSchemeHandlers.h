#pragma once

#include "platform/UrlSchemeHandlers.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// Link handlers of an XDG desktop. The workflow carries a desktop entry (Contents/Resources,
// *.desktop) whose MimeType= names x-scheme-handler/<scheme> types. The entry goes to
// $XDG_DATA_HOME/applications (default ~/.local/share/applications) under its file name, with
// its Exec= pointing at a launcher written to $XDG_DATA_HOME/telvora: xdg-open splits Exec= at
// every blank, quoted or not, and the action's path has blanks. For each type without a
// default handler (xdg-mime query default) the entry becomes the default (xdg-mime default);
// a default the user has is kept.
class XdgUrlSchemeHandlers : public UrlSchemeHandlers {
public:
    void serviceWorkflowInstalled(const std::string& workflowPath, const std::string& actionPath) override;

    // The entry's text with its Exec= command replaced by `command`.
    static std::string withExec(std::string_view entry, const std::string& command);
    // The types of the entry's MimeType= line.
    static std::vector<std::string> mimeTypes(std::string_view entry);
    // The launcher: a shell script that runs `executable` with its arguments.
    static std::string launcherText(const std::string& executable);

private:
    static std::optional<std::string> entryPath(const std::string& workflowPath);
    // The types whose default handler is none or already ours; the others' are logged as kept.
    static std::vector<std::string> typesWithoutOtherDefault(const std::string& entryId,
                                                             const std::vector<std::string>& types);
};

}
