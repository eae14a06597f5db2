#pragma once

#include "foundation/PlistValue.h"

#include <optional>
#include <vector>

namespace tvi {

// Turns the reports found since the last submitted problem report, and the system profile,
// into the data a problem report attaches.
class TVICrashManager {
public:
    // The system profile as an XML property list; absent when it cannot be had.
    std::optional<PlistData> systemProfileAsNSData() const;
    // The contents of every report newer than "TVICrashLogLastSubmitedDate", in the finder's
    // order; unreadable reports are left out.
    std::vector<PlistData> crashLogData() const;
};

}
