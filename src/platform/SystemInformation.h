#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

struct OperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
    bool operator==(const OperatingSystemVersion&) const = default;
};

// Facts about the running system and the user's desktop settings, as the version checks
// and the look of the windows need them. Threads: called from any thread; no callbacks.
class SystemInformation {
public:
    static constexpr const char* serviceName = "SystemInformation";

    virtual ~SystemInformation() = default;

    virtual OperatingSystemVersion operatingSystemVersion() const = 0;
    // Whether the version numbers choose which companions are installed; on a desktop where
    // they number something else (a distribution's releases) the newest companions always fit.
    virtual bool versionSelectsCompanions() const { return true; }
    // Whether the user chose a dark interface style.
    virtual bool isDarkMode() const = 0;

    // The system's own description of its version, for reports ("Debian GNU/Linux 12 (bookworm), Linux 6.1.0").
    virtual std::string operatingSystemVersionString() const = 0;
    // Hardware facts by the kernel's system-information names ("hw.memsize", "hw.ncpu",
    // "hw.cputype", "hw.cpusubtype", "hw.cpufamily", "hw.cpufrequency", "hw.cpu64bit_capable",
    // "hw.optional.x86_64", "hw.model", "machdep.cpu.brand_string"); nullopt when this system has
    // no such value. A text is read in two steps, as the kernel interface does: its size (with
    // the terminating NUL), then the value.
    virtual std::optional<std::int64_t> integerValue(std::string_view name) const = 0;
    virtual std::optional<std::size_t> textValueSize(std::string_view name) const = 0;
    virtual std::optional<std::string> textValue(std::string_view name) const = 0;
};

}
