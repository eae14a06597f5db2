#include "platform/memory/MemoryMailComposer.h"

namespace tvi {
MemoryMailComposer::MemoryMailComposer() : outcome_(MailOutcome::success()) {}

MailOutcome MemoryMailComposer::send(const MailMessage& message)
{
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    return outcome_;
}

std::vector<MailMessage> MemoryMailComposer::sentMessages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

void MemoryMailComposer::setOutcome(MailOutcome outcome)
{
    std::lock_guard lock(mutex_);
    outcome_ = std::move(outcome);
}

void MemoryMailComposer::failWith(std::string description)
{
    setOutcome(MailOutcome::failure(std::move(description)));
}

void MemoryMailComposer::clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
    outcome_ = MailOutcome::success();
}

}
