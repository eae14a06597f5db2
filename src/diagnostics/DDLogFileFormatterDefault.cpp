#include "diagnostics/DDLogFileFormatterDefault.h"

#include "diagnostics/LocalCalendar.h"

#include <cstdio>

namespace tvi {

std::optional<std::string> DDLogFileFormatterDefault::formatLogMessage(const DDLogMessage& logMessage)
{
    const CalendarComponents time = LocalCalendar::components(logMessage.timestamp());
    char stamp[64];
    const int length = std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d:%03d  ", time.year,
                                     time.month, time.day, time.hour, time.minute, time.second, time.millisecond);
    std::string line;
    line.reserve(std::size_t(length) + logMessage.logMsg().size() + 1);
    line.append(stamp, std::size_t(length));
    line.append(logMessage.logMsg());
    return line;
}

}
