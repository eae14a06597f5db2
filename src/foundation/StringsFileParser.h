#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tvi {

// Reads the platform's ".strings" tables: `"key" = "value";` pairs, `"key";` meaning
// key = key, /* */ and // comments, the escapes \" \\ \n \t \r \a \b \f \v, octal \NNN
// and \U1234 (a UTF-16 code unit; a surrogate pair written as two escapes is joined).
// Files are UTF-8 or UTF-16 (a BOM tells the byte order; without one, a zero byte in
// the first pair does). Unquoted keys and values ([A-Za-z0-9_$+/:.-]) are accepted too.
// Malformed text yields the entries read before the fault; it never throws.
class StringsFileParser {
public:
    struct Result {
        std::map<std::string, std::string> entries; // UTF-8; a repeated key keeps its last value
        bool complete = true;                       // false when reading stopped at a fault
        std::size_t errorLine = 0;                  // 1-based line of the fault
        std::string errorMessage;
    };

    static Result parse(std::string_view bytes);
    // A file that cannot be read gives an empty, incomplete result.
    static Result parseFile(const std::string& path);
    // The file's text as UTF-8, whatever encoding it came in.
    static std::string decode(std::string_view bytes);
};

}
