#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// The kernel system-information names a report asks for, answered from Linux's own sources:
// hw.model from /sys/class/dmi/id (vendor and product) or the device-tree model; hw.memsize from
// sysinfo; machdep.cpu.brand_string from "model name" of /proc/cpuinfo; hw.cpufrequency from
// cpufreq (base, else maximum frequency), else "cpu MHz" of /proc/cpuinfo; hw.ncpu the CPUs
// online; hw.cputype/hw.cpusubtype the Mach numbers of the machine's architecture (x86 7/3,
// PowerPC 18/0, ARM 12/0, ARM64 0x100000c/0); hw.cpu64bit_capable from the "lm" flag on x86,
// else from the architecture. Linux has no hw.cpufamily: processors are named by brand or type.
class LinuxHardwareFacts {
public:
    LinuxHardwareFacts() = delete;

    static std::optional<std::int64_t> integerValue(std::string_view name);
    static std::optional<std::string> textValue(std::string_view name);
    // PRETTY_NAME of os-release and the kernel release: "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64".
    static std::string versionString();

    // The value of the first "field : value" line of a /proc/cpuinfo text; nullopt when absent or empty.
    static std::optional<std::string> cpuinfoField(std::string_view cpuinfo, std::string_view field);
    // The model of /sys/class/dmi/id: vendor and product name, the vendor left out when the
    // product names it already or it is a placeholder ("To Be Filled By O.E.M.", "System manufacturer").
    static std::optional<std::string> dmiModel(std::string vendor, std::string product);
    // Mach CPU type and subtype of a uname machine name ("x86_64" -> 7, 3); nullopt when unknown.
    static std::optional<std::pair<std::int32_t, std::int32_t>> machTypeOfMachine(std::string_view machine);
};

}
