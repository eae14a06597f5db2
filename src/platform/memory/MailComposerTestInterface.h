#pragma once

#include "platform/MailComposer.h"

#include <vector>

namespace tvi {

// What tests may change and look at in the in-memory mail road.
class MailComposerTestInterface {
public:
    virtual ~MailComposerTestInterface() = default;
    // Every message handed to send(), sent or not, in order.
    virtual std::vector<MailMessage> sentMessages() const = 0;
    // The outcome of the following sends; the default is a plain success.
    virtual void setOutcome(MailOutcome outcome) = 0;
    // Shorthand: the following sends fail with this description.
    virtual void failWith(std::string description) = 0;
    virtual void clear() = 0;
};

}
