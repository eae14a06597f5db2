#pragma once

#include "platform/MailComposer.h"

#include <string>
#include <string_view>

namespace tvi {

// The user's own mail client, through xdg-email: the message is composed there (subject,
// body, recipient, --attach per file) and the user sends it. xdg-email has no sender option.
// Attachments reach only clients that honour them (Thunderbird and its Debian name Icedove,
// which xdg-email drives directly, Evolution and KMail, which read them from the mailto
// link); for any other client the attachments' folders are opened in the file manager beside
// the composed mail and the outcome says so.
class XdgEmailMailClient {
public:
    MailOutcome send(const MailMessage& message) const;

    // Whether the client of this desktop entry ("thunderbird.desktop") takes attachments.
    static bool clientTakesAttachments(std::string_view desktopEntry);
};

}
