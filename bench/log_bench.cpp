// Cost of a log call at the caller, and sustained throughput with both loggers.
//   log_bench [lines for the throughput run, default 300000]
//
// Where the time goes. At the caller: formatting (~0.2-0.3 us), the message
// (clock read, cached thread id and name, queue label: ~0.1 us), the semaphore
// and joining the open batch under one mutex (~0.1-0.2 us). The p99 is the
// call that opens a new batch and so posts to the logging queue, waking a
// worker thread (a futex system call, several us on a virtual machine).
// Behind the queue: one hop per batch, not per line; each logger turns the
// batch into one write (console) or one write per 64 KiB (file), so system
// calls - ~3.5 us each here - are paid per batch. Without batching, the
// per-line hops and group waits limited the same run to ~20k lines/s.
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDTTYLogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace tvi;
using Clock = std::chrono::steady_clock;

namespace {

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

void printPercentiles(const char* what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[std::size_t(q * double(samples.size() - 1))]; };
    std::printf("%-44s p50 %6.2f us   p99 %6.2f us   (%zu samples)\n", what, at(0.50), at(0.99), samples.size());
}

// Times single calls in batches of 500, flushing between batches so that
// fewer than 1000 lines are ever outstanding.
template <typename Call>
std::vector<double> timeCalls(int batches, Call call, bool flushBetween = true)
{
    std::vector<double> samples;
    samples.reserve(std::size_t(batches) * 500);
    for (int b = 0; b < batches; ++b) {
        for (int i = 0; i < 500; ++i) {
            const auto start = Clock::now();
            call(i);
            samples.push_back(micros(Clock::now() - start));
        }
        if (flushBetween) DDLog::flushLog();
    }
    return samples;
}

}

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 300000;
    char pattern[] = "/tmp/log-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string directory = pattern;

    const int devNull = ::open("/dev/null", O_WRONLY);
    auto console = std::make_shared<DDTTYLogger>(devNull, DDTTYLogger::Environment{});
    auto manager = std::make_shared<DDLogFileManagerDefault>(directory);
    auto file = std::make_shared<DDFileLogger>(manager);
    file->setMaximumFileSize(0); // one file: the run measures writing, not rolling
    DDLog::addLogger(console);
    DDLog::addLogger(file);
    DDLog::flushLog();

    // Where the caller's time goes: formatting, building the message, then the rest (semaphore and queue hop).
    printPercentiles("format only", timeCalls(20, [](int i) {
        auto text = tvi::format("%@: => request %d from %@", fileBaseName(__FILE__), i, "client");
        asm volatile("" : : "r"(text.data()));
    }, false));
    printPercentiles("format + DDLogMessage", timeCalls(20, [](int i) {
        DDLogMessage message(tvi::format("%@: => request %d from %@", fileBaseName(__FILE__), i, "client"), 31, 4,
                             65535, __FILE__, __func__, __LINE__);
        asm volatile("" : : "r"(&message));
    }, false));
    printPercentiles("DDLogInfo (both loggers, < 1000 outstanding)",
                     timeCalls(40, [](int i) { DDLogInfo("%@: => request %d from %@", i, "client"); }));

    const auto start = Clock::now();
    for (long i = 0; i < lines; ++i) DDLogInfo("%@: => request %ld from %@", i, "client");
    DDLog::flushLog();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sustained: %ld lines in %.3f s = %.0f lines/s (console to /dev/null + file)\n", lines, seconds,
                double(lines) / seconds);
    std::printf("note: the caller pays formatting, the message and a mutex; the queue hop (a thread wake-up)\n"
                "      only when it opens a new batch. Loggers write each batch with one system call.\n");

    DDLog::removeAllLoggers();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return 0;
}
