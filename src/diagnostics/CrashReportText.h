#pragma once

#include <cstddef>
#include <cstdint>

namespace tvi {

// Builds report text inside a signal handler: a caller-owned buffer, no allocation, no
// locale, no time-zone lookup. Text that does not fit is cut off, never overruns.
class CrashReportText {
public:
    // A moment in local time, computed from seconds since the epoch and a UTC offset.
    struct CivilTime {
        int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    };

    CrashReportText(char* buffer, std::size_t capacity);

    CrashReportText& add(const char* text);
    CrashReportText& add(const char* text, std::size_t length);
    CrashReportText& addDecimal(long long value);
    CrashReportText& addUnsigned(unsigned long long value, int minimumDigits = 1);
    CrashReportText& addHex(std::uintptr_t value); // "0x" and lower-case digits
    // "yyyy-MM-dd-HHmmss", the form used in report file names.
    CrashReportText& addStamp(const CivilTime& time);
    // "yyyy-MM-dd HH:mm:ss", the form shown inside a report.
    CrashReportText& addDisplayDate(const CivilTime& time);

    const char* text() const { return buffer_; }
    std::size_t size() const { return size_; }

    static CivilTime civilTime(long long secondsSinceEpoch, long utcOffsetSeconds);
    // "<executable>_<yyyy-MM-dd-HHmmss>_<host>.<extension>", the name the report finder looks for.
    static void reportName(CrashReportText& out, const char* executable, const CivilTime& time, const char* host,
                           const char* extension);
    // "SIGSEGV" and the like; "signal" for any other.
    static const char* signalName(int signal);
    // The symbolic name of a siginfo code for that signal ("SEGV_MAPERR", "SI_USER"); null when unknown.
    static const char* codeName(int signal, int code);

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

}
