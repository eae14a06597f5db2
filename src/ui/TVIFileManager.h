#pragma once

#include <string>

namespace tvi {

// The desktop's file manager: the freedesktop FileManager1 interface on the session bus, else
// xdg-open (which can only open a folder, so an item is shown by opening its folder). Main thread;
// returns at once.
class TVIFileManager {
public:
    TVIFileManager() = delete;

    // Opens the folder in the file manager; false when neither way could be started.
    static bool showFolder(const std::string& path);
    // Shows the item selected in its folder; false when neither way could be started.
    static bool showItemSelected(const std::string& path);
};

}
