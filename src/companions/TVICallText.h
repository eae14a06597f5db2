#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// What the "Call via Calvetto" action makes of its input, shared by the action's program
// and `Telvora call`: which texts are posted to Telvora, unchanged, and which are skipped.
class TVICallText {
public:
    TVICallText() = delete;

    // A tel: or callto: URL (scheme case-insensitive) reduced to the number it carries: the
    // scheme and a leading "//" removed, everything from the first ";" (its parameters)
    // dropped, percent-escapes decoded; visual separators stay. Any other text is returned as
    // it stands.
    static std::string numberFromDialUrl(std::string_view text);
    // Whether the text is nothing but white space and line breaks (so nothing is sent).
    static bool isBlank(std::string_view text);
    // The input elements: each argument (URLs reduced), or, with none, each line of `lines`.
    static std::vector<std::string> elementsFromArguments(const std::vector<std::string>& arguments);
    static std::vector<std::string> elementsFromLines(const std::string& lines);
};

}
