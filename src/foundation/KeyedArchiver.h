#pragma once

#include "foundation/ArchivedObject.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// Writes the platform's keyed-archive layout as a binary property list:
//   {"$version": 100000, "$archiver": "NSKeyedArchiver", "$top": {"root": UID 1},
//    "$objects": ["$null", root object, its texts and data…, class record]}
// The root object holds its entries in key order plus "$class"; the class record is
// {"$classes": [class name, "NSObject"], "$classname": class name}. Equal objects
// give identical bytes, so stored archives can be compared byte for byte.
class KeyedArchiver {
public:
    explicit KeyedArchiver(std::string className);

    void encodeInteger(std::int64_t value, const std::string& key);
    void encodeBool(bool value, const std::string& key);
    void encodeDouble(double value, const std::string& key);
    void encodeString(const std::string& value, const std::string& key);
    void encodeData(const PlistData& value, const std::string& key);

    const ArchivedObject& object() const { return object_; }
    // The archive; empty when an entry cannot be stored (a text that is not UTF-8).
    PlistData encodedData() const;

    // Absent when an entry has a type an archive cannot hold inline or as a text/data object.
    static std::optional<PlistData> archivedDataWithRootObject(const ArchivedObject& object);
    // The archive of a nil root: "$top" root is UID 0 and "$objects" is ["$null"].
    static PlistData archivedDataWithNilRoot();

private:
    ArchivedObject object_;
};

}
