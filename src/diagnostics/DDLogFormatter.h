#pragma once

#include "diagnostics/DDLogMessage.h"

#include <optional>
#include <string>

namespace tvi {

// Turns a message into the text a logger writes; nullopt means "write nothing".
class DDLogFormatter {
public:
    virtual ~DDLogFormatter() = default;
    virtual std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) = 0;
};

}
