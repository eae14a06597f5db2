#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tvi {

class PlistValue;
using PlistDictionary = std::map<std::string, PlistValue>;
using PlistArray = std::vector<PlistValue>;
using PlistData = std::vector<std::uint8_t>;
using PlistDate = std::chrono::system_clock::time_point;

// Keyed-archive object reference (a CF$UID in the stored form).
struct PlistUid {
    std::uint64_t value = 0;
    bool operator==(const PlistUid&) const = default;
};

// One value of the property-list model. A default-constructed value is "absent".
class PlistValue {
public:
    using Storage = std::variant<std::monostate, PlistDictionary, PlistArray, std::string, std::int64_t, double,
                                 bool, PlistDate, PlistData, PlistUid>;

    PlistValue() = default;
    PlistValue(PlistDictionary v) : storage_(std::move(v)) {}
    PlistValue(PlistArray v) : storage_(std::move(v)) {}
    PlistValue(std::string v) : storage_(std::move(v)) {}
    PlistValue(const char* v) : storage_(std::string(v)) {}
    PlistValue(std::int64_t v) : storage_(v) {}
    PlistValue(int v) : storage_(std::int64_t(v)) {}
    PlistValue(double v) : storage_(v) {}
    PlistValue(bool v) : storage_(v) {}
    PlistValue(PlistDate v) : storage_(v) {}
    PlistValue(PlistData v) : storage_(std::move(v)) {}
    PlistValue(PlistUid v) : storage_(v) {}

    bool isAbsent() const { return std::holds_alternative<std::monostate>(storage_); }
    template <typename T> bool is() const { return std::holds_alternative<T>(storage_); }
    template <typename T> const T* get() const { return std::get_if<T>(&storage_); }
    template <typename T> T* get() { return std::get_if<T>(&storage_); }
    const Storage& storage() const { return storage_; }

    // Lenient readers as the user-defaults getters need them (absent -> false, 0, nullopt).
    bool boolValue() const;
    std::int64_t integerValue() const;
    double doubleValue() const;
    std::optional<std::string> stringValue() const;

    bool operator==(const PlistValue& other) const;

private:
    Storage storage_;
};

}
