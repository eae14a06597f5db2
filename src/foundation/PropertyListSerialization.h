#pragma once

#include "foundation/PlistValue.h"

#include <optional>
#include <string>

namespace tvi {

// Reads and writes property lists in the platform's XML and binary formats.
// Dates keep microseconds in the binary format and whole seconds in XML (as on the
// platform); they must lie within 1932-12-13 … 2069-01-19.
class PropertyListSerialization {
public:
    enum class Format { XML, Binary };

    // XML or binary, told apart by the content. Absent for anything malformed.
    static std::optional<PlistValue> propertyListFromData(const PlistData& data);
    // Empty data when the value cannot be stored (see isValidPropertyList).
    static PlistData dataFromPropertyList(const PlistValue& value, Format format);
    // False for a value holding an absent value anywhere, a text with a NUL byte or
    // invalid UTF-8, or a date out of range.
    static bool isValidPropertyList(const PlistValue& value);

    // Absent when the file cannot be read or holds no property list.
    static std::optional<PlistValue> propertyListWithContentsOfFile(const std::string& path);
    // Replaces the file atomically: a temporary file in the same folder, flushed to
    // disk, then renamed over the target. The folder must exist. False on any failure
    // (the old file then stays as it was).
    static bool writePropertyListToFile(const PlistValue& value, const std::string& path, Format format);
    // The same for bytes that are already serialised.
    static bool writeDataAtomically(const PlistData& data, const std::string& path);
};

}
