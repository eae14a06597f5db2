#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tvi {

// An application's identifier on Linux is the id of its desktop entry where one is found,
// else its window's WM_CLASS class. The entry is the one whose StartupWMClass equals the
// class, else the one whose id equals the class (case ignored); an id is the .desktop file's
// path below an "applications" folder with '/' as '-' and without ".desktop". Folders:
// $XDG_DATA_HOME/applications (default ~/.local/share/applications), then each of
// $XDG_DATA_DIRS (default /usr/local/share:/usr/share) with /applications; the first entry
// found for an id wins. Calvetto's identifier is "com.orvella.phoneclient".
class DesktopEntryIds {
public:
    std::string identifierForWindowClass(const std::string& windowClass);

    // Entries installed meanwhile are seen after this long.
    static constexpr std::chrono::seconds kRescanAfter{5};

private:
    void scanIfStale();
    void scanFolder(const std::string& folder);
    static std::vector<std::string> applicationFolders();

    std::map<std::string, std::string> idByStartupClass_;
    std::map<std::string, std::string> idByLowerCaseId_;
    std::chrono::steady_clock::time_point scannedAt_{};
    bool scanned_ = false;
};

}
