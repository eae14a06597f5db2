#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

// Eight facts about the machine a problem report comes from, read through the system-information
// platform service. Each entry has "key", "visibleKey", "value" and "visibleValue" (the last two
// the same text). A text that cannot be read is rendered "(null)", as an absent object formats.
class TVISystemProfile {
public:
    using Entry = std::map<std::string, std::string>;

    TVISystemProfile() = delete;

    // OS_VERSION, MACHINE_MODEL, RAM_SIZE, CPU_TYPE, CPU_SPEED, CPU_COUNT, CPU_64BIT, LANGUAGE, in this order.
    static std::vector<Entry> discover();
    // discover() as an XML property list (an array of dictionaries), for the report mail.
    static std::vector<std::uint8_t> systemProfileAsNSData();

    static std::string osversion();
    static std::optional<std::string> machinemodel();
    static long ramsize();                 // MiB, -1 when unknown
    static std::optional<std::string> cputype();
    static long cpuspeed();                // MHz, -1 when unknown
    static int cpucount();                 // 1 when unknown
    static bool is64bit();
    static std::optional<std::string> language();
};

}
