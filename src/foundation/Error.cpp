#include "foundation/Error.h"

namespace tvi {

std::string Error::description() const
{
    std::string text = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
                       (localizedDescription.empty() ? std::string("(null)") : localizedDescription) + "\"";
    std::map<std::string, std::string> entries = userInfo;
    if (!localizedDescription.empty()) entries.emplace("NSLocalizedDescription", localizedDescription);
    if (entries.empty()) return text;
    text += " UserInfo={";
    bool first = true;
    for (const auto& [key, value] : entries) {
        if (!first) text += ", ";
        text += key + "=" + value;
        first = false;
    }
    return text + "}";
}

}
