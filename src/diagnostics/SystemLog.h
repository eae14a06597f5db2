#pragma once

#include <string>

namespace tvi {

// Where the loggers report their own failures: never through DDLog (that could
// recurse or block on the logger that is failing) but straight to standard
// error, and to syslog when enabled.
class SystemLog {
public:
    static void write(const std::string& text);
    static void setSyslogEnabled(bool enabled);
};

}
