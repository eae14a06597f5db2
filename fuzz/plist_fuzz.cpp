// Arbitrary bytes as a property list (XML or binary), as read from the preferences
// file, Info.plist and Defaults.plist.
//
// Checked besides memory safety and undefined behaviour:
// - what is read is a valid property list (no absent values, texts valid UTF-8 without
//   NUL, dates in range), so it can always be written back;
// - written in the binary format and read again, it is the same value.
#include "foundation/PropertyListSerialization.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tvi;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "plist_fuzz: %s\n", what);
    std::abort();
}

// NaN is never equal to itself: such a value cannot be compared after the round trip.
bool holdsNaN(const PlistValue& value)
{
    if (const double* real = value.get<double>()) return std::isnan(*real);
    if (const PlistArray* array = value.get<PlistArray>())
        for (const PlistValue& element : *array)
            if (holdsNaN(element)) return true;
    if (const PlistDictionary* dictionary = value.get<PlistDictionary>())
        for (const auto& [key, element] : *dictionary)
            if (holdsNaN(element)) return true;
    return false;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto value = PropertyListSerialization::propertyListFromData(PlistData(data, data + size));
    if (!value) return 0;
    if (!PropertyListSerialization::isValidPropertyList(*value)) fail("read a value that is no valid property list");
    const PlistData written = PropertyListSerialization::dataFromPropertyList(*value, PropertyListSerialization::Format::Binary);
    if (written.empty()) fail("a value read could not be written back");
    const auto reread = PropertyListSerialization::propertyListFromData(written);
    if (!reread) fail("the written value could not be read again");
    if (!holdsNaN(*value) && !(*reread == *value)) fail("the binary round trip changed the value");
    return 0;
}
