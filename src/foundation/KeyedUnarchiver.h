#pragma once

#include "foundation/ArchivedObject.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// Reads a keyed archive (binary or XML) whose root is nil or one object with integer,
// boolean, real, text and data entries. Anything else is refused: isValid() false,
// no root object.
class KeyedUnarchiver {
public:
    explicit KeyedUnarchiver(const PlistData& data);

    bool isValid() const { return valid_; }
    // A well-formed archive whose root is nil.
    bool rootIsNil() const { return valid_ && !root_; }
    const std::optional<ArchivedObject>& rootObject() const { return root_; }
    const std::string& className() const;

    bool containsValueForKey(const std::string& key) const;
    // Absent or mistyped entries read as 0, false, absent.
    std::int64_t decodeIntegerForKey(const std::string& key) const;
    bool decodeBoolForKey(const std::string& key) const;
    double decodeDoubleForKey(const std::string& key) const;
    std::optional<std::string> decodeStringForKey(const std::string& key) const;
    std::optional<PlistData> decodeDataForKey(const std::string& key) const;

    // The root object; absent for a nil root or a malformed archive.
    static std::optional<ArchivedObject> unarchiveObjectWithData(const PlistData& data);

private:
    const PlistValue* entry(const std::string& key) const;

    bool valid_ = false;
    std::optional<ArchivedObject> root_;
};

}
