#include "diagnostics/CrashReportText.h"

#include <signal.h>

namespace tvi {

CrashReportText::CrashReportText(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity)
{
    if (capacity_ > 0) buffer_[0] = '\0';
}

CrashReportText& CrashReportText::add(const char* text, std::size_t length)
{
    if (capacity_ == 0 || !text) return *this;
    for (std::size_t i = 0; i < length && size_ + 1 < capacity_; ++i) buffer_[size_++] = text[i];
    buffer_[size_] = '\0';
    return *this;
}

CrashReportText& CrashReportText::add(const char* text)
{
    std::size_t length = 0;
    if (text)
        while (text[length] != '\0') ++length;
    return add(text, length);
}

CrashReportText& CrashReportText::addUnsigned(unsigned long long value, int minimumDigits)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < 24);
    while (count < minimumDigits && count < 24) digits[count++] = '0';
    char ordered[24];
    for (int i = 0; i < count; ++i) ordered[i] = digits[count - 1 - i];
    return add(ordered, static_cast<std::size_t>(count));
}

CrashReportText& CrashReportText::addDecimal(long long value)
{
    if (value < 0) {
        add("-");
        // Negating in unsigned arithmetic keeps the lowest value right.
        return addUnsigned(0ULL - static_cast<unsigned long long>(value));
    }
    return addUnsigned(static_cast<unsigned long long>(value));
}

CrashReportText& CrashReportText::addHex(std::uintptr_t value)
{
    char digits[2 + 2 * sizeof(std::uintptr_t)];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    char ordered[2 + 2 * sizeof(std::uintptr_t)] = {'0', 'x'};
    for (int i = 0; i < count; ++i) ordered[2 + i] = digits[count - 1 - i];
    return add(ordered, static_cast<std::size_t>(2 + count));
}

CrashReportText& CrashReportText::addStamp(const CivilTime& time)
{
    addUnsigned(static_cast<unsigned>(time.year), 4).add("-").addUnsigned(static_cast<unsigned>(time.month), 2);
    add("-").addUnsigned(static_cast<unsigned>(time.day), 2).add("-");
    addUnsigned(static_cast<unsigned>(time.hour), 2).addUnsigned(static_cast<unsigned>(time.minute), 2);
    return addUnsigned(static_cast<unsigned>(time.second), 2);
}

CrashReportText& CrashReportText::addDisplayDate(const CivilTime& time)
{
    addUnsigned(static_cast<unsigned>(time.year), 4).add("-").addUnsigned(static_cast<unsigned>(time.month), 2);
    add("-").addUnsigned(static_cast<unsigned>(time.day), 2).add(" ");
    addUnsigned(static_cast<unsigned>(time.hour), 2).add(":").addUnsigned(static_cast<unsigned>(time.minute), 2);
    return add(":").addUnsigned(static_cast<unsigned>(time.second), 2);
}

CrashReportText::CivilTime CrashReportText::civilTime(long long secondsSinceEpoch, long utcOffsetSeconds)
{
    const long long local = secondsSinceEpoch + utcOffsetSeconds;
    long long days = local / 86400;
    long long rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime time;
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest % 3600 / 60);
    time.second = static_cast<int>(rest % 60);
    return time;
}

void CrashReportText::reportName(CrashReportText& out, const char* executable, const CivilTime& time,
                                 const char* host, const char* extension)
{
    out.add(executable).add("_").addStamp(time).add("_").add(host).add(".").add(extension);
}

const char* CrashReportText::signalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

const char* CrashReportText::codeName(int signal, int code)
{
    // Codes sent by a process (kill, raise, abort) are the same for every signal.
    switch (code) {
    case SI_USER: return "SI_USER";
    case SI_TKILL: return "SI_TKILL";
    case SI_QUEUE: return "SI_QUEUE";
    case SI_KERNEL: return "SI_KERNEL";
    default: break;
    }
    if (signal == SIGSEGV) {
        if (code == SEGV_MAPERR) return "SEGV_MAPERR";
        if (code == SEGV_ACCERR) return "SEGV_ACCERR";
    } else if (signal == SIGBUS) {
        if (code == BUS_ADRALN) return "BUS_ADRALN";
        if (code == BUS_ADRERR) return "BUS_ADRERR";
        if (code == BUS_OBJERR) return "BUS_OBJERR";
    } else if (signal == SIGFPE) {
        if (code == FPE_INTDIV) return "FPE_INTDIV";
        if (code == FPE_INTOVF) return "FPE_INTOVF";
        if (code == FPE_FLTDIV) return "FPE_FLTDIV";
        if (code == FPE_FLTOVF) return "FPE_FLTOVF";
        if (code == FPE_FLTUND) return "FPE_FLTUND";
        if (code == FPE_FLTRES) return "FPE_FLTRES";
        if (code == FPE_FLTINV) return "FPE_FLTINV";
    } else if (signal == SIGILL) {
        if (code == ILL_ILLOPC) return "ILL_ILLOPC";
        if (code == ILL_ILLOPN) return "ILL_ILLOPN";
        if (code == ILL_PRVOPC) return "ILL_PRVOPC";
    }
    return nullptr;
}

}
