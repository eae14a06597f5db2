#pragma once

// The uninstaller's one logging call: a line on the console (standard error), with the
// program's name and process number in front, as the desktop's journal shows it. A test can
// read the lines back.
#include <functional>
#include <string>

namespace sarnex {

class ConsoleLog {
public:
    ConsoleLog() = delete;
    static void line(const std::string& text);
    // Every later line also goes to sink; an empty function stops that.
    static void setSink(std::function<void(const std::string&)> sink);
};

}
