#include "platform/linux/LinuxHardwareFacts.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tvi {
namespace {

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string machine()
{
    utsname name{};
    return uname(&name) == 0 ? name.machine : "";
}

std::optional<std::int64_t> numberIn(const std::optional<std::string>& text)
{
    if (!text) return std::nullopt;
    try {
        std::size_t used = 0;
        const std::string value = trimmed(*text);
        const double number = std::stod(value, &used);
        if (used == 0 || number <= 0) return std::nullopt;
        return static_cast<std::int64_t>(number);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::int64_t> cpuFrequencyHz()
{
    const std::string folder = "/sys/devices/system/cpu/cpu0/cpufreq/";
    for (const char* file : {"base_frequency", "cpuinfo_max_freq"}) {
        if (const auto kilohertz = numberIn(readFile(folder + file))) return *kilohertz * 1000;
    }
    const auto cpuinfo = readFile("/proc/cpuinfo");
    if (!cpuinfo) return std::nullopt;
    const auto megahertz = LinuxHardwareFacts::cpuinfoField(*cpuinfo, "cpu MHz");
    if (const auto value = numberIn(megahertz)) return *value * 1'000'000;
    return std::nullopt;
}

std::optional<std::int64_t> is64BitCapable()
{
    const std::string arch = machine();
    if (arch == "x86_64" || arch == "i686" || arch == "i586" || arch == "i386") {
        const auto cpuinfo = readFile("/proc/cpuinfo");
        if (!cpuinfo) return std::nullopt;
        const std::string flags = " " + LinuxHardwareFacts::cpuinfoField(*cpuinfo, "flags").value_or("") + " ";
        return flags.find(" lm ") != std::string::npos ? 1 : 0;
    }
    if (arch.empty()) return std::nullopt;
    return arch.find("64") != std::string::npos ? 1 : 0;
}

}

std::optional<std::string> LinuxHardwareFacts::cpuinfoField(std::string_view cpuinfo, std::string_view field)
{
    while (!cpuinfo.empty()) {
        const std::size_t end = cpuinfo.find('\n');
        std::string_view line = cpuinfo.substr(0, end);
        cpuinfo.remove_prefix(end == std::string_view::npos ? cpuinfo.size() : end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != field) continue;
        std::string value = trimmed(line.substr(colon + 1));
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

std::optional<std::string> LinuxHardwareFacts::dmiModel(std::string vendor, std::string product)
{
    vendor = trimmed(vendor);
    product = trimmed(product);
    const auto placeholder = [](const std::string& text) {
        return text.empty() || text == "To Be Filled By O.E.M." || text == "System manufacturer" ||
               text == "System Product Name" || text == "Default string";
    };
    if (placeholder(product)) return placeholder(vendor) ? std::nullopt : std::optional<std::string>(vendor);
    if (placeholder(vendor) || product.starts_with(vendor)) return product;
    return vendor + " " + product;
}

std::optional<std::pair<std::int32_t, std::int32_t>> LinuxHardwareFacts::machTypeOfMachine(std::string_view arch)
{
    if (arch == "x86_64" || arch == "i386" || arch == "i486" || arch == "i586" || arch == "i686") return {{7, 3}};
    if (arch.starts_with("ppc")) return {{18, 0}};
    if (arch == "aarch64" || arch == "arm64") return {{0x100000c, 0}};
    if (arch.starts_with("arm")) return {{12, 0}};
    return std::nullopt;
}

std::optional<std::int64_t> LinuxHardwareFacts::integerValue(std::string_view name)
{
    if (name == "hw.memsize") {
        struct sysinfo facts {};
        if (sysinfo(&facts) != 0) return std::nullopt;
        return static_cast<std::int64_t>(facts.totalram) * facts.mem_unit;
    }
    if (name == "hw.ncpu") {
        const long count = sysconf(_SC_NPROCESSORS_ONLN);
        return count > 0 ? std::optional<std::int64_t>(count) : std::nullopt;
    }
    if (name == "hw.cputype" || name == "hw.cpusubtype") {
        const auto type = machTypeOfMachine(machine());
        if (!type) return std::nullopt;
        return name == "hw.cputype" ? type->first : type->second;
    }
    if (name == "hw.cpufrequency") return cpuFrequencyHz();
    if (name == "hw.cpu64bit_capable") return is64BitCapable();
    return std::nullopt;
}

std::optional<std::string> LinuxHardwareFacts::textValue(std::string_view name)
{
    if (name == "hw.model") {
        const auto vendor = readFile("/sys/class/dmi/id/sys_vendor");
        const auto product = readFile("/sys/class/dmi/id/product_name");
        if (vendor || product)
            if (auto model = dmiModel(vendor.value_or(""), product.value_or(""))) return model;
        if (const auto tree = readFile("/proc/device-tree/model")) {
            if (std::string model = trimmed(*tree); !model.empty()) return model;
        }
        return std::nullopt;
    }
    if (name == "machdep.cpu.brand_string") {
        const auto cpuinfo = readFile("/proc/cpuinfo");
        return cpuinfo ? cpuinfoField(*cpuinfo, "model name") : std::nullopt;
    }
    return std::nullopt;
}

std::string LinuxHardwareFacts::versionString()
{
    std::string pretty = "Linux";
    auto osRelease = readFile("/etc/os-release");
    if (!osRelease) osRelease = readFile("/usr/lib/os-release");
    if (osRelease) {
        std::string_view text = *osRelease;
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!line.starts_with("PRETTY_NAME=")) continue;
            std::string value = trimmed(line.substr(12));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) value = value.substr(1, value.size() - 2);
            if (!value.empty()) pretty = value;
        }
    }
    utsname name{};
    if (uname(&name) == 0) pretty += std::string(", ") + name.sysname + " " + name.release;
    return pretty;
}

}
