#pragma once

#include "diagnostics/DDLogFormatter.h"

namespace tvi {

// "yyyy/MM/dd HH:mm:ss:SSS" in local time, two spaces, the text:
// "2016/03/01 09:05:17:042  TVISocket: Client Disconnected".
class DDLogFileFormatterDefault : public DDLogFormatter {
public:
    std::optional<std::string> formatLogMessage(const DDLogMessage& logMessage) override;
};

}
