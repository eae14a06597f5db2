#pragma once

#include "foundation/NotificationCenter.h"
#include "foundation/PlistValue.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tvi {

// A user-defaults store: the persistent domain (kept in a binary property list) over
// the registration domain. Thread-safe. Changes are written to disk by synchronize()
// (and by the destructor when some are still unsaved); the file is replaced atomically.
// A file that cannot be read is moved aside under a timestamped name, never overwritten.
//
// After each change, the key's observers get the key's new value (absent when it has
// none) on the writing thread, then "NSUserDefaultsDidChangeNotification" is posted on
// the default centre with this store as object. No lock is held meanwhile, so observers
// may read and write defaults.
class UserDefaults {
public:
    using ValueHandler = std::function<void(const PlistValue& newValue)>;
    using ObserverToken = NotificationCenter::ObserverToken;
    static constexpr const char* didChangeNotification = "NSUserDefaultsDidChangeNotification";

    // The store of the domain, kept in filePath; an empty path means
    // "<user preferences folder>/<domainName>.plist".
    explicit UserDefaults(std::string domainName, std::string filePath = {});
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The application's store, domain "com.orvella.Telvora".
    static UserDefaults& standard();

    const std::string& domainName() const { return domainName_; }
    const std::string& filePath() const { return filePath_; }

    // Merges into the registration domain (values apply where the persistent domain has none).
    void registerDefaults(const PlistDictionary& defaults);

    PlistValue objectForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    // Texts, and numbers as text.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<PlistData> dataForKey(const std::string& key) const;

    // An absent value removes the key. A value that cannot be stored in a property list
    // (see PropertyListSerialization::isValidPropertyList) is refused and changes nothing.
    void setObject(const PlistValue& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void setInteger(std::int64_t value, const std::string& key);
    void setDouble(double value, const std::string& key);
    void setString(const std::string& value, const std::string& key);
    void setData(const PlistData& value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Writes the persistent domain now. False when it could not be written (or when an
    // unreadable file could not be moved aside, so that it is not overwritten).
    bool synchronize();

    // The stored values of a domain without registered defaults; absent when the domain
    // has never been stored. Other domains are read from the same folder.
    std::optional<PlistDictionary> persistentDomainForName(const std::string& name) const;
    // Registered defaults overlaid with the stored values.
    PlistDictionary dictionaryRepresentation() const;

    ObserverToken addObserver(const std::string& key, ValueHandler handler, const void* owner = nullptr);
    void removeObserver(ObserverToken token);
    void removeObserversForOwner(const void* owner);

private:
    void load();
    void moveAside(const std::string& reason);
    PlistValue effectiveValue(const std::string& key) const; // caller holds mutex_
    void changed(const std::string& key, const PlistValue& newValue);
    void postDidChange();

    const std::string domainName_;
    const std::string filePath_;

    mutable std::mutex mutex_;
    PlistDictionary registered_;
    PlistDictionary persistent_;
    bool domainExists_ = false;
    bool writeBlocked_ = false;
    std::uint64_t generation_ = 0;      // bumps on every change of persistent_
    std::uint64_t savedGeneration_ = 0; // generation last written to disk

    std::mutex writeMutex_; // keeps file writes in the order of their snapshots
    NotificationCenter keyObservers_;
};

}
