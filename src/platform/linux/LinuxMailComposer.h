#pragma once

#include "platform/MailComposer.h"

#include <string>

namespace tvi {

// The mail road of a Linux desktop: direct SMTP submission when a submission server is
// configured, else the user's own mail client. The server and its account are deployment
// values of the resource Submission.plist ("TVISubmissionServer", "TVISubmissionUser"); the
// user defaults keys of the same names, when present, override them (an empty server there
// turns submission off). Both are read at each send.
class LinuxMailComposer : public MailComposer {
public:
    MailOutcome send(const MailMessage& message) override;

    // The value of `key`: the user default when present, else the resource's, else "".
    static std::string configuredValue(const std::string& key);
};

}
