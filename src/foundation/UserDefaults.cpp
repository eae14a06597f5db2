#include "foundation/UserDefaults.h"

#include "foundation/ProblemReporter.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/StandardFolders.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace tvi {

namespace {

namespace fs = std::filesystem;

const char* const newValueKey = "new";

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

std::string folderOf(const std::string& path)
{
    return fs::path(path).parent_path().string();
}

}

UserDefaults::UserDefaults(std::string domainName, std::string filePath)
    : domainName_(std::move(domainName)),
      filePath_(filePath.empty() ? StandardFolders::userPreferences() + "/" + domainName_ + ".plist"
                                 : std::move(filePath))
{
    load();
}

UserDefaults::~UserDefaults()
{
    bool unsaved = false;
    {
        std::lock_guard lock(mutex_);
        unsaved = generation_ != savedGeneration_;
    }
    if (unsaved) synchronize();
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults("com.orvella.Telvora");
    return defaults;
}

void UserDefaults::load()
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(filePath_, ec))) return;
    const auto stored = PropertyListSerialization::propertyListWithContentsOfFile(filePath_);
    if (stored && stored->is<PlistDictionary>()) {
        persistent_ = *stored->get<PlistDictionary>();
        domainExists_ = true;
        return;
    }
    moveAside(stored ? "holds no dictionary" : "cannot be read as a property list");
}

// Keeps the unreadable file for inspection and starts empty; should the move fail, the
// store refuses to write rather than destroy what the file holds.
void UserDefaults::moveAside(const std::string& reason)
{
    std::string aside = filePath_ + ".corrupt-" + timestamp();
    std::error_code ec;
    for (int n = 1; fs::exists(fs::symlink_status(aside, ec)); ++n)
        aside = filePath_ + ".corrupt-" + timestamp() + "-" + std::to_string(n);
    fs::rename(filePath_, aside, ec);
    if (ec) writeBlocked_ = true;
    if (ec)
        TVI_REPORT_PROBLEM("%@: %@ %@ and could not be moved aside (%@); changes will not be saved", filePath_, reason,
                           ec.message());
    else
        TVI_REPORT_PROBLEM("%@: %@ %@; moved aside to %@, starting empty", filePath_, reason, aside);
}

void UserDefaults::registerDefaults(const PlistDictionary& defaults)
{
    std::vector<std::pair<std::string, PlistValue>> changes;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : defaults) {
            if (!PropertyListSerialization::isValidPropertyList(value)) continue;
            const PlistValue before = effectiveValue(key);
            registered_.insert_or_assign(key, value);
            if (!persistent_.contains(key) && !(before == value)) changes.emplace_back(key, value);
        }
    }
    for (const auto& [key, value] : changes) keyObservers_.post(key, nullptr, PlistDictionary{{newValueKey, value}});
    if (!changes.empty()) postDidChange();
}

PlistValue UserDefaults::effectiveValue(const std::string& key) const
{
    if (const auto it = persistent_.find(key); it != persistent_.end()) return it->second;
    if (const auto it = registered_.find(key); it != registered_.end()) return it->second;
    return {};
}

PlistValue UserDefaults::objectForKey(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    return effectiveValue(key);
}

bool UserDefaults::boolForKey(const std::string& key) const
{
    return objectForKey(key).boolValue();
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const
{
    return objectForKey(key).integerValue();
}

double UserDefaults::doubleForKey(const std::string& key) const
{
    return objectForKey(key).doubleValue();
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const
{
    return objectForKey(key).stringValue();
}

std::optional<PlistData> UserDefaults::dataForKey(const std::string& key) const
{
    const PlistValue value = objectForKey(key);
    if (const auto* data = value.get<PlistData>()) return *data;
    return std::nullopt;
}

void UserDefaults::setObject(const PlistValue& value, const std::string& key)
{
    if (value.isAbsent()) return removeObjectForKey(key);
    if (!PropertyListSerialization::isValidPropertyList(value)) {
        TVI_REPORT_PROBLEM("%@: refused a value for key %@ that a property list cannot hold", key);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        persistent_.insert_or_assign(key, value);
        domainExists_ = true;
        ++generation_;
    }
    changed(key, value);
}

void UserDefaults::setBool(bool value, const std::string& key)
{
    setObject(PlistValue(value), key);
}

void UserDefaults::setInteger(std::int64_t value, const std::string& key)
{
    setObject(PlistValue(value), key);
}

void UserDefaults::setDouble(double value, const std::string& key)
{
    setObject(PlistValue(value), key);
}

void UserDefaults::setString(const std::string& value, const std::string& key)
{
    setObject(PlistValue(value), key);
}

void UserDefaults::setData(const PlistData& value, const std::string& key)
{
    setObject(PlistValue(value), key);
}

void UserDefaults::removeObjectForKey(const std::string& key)
{
    PlistValue now;
    {
        std::lock_guard lock(mutex_);
        if (persistent_.erase(key) == 0) return;
        ++generation_;
        now = effectiveValue(key);
    }
    changed(key, now);
}

void UserDefaults::changed(const std::string& key, const PlistValue& newValue)
{
    PlistDictionary info;
    if (!newValue.isAbsent()) info.emplace(newValueKey, newValue);
    keyObservers_.post(key, nullptr, std::move(info));
    postDidChange();
}

void UserDefaults::postDidChange()
{
    NotificationCenter::defaultCenter().post(didChangeNotification, this);
}

bool UserDefaults::synchronize()
{
    std::lock_guard writing(writeMutex_);
    PlistDictionary snapshot;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (writeBlocked_) return false;
        // Every writer synchronises at once; most calls find nothing new to write.
        if (domainExists_ && savedGeneration_ == generation_) return true;
        snapshot = persistent_;
        generation = generation_;
    }
    StandardFolders::createDirectory(folderOf(filePath_), nullptr);
    if (!PropertyListSerialization::writePropertyListToFile(PlistValue(std::move(snapshot)), filePath_,
                                                            PropertyListSerialization::Format::Binary))
        return false;
    std::lock_guard lock(mutex_);
    savedGeneration_ = generation;
    domainExists_ = true;
    return true;
}

std::optional<PlistDictionary> UserDefaults::persistentDomainForName(const std::string& name) const
{
    if (name == domainName_) {
        std::lock_guard lock(mutex_);
        if (!domainExists_) return std::nullopt;
        return persistent_;
    }
    const auto stored =
        PropertyListSerialization::propertyListWithContentsOfFile(folderOf(filePath_) + "/" + name + ".plist");
    if (!stored || !stored->is<PlistDictionary>()) return std::nullopt;
    return *stored->get<PlistDictionary>();
}

PlistDictionary UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    PlistDictionary merged = registered_;
    for (const auto& [key, value] : persistent_) merged.insert_or_assign(key, value);
    return merged;
}

UserDefaults::ObserverToken UserDefaults::addObserver(const std::string& key, ValueHandler handler,
                                                      const void* owner)
{
    if (!handler || key.empty()) return 0;
    return keyObservers_.addObserver(
        key, nullptr,
        [handler = std::move(handler)](const Notification& notification) {
            const auto it = notification.userInfo.find(newValueKey);
            handler(it == notification.userInfo.end() ? PlistValue() : it->second);
        },
        owner);
}

void UserDefaults::removeObserver(ObserverToken token)
{
    keyObservers_.removeObserver(token);
}

void UserDefaults::removeObserversForOwner(const void* owner)
{
    keyObservers_.removeObserversForOwner(owner);
}

}
