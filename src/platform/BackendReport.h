#pragma once

#include <string>

namespace tvi {

// Which backend serves one desktop service, for the start-up log line.
struct BackendReport {
    std::string service;         // "HotKeys", "Pasteboard", ...
    std::string backend;         // "X11", "in-memory", ...
    std::string fallbackReason;  // why the real backend could not be used; empty when it is used
};

}
