#pragma once

#include <string>

namespace tvi {

// Whether an X display can be reached: the choice between desktop and headless mode.
class X11Display {
public:
    X11Display() = delete;

    // True when DISPLAY is set and a connection to it opens (and is closed again at
    // once); otherwise false with the reason in `whyNot`.
    static bool isReachable(std::string& whyNot);
};

}
