// Arbitrary bytes as a ".strings" table, as read from the bundle's resources.
//
// Checked besides memory safety and undefined behaviour:
// - whatever the encoding, the decoded text and every key and value are valid UTF-8;
// - a result that stopped at a fault says where and why; a complete one says nothing.
#include "foundation/StringsFileParser.h"
#include "foundation/Unicode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace tvi;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "strings_fuzz: %s\n", what);
    std::abort();
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!Unicode::isValidUtf8(StringsFileParser::decode(bytes))) fail("decoded text is no valid UTF-8");
    const StringsFileParser::Result result = StringsFileParser::parse(bytes);
    for (const auto& [key, value] : result.entries)
        if (!Unicode::isValidUtf8(key) || !Unicode::isValidUtf8(value)) fail("an entry is no valid UTF-8");
    if (result.complete != result.errorMessage.empty()) fail("an error message exactly when incomplete");
    if (!result.complete && result.errorLine == 0) fail("a fault without its line");
    return 0;
}
