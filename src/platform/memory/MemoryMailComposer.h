#pragma once

#include "platform/MailComposer.h"
#include "platform/memory/MailComposerTestInterface.h"

#include <mutex>

namespace tvi {

// A mail road that only records: every message is kept, and answered with the outcome set
// (sent, at first).
class MemoryMailComposer : public MailComposer, public MailComposerTestInterface {
public:
    MemoryMailComposer();

    MailOutcome send(const MailMessage& message) override;

    std::vector<MailMessage> sentMessages() const override;
    void setOutcome(MailOutcome outcome) override;
    void failWith(std::string description) override;
    void clear() override;

private:
    mutable std::mutex mutex_;
    std::vector<MailMessage> messages_;
    MailOutcome outcome_;
};

}
