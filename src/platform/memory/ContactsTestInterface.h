#pragma once

#include "platform/Contacts.h"

#include <vector>

namespace tvi {

// What tests may do with the in-memory address book.
class ContactsTestInterface {
public:
    virtual ~ContactsTestInterface() = default;
    // Replaces every contact (sorted by name on the way) and tells the observers.
    virtual void setContacts(std::vector<Contact> contacts) = 0;
};

}
