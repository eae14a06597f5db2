#pragma once

#include "platform/BackendReport.h"

#include <string>
#include <vector>

namespace tvi {

// The in-process backends of every desktop service: what a headless run and every test
// process install, and what a desktop backend falls back to service by service.
class MemoryBackends {
public:
    MemoryBackends() = delete;

    // Installs a fresh in-memory backend for every service; one report per service, each
    // carrying `fallbackReason` (empty: chosen, not a fallback).
    static std::vector<BackendReport> installAll(const std::string& fallbackReason = {});
    // Installs the in-memory backend of one service, named as in BackendReport::service.
    // False for a name that is not a service.
    static bool install(const std::string& service);
    // The names of every service, in the order of the start-up line.
    static std::vector<std::string> services();

    static constexpr const char* kBackendName = "in-memory";
};

}
