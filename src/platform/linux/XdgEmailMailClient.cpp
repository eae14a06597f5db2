#include "platform/linux/XdgEmailMailClient.h"

#include "platform/linux/ChildCommand.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tvi {
namespace {

// xdg-email runs some clients in its own foreground: one still running by then took the mail.
constexpr std::chrono::seconds kClientTimeout{5};
constexpr std::chrono::seconds kQueryTimeout{3};

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string describeFailure(const ChildCommand::Result& result)
{
    if (!result.started || result.exitStatus == 127)
        return "No mail client could be started: xdg-email (xdg-utils) is not installed.";
    if (result.exitStatus == 3)
        return "No mail client is set up on this desktop. Choose a default e-mail application in the desktop's "
               "settings, then try again.";
    return "The mail client could not take the message (xdg-email exit status " +
           std::to_string(result.exitStatus.value_or(-1)) + ").";
}

}

bool XdgEmailMailClient::clientTakesAttachments(std::string_view desktopEntry)
{
    const std::string entry = lowerCase(desktopEntry);
    for (const char* client : {"thunderbird", "icedove", "evolution", "kmail"}) {
        if (entry.find(client) != std::string::npos) return true;
    }
    return false;
}

MailOutcome XdgEmailMailClient::send(const MailMessage& message) const
{
    // xdg-email refuses an option or a recipient given as "": only the fields with a value go.
    std::vector<std::string> arguments{"xdg-email", "--utf8"};
    if (!message.subject.empty()) arguments.insert(arguments.end(), {"--subject", message.subject});
    if (!message.body.empty()) arguments.insert(arguments.end(), {"--body", message.body});
    for (const std::string& path : message.attachments) arguments.insert(arguments.end(), {"--attach", path});
    if (!message.recipient.empty()) arguments.push_back(message.recipient);
    const ChildCommand::Result result = ChildCommand::run(arguments, kClientTimeout, false);
    if (!result.started || (result.exitStatus && *result.exitStatus != 0)) {
        return MailOutcome::failure(describeFailure(result));
    }
    MailOutcome outcome = MailOutcome::success();
    if (message.attachments.empty()) return outcome;

    const auto handler = ChildCommand::run({"xdg-mime", "query", "default", "x-scheme-handler/mailto"}, kQueryTimeout);
    if (clientTakesAttachments(handler.output)) return outcome;
    // Each folder once, in the order of the attachments (the report's own folder first).
    std::vector<std::string> folders;
    for (const std::string& path : message.attachments) {
        const std::string folder = std::filesystem::path(path).parent_path().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const std::string& folder : folders) ChildCommand::run({"xdg-open", folder}, kQueryTimeout, false);
    outcome.attachmentsLeftToUser = true;
    outcome.attachmentsFolder = folders.front();
    return outcome;
}

}
