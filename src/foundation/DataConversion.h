#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvi {

// Byte buffers rendered as text for log lines.
class DataConversion {
public:
    DataConversion() = delete;

    // Two lower-case hexadecimal digits per byte, in order, no separators ("0aff"); "" for no bytes.
    static std::string hexadecimalString(const std::vector<std::uint8_t>& bytes);
};

}
