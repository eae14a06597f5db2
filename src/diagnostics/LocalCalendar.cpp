#include "diagnostics/LocalCalendar.h"

#include <ctime>

namespace tvi {

CalendarComponents LocalCalendar::components(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    thread_local std::time_t cachedSecond = -1;
    thread_local std::tm cachedLocal{};

    const auto sinceEpoch = duration_cast<milliseconds>(time.time_since_epoch()).count();
    std::time_t second = static_cast<std::time_t>(sinceEpoch / 1000);
    long long millis = sinceEpoch % 1000;
    if (millis < 0) { // before 1970: floor, not truncate towards zero
        millis += 1000;
        second -= 1;
    }
    if (second != cachedSecond) {
        localtime_r(&second, &cachedLocal);
        cachedSecond = second;
    }
    return CalendarComponents{cachedLocal.tm_year + 1900, cachedLocal.tm_mon + 1, cachedLocal.tm_mday,
                              cachedLocal.tm_hour,        cachedLocal.tm_min,     cachedLocal.tm_sec,
                              static_cast<int>(millis)};
}

}
