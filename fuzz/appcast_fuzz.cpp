// Arbitrary bytes as an update feed, as they arrive from the network.
//
// Checked besides memory safety and undefined behaviour:
// - a refused feed always says why;
// - every item read names a version, and every text read is valid UTF-8;
// - no item's version holds a path separator or "..";
// - the newest item is one of the items, and there is one exactly when there are items.
#include "foundation/Unicode.h"
#include "update/SUAppcast.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tvi;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "appcast_fuzz: %s\n", what);
    std::abort();
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view feed(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto items = SUAppcast::parseAppcast(feed, &error);
    if (!items) {
        if (error.empty()) fail("a refused feed gave no reason");
        return 0;
    }
    for (const SUAppcastItem& item : *items) {
        if (item.versionString.empty() && item.displayVersionString.empty()) fail("an item without a version");
        for (const std::string* version : {&item.versionString, &item.displayVersionString})
            if (version->find_first_of("/\\") != std::string::npos || version->find("..") != std::string::npos)
                fail("an item's version could name a path");
        for (const std::string* text : {&item.title, &item.versionString, &item.displayVersionString, &item.fileURL})
            if (!Unicode::isValidUtf8(*text)) fail("a text read from the feed is no valid UTF-8");
    }
    const auto newest = SUAppcast::newestItem(*items);
    if (newest.has_value() != !items->empty()) fail("a newest item exactly when there are items");
    if (newest) {
        bool listed = false;
        for (const SUAppcastItem& item : *items)
            listed = listed || (item.versionString == newest->versionString && item.title == newest->title &&
                                item.displayVersionString == newest->displayVersionString);
        if (!listed) fail("the newest item is none of the items");
    }
    return 0;
}
