#include "diagnostics/TVISystemProfile.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/Unicode.h"
#include "platform/Platform.h"
#include "platform/SystemInformation.h"

namespace tvi {
namespace {

constexpr std::string_view kVersionPrefix = "Version ";
constexpr std::int32_t kCpuTypeX86 = 7;
constexpr std::int32_t kCpuTypePowerPC = 18;

std::shared_ptr<SystemInformation> info() { return Platform::get<SystemInformation>(); }

// Values that are not stated to be 64-bit are 32-bit integers of the kernel interface.
std::optional<std::int32_t> int32Value(const char* name)
{
    const auto value = info()->integerValue(name);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}

std::optional<std::string> familyName(std::uint32_t family)
{
    switch (family) {
    case 0xcee41549: return "PowerPC G3";
    case 0x77c184ae: return "PowerPC G4";
    case 0xed76d8aa: return "PowerPC G5";
    case 0x78ea4fbc: return "Intel Core 2 Duo (Penryn)";
    case 0x6b5a4cd2: return "Intel Xeon (Nehalem)";
    default: return std::nullopt;
    }
}

std::optional<std::string> typeAndSubtypeName(std::int32_t type)
{
    const auto subtype = int32Value("hw.cpusubtype");
    if (!subtype) {
        DDLogWarn("%@: Failed to obtain CPU subtype");
        return std::nullopt;
    }
    if (type == kCpuTypeX86) return "Intel";
    if (type == kCpuTypePowerPC) {
        if (*subtype == 9) return "PowerPC G3";
        if (*subtype == 10 || *subtype == 11) return "PowerPC G4";
        if (*subtype == 100) return "PowerPC G5";
    }
    DDLogWarn("%@: Unknown CPU type %d, CPU subtype %d", type, *subtype);
    return std::nullopt;
}

TVISystemProfile::Entry entry(const char* key, const char* visibleKey, const std::string& value)
{
    return {{"key", key}, {"visibleKey", visibleKey}, {"value", value}, {"visibleValue", value}};
}

}

std::string TVISystemProfile::osversion()
{
    std::string version = info()->operatingSystemVersionString();
    if (version.starts_with(kVersionPrefix)) version.erase(0, kVersionPrefix.size());
    return version;
}

std::optional<std::string> TVISystemProfile::machinemodel()
{
    if (!info()->textValueSize("hw.model")) {
        DDLogWarn("%@: Failed to obtain CPU model");
        return std::nullopt;
    }
    auto model = info()->textValue("hw.model");
    if (!model) DDLogWarn("%@: Failed to obtain machine model");
    return model;
}

long TVISystemProfile::ramsize()
{
    const auto bytes = info()->integerValue("hw.memsize");
    if (!bytes) {
        DDLogWarn("%@: Failed to obtain RAM size");
        return -1;
    }
    return static_cast<long>(*bytes / (1024 * 1024));
}

std::optional<std::string> TVISystemProfile::cputype()
{
    const auto type = int32Value("hw.cputype");
    if (!type) {
        DDLogWarn("%@: Failed to obtain CPU type");
        return std::nullopt;
    }
    if (*type == kCpuTypeX86) {
        // The marketing name, when the kernel has one (a 256-byte buffer, valid UTF-8).
        if (auto brand = info()->textValue("machdep.cpu.brand_string"); brand && brand->size() < 256) {
            if (const auto nul = brand->find('\0'); nul != std::string::npos) brand->resize(nul);
            if (Unicode::isValidUtf8(*brand)) return brand;
        }
    }
    if (const auto family = int32Value("hw.cpufamily")) return familyName(static_cast<std::uint32_t>(*family));
    return typeAndSubtypeName(*type);
}

long TVISystemProfile::cpuspeed()
{
    const auto hertz = info()->integerValue("hw.cpufrequency");
    if (!hertz) {
        DDLogWarn("%@: Failed to obtain CPU speed");
        return -1;
    }
    return static_cast<long>(*hertz / 1'000'000);
}

int TVISystemProfile::cpucount()
{
    const auto count = int32Value("hw.ncpu");
    if (!count) {
        DDLogWarn("%@: Failed to obtain CPU count");
        return 1;
    }
    return *count;
}

bool TVISystemProfile::is64bit()
{
    // The first name the system knows decides.
    for (const char* name : {"hw.cpu64bit_capable", "hw.optional.x86_64", "hw.optional.64bitops"}) {
        if (const auto value = int32Value(name)) return *value == 1;
    }
    return false;
}

std::optional<std::string> TVISystemProfile::language()
{
    const std::vector<std::string> languages = Bundle::userPreferredLanguages();
    if (languages.empty()) {
        DDLogWarn("%@: Failed to obtain preferred language");
        return std::nullopt;
    }
    return languages.front();
}

std::vector<TVISystemProfile::Entry> TVISystemProfile::discover()
{
    std::vector<Entry> entries;
    entries.push_back(entry("OS_VERSION", "OS Version", format("%@", osversion())));
    entries.push_back(entry("MACHINE_MODEL", "Machine Model", format("%@", machinemodel())));
    entries.push_back(entry("RAM_SIZE", "Memory in (MB)", format("%ld", ramsize())));
    entries.push_back(entry("CPU_TYPE", "CPU Type", format("%@", cputype())));
    entries.push_back(entry("CPU_SPEED", "CPU Speed (MHz)", format("%ld", cpuspeed())));
    entries.push_back(entry("CPU_COUNT", "Number of CPUs", format("%d", cpucount())));
    entries.push_back(entry("CPU_64BIT", "CPU is 64-Bit", format("%@", is64bit() ? "YES" : "NO")));
    entries.push_back(entry("LANGUAGE", "Preferred Language", format("%@", language())));
    return entries;
}

std::vector<std::uint8_t> TVISystemProfile::systemProfileAsNSData()
{
    PlistArray list;
    for (const Entry& e : discover()) {
        PlistDictionary dictionary;
        for (const auto& [key, value] : e) dictionary.emplace(key, value);
        list.emplace_back(std::move(dictionary));
    }
    return PropertyListSerialization::dataFromPropertyList(PlistValue(std::move(list)),
                                                           PropertyListSerialization::Format::XML);
}

}
