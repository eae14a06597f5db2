#pragma once

#include "platform/Contacts.h"
#include "platform/ContactsChangeObservers.h"

#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tvi {

// The address book as vCard files: a folder of .vcf files in the vdir layout that vdirsyncer
// and khard keep (the folder itself and the collection folders right inside it), or one
// exported .vcf file. A thread of its own follows changes with inotify and reads again once
// the files have been quiet for a moment.
class VCardContacts : public Contacts {
public:
    // $XDG_DATA_HOME/contacts (default ~/.local/share/contacts), created empty when missing.
    static std::string defaultSource();

    explicit VCardContacts(std::string source);
    ~VCardContacts() override;
    VCardContacts(const VCardContacts&) = delete;
    VCardContacts& operator=(const VCardContacts&) = delete;

    std::vector<Contact> contacts() const override;
    std::string source() const override;
    void setSource(const std::string& path) override;
    void addChangeObserver(const void* owner, ChangeHandler handler) override;
    void removeChangeObservers(const void* owner) override;

    // The contacts of a folder or file, sorted by name (no watching; the reading thread's work).
    static std::vector<Contact> readSource(const std::string& path);

private:
    void run();
    void reload();
    void watch(int inotify, std::vector<int>& watches) const;
    void notify();

    mutable std::mutex mutex_;
    std::string source_;
    std::vector<Contact> contacts_;
    ContactsChangeObservers observers_;
    int inotify_ = -1;
    std::vector<int> watches_; // the reading thread's once it runs
    int wake_ = -1; // eventfd: a new source, or the end
    bool stopping_ = false;
    std::thread thread_;
};

}
