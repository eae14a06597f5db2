#pragma once

#include "foundation/PlistValue.h"

#include <string>

namespace tvi {

// One posted notification. `object` identifies the sender (compared by address only,
// never dereferenced by the centre); it may be null.
struct Notification {
    std::string name;
    const void* object = nullptr;
    PlistDictionary userInfo;
};

}
