#pragma once

#include "foundation/PlistValue.h"

#include <string>

namespace tvi {

// The root object of a keyed archive: its class name and its encoded entries.
// Entries hold integers, booleans, reals, texts and data; texts and data are stored
// as objects of their own in the archive, the others inline.
struct ArchivedObject {
    std::string className;
    PlistDictionary entries;

    bool operator==(const ArchivedObject&) const = default;
};

}
