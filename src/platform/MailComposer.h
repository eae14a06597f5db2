#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tvi {

// One message handed to the mail road of this desktop. Attachments are absolute file paths.
struct MailMessage {
    std::string sender;
    std::string recipient;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;
};

struct MailOutcome {
    bool sent = false;                  // handed over for delivery (SMTP accepted it, or a mail client took it)
    std::string errorDescription;       // when not sent: what the user is told (alert "Error", informative text)
    bool attachmentsLeftToUser = false; // a mail client took the message but not the attachments
    std::string attachmentsFolder;      // then: the folder that was opened for the user beside the message

    static MailOutcome success()
    {
        MailOutcome outcome;
        outcome.sent = true;
        return outcome;
    }
    static MailOutcome failure(std::string description)
    {
        MailOutcome outcome;
        outcome.errorDescription = std::move(description);
        return outcome;
    }
};

// Threads: called on the main thread; may block up to its own time-out (about 30 s).
class MailComposer {
public:
    static constexpr const char* serviceName = "MailComposer";
    virtual ~MailComposer() = default;
    virtual MailOutcome send(const MailMessage& message) = 0;
};

}
