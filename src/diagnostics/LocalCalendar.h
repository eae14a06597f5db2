#pragma once

#include <chrono>

namespace tvi {

// Local calendar components of a moment, milliseconds truncated.
struct CalendarComponents {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class LocalCalendar {
public:
    // Converting to local time takes the time-zone lock; each thread keeps the
    // last second it converted, which serves most lines of a busy logger.
    static CalendarComponents components(std::chrono::system_clock::time_point time);
};

}
