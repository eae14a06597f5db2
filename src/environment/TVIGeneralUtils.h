#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvi {

// Version texts of Telvora and of the operating system.
class TVIGeneralUtils {
public:
    TVIGeneralUtils() = delete;

    // "Version <short version> (Build <build number>)", as the About window shows it.
    static std::string getCombinedVersion();
    // "<short version> (Build <build number>)", as the report mails carry it.
    static std::string getCombinedVersionAlt();
    // "<major>.<minor>.<patch>" of the running system.
    static std::string checkOSXVersion();
    // The text split at every "."; "10.9.5" gives three parts, "" one empty part.
    static std::vector<std::string> versions(std::string_view text);
};

}
