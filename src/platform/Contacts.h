#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tvi {

// One phone number of a contact, its value exactly as stored in the address book.
struct ContactPhone {
    std::string identifier; // unique within the contact ("0", "1", ... in card order)
    std::string value;
    std::vector<std::string> types; // lower case: "cell", "work", "voice", "pref", or a custom label
};

struct Contact {
    std::string uid;     // the card's UID, else its file's name without ".vcf", else its position
    std::string name;    // what the picker shows
    std::vector<ContactPhone> phones;
    std::string vcard;   // the card's text, BEGIN to END, lines unfolded, CRLF ends
    std::string path;    // the file the card came from (empty for in-memory contacts)
};

// The user's address book. Threads: contacts() from any thread; change handlers run on the
// main queue after the list has changed.
class Contacts {
public:
    static constexpr const char* serviceName = "Contacts";
    using ChangeHandler = std::function<void()>;

    virtual ~Contacts() = default;

    // Every contact, sorted by name.
    virtual std::vector<Contact> contacts() const = 0;
    // Where the address book is read from (a folder or a file; empty for in-memory ones).
    virtual std::string source() const = 0;
    // Reads from another folder or .vcf file from now on; observers hear of the change.
    virtual void setSource(const std::string& path) = 0;
    // The owner groups observations for removeChangeObservers; it is never dereferenced.
    virtual void addChangeObserver(const void* owner, ChangeHandler handler) = 0;
    virtual void removeChangeObservers(const void* owner) = 0;
};

}
