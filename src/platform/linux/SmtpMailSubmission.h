#pragma once

#include "platform/MailComposer.h"

#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// Direct submission of a message to a mail server over SMTP (libcurl): a multipart MIME
// message (the body as UTF-8 text, each attachment base64-encoded), MAIL FROM the sender and
// RCPT TO the recipient. TLS is required (STARTTLS, or smtps://) unless the server is on
// loopback. With a user name, the password comes from the secret store; when the store has
// none, the message goes without authentication (a server that needs it refuses, and that
// refusal is the outcome).
class SmtpMailSubmission {
public:
    SmtpMailSubmission(std::string serverUrl, std::string user);

    MailOutcome send(const MailMessage& message) const;

    // Whether the URL's host is this machine ("localhost", 127.0.0.0/8, [::1]).
    static bool isLoopback(std::string_view serverUrl);
    // A header value: as it is when printable ASCII, else an RFC 2047 encoded word (UTF-8, base64).
    static std::string headerText(std::string_view text);

private:
    std::string serverUrl_;
    std::string user_;
};

}
