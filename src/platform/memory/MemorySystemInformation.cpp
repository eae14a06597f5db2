#include "platform/memory/MemorySystemInformation.h"

#include "foundation/UserDefaults.h"

namespace tvi {

MemorySystemInformation::MemorySystemInformation()
    : integers_{{"hw.memsize", 8LL << 30}, {"hw.ncpu", 4}, {"hw.cputype", 7}, {"hw.cpusubtype", 3},
                {"hw.cpufrequency", 2'400'000'000LL}, {"hw.cpu64bit_capable", 1}},
      texts_{{"hw.model", "MemoryMachine1,1"}, {"machdep.cpu.brand_string", "Memory CPU @ 2.40GHz"}}
{
}

OperatingSystemVersion MemorySystemInformation::operatingSystemVersion() const
{
    std::lock_guard lock(mutex_);
    return version_;
}

bool MemorySystemInformation::isDarkMode() const
{
    return UserDefaults::standard().stringForKey("AppleInterfaceStyle") == std::optional<std::string>("Dark");
}

void MemorySystemInformation::setOperatingSystemVersion(OperatingSystemVersion version)
{
    std::lock_guard lock(mutex_);
    version_ = version;
}

std::string MemorySystemInformation::operatingSystemVersionString() const
{
    std::lock_guard lock(mutex_);
    return versionString_;
}

std::optional<std::int64_t> MemorySystemInformation::integerValue(std::string_view name) const
{
    std::lock_guard lock(mutex_);
    auto it = integers_.find(name);
    return it == integers_.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
}

std::optional<std::size_t> MemorySystemInformation::textValueSize(std::string_view name) const
{
    std::lock_guard lock(mutex_);
    auto it = texts_.find(name);
    return it == texts_.end() ? std::nullopt : std::optional<std::size_t>(it->second.size() + 1);
}

std::optional<std::string> MemorySystemInformation::textValue(std::string_view name) const
{
    std::lock_guard lock(mutex_);
    auto it = texts_.find(name);
    if (it == texts_.end() || unreadable_.count(name)) return std::nullopt;
    return it->second;
}

void MemorySystemInformation::setOperatingSystemVersionString(std::string text)
{
    std::lock_guard lock(mutex_);
    versionString_ = std::move(text);
}

void MemorySystemInformation::setIntegerValue(std::string name, std::optional<std::int64_t> value)
{
    std::lock_guard lock(mutex_);
    if (value) integers_[name] = *value;
    else integers_.erase(name);
}

void MemorySystemInformation::setTextValue(std::string name, std::optional<std::string> value)
{
    std::lock_guard lock(mutex_);
    unreadable_.erase(name);
    if (value) texts_[name] = std::move(*value);
    else texts_.erase(name);
}

void MemorySystemInformation::setTextValueUnreadable(std::string name)
{
    std::lock_guard lock(mutex_);
    texts_.try_emplace(name, std::string());
    unreadable_.insert(std::move(name));
}

void MemorySystemInformation::clearValues()
{
    std::lock_guard lock(mutex_);
    integers_.clear();
    texts_.clear();
    unreadable_.clear();
}

}
