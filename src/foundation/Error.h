#pragma once

#include <map>
#include <string>

namespace tvi {

// A failure as the platform reports it: domain, code, localized description and
// extra entries. Errors are values: reported, logged, never thrown.
struct Error {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
    std::map<std::string, std::string> userInfo;

    // "Error Domain=<domain> Code=<code> "<description>"", the text logs show.
    std::string description() const;
};

}
