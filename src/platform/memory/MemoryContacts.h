#pragma once

#include "platform/Contacts.h"
#include "platform/ContactsChangeObservers.h"
#include "platform/memory/ContactsTestInterface.h"

#include <memory>
#include <mutex>
#include <utility>

namespace tvi {

// An address book held in memory: empty until a test fills it.
class MemoryContacts : public Contacts, public ContactsTestInterface {
public:
    std::vector<Contact> contacts() const override;
    std::string source() const override;
    void setSource(const std::string& path) override;
    void addChangeObserver(const void* owner, ChangeHandler handler) override;
    void removeChangeObservers(const void* owner) override;

    void setContacts(std::vector<Contact> contacts) override;

private:
    void changed();

    mutable std::mutex mutex_;
    std::vector<Contact> contacts_;
    std::string source_;
    ContactsChangeObservers observers_;
};

}
