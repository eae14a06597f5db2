#include "diagnostics/SystemLog.h"

#include <errno.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace tvi {
namespace {
std::atomic<bool> syslogEnabled{false};
}

void SystemLog::write(const std::string& text)
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char prefix[160];
    int length = std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d.%03lld %s[%d:%x] ",
                               local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                               local.tm_sec, static_cast<long long>(millis), program_invocation_short_name,
                               static_cast<int>(getpid()), static_cast<unsigned>(gettid()));
    if (length < 0) length = 0;
    if (length >= static_cast<int>(sizeof prefix)) length = sizeof prefix - 1;
    char newline = '\n';
    iovec pieces[3] = {{prefix, static_cast<size_t>(length)},
                       {const_cast<char*>(text.data()), text.size()},
                       {&newline, 1}};
    const int savedErrno = errno;
    [[maybe_unused]] ssize_t written = writev(STDERR_FILENO, pieces, 3);
    if (syslogEnabled.load(std::memory_order_relaxed)) ::syslog(LOG_ERR, "%s", text.c_str());
    errno = savedErrno;
}

void SystemLog::setSyslogEnabled(bool enabled)
{
    syslogEnabled.store(enabled, std::memory_order_relaxed);
}

}
