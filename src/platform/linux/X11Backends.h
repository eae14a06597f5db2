#pragma once

#include "platform/BackendReport.h"

#include <vector>

namespace tvi {

// The desktop backends of an X11 session.
class X11Backends {
public:
    // Installs the X11 backend of every desktop service whose prerequisite is there and
    // the in-memory one otherwise; one report per service.
    static std::vector<BackendReport> install();
};

}
