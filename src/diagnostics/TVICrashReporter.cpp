#include "diagnostics/TVICrashReporter.h"

#include "diagnostics/CrashReportText.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tvi {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kMaximumFrames = 128;
constexpr std::size_t kAlternateStackSize = 128 * 1024;

// Filled once by install(), read by the handler: plain arrays, nothing to allocate later.
struct Prepared {
    char logsFolder[PATH_MAX] = {};
    char crashParent[PATH_MAX] = {}; // <logs>/HangReporter
    char crashFolder[PATH_MAX] = {};
    char hangFolder[PATH_MAX] = {};
    char executable[NAME_MAX + 1] = {};
    char host[256] = {};
    char version[256] = {};
    char executablePath[PATH_MAX] = {};
};

Prepared prepared;
std::atomic<bool> installed{false};
std::atomic<long> utcOffset{0};
std::atomic<bool> handling{false};
alignas(16) char alternateStack[kAlternateStackSize];

void copyInto(char* target, std::size_t capacity, const std::string& text)
{
    const std::size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

void writeAll(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

void writeBuilt(int fd, const CrashReportText& text)
{
    writeAll(fd, text.text(), text.size());
}

CrashReportText::CivilTime now()
{
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    return CrashReportText::civilTime(clock.tv_sec, utcOffset.load(std::memory_order_relaxed));
}

void writeSignalDetails(int fd, int signal, const siginfo_t* info)
{
    char buffer[512];
    CrashReportText text(buffer, sizeof buffer);
    text.add("Signal:          ").add(CrashReportText::signalName(signal)).add(" (").addDecimal(signal).add(")\n");
    text.add("Signal code:     ");
    if (const char* name = CrashReportText::codeName(signal, info ? info->si_code : 0)) text.add(name).add(" ");
    text.add("(").addDecimal(info ? info->si_code : 0).add(")\n");
    // Sent by a process rather than raised by a fault: no address, but who sent it.
    if (info && info->si_code <= 0)
        text.add("Fault address:   none (sent by process ").addDecimal(info->si_pid).add(")\n");
    else
        text.add("Fault address:   ").addHex(reinterpret_cast<std::uintptr_t>(info ? info->si_addr : nullptr)).add("\n");
    text.add("Crashed thread:  ").addDecimal(static_cast<long long>(::syscall(SYS_gettid))).add("\n");
    writeBuilt(fd, text);
}

void writeCrashReport(int signal, const siginfo_t* info)
{
    const int fd = TVICrashReporter::openReport(prepared.crashFolder, "crash");
    if (fd < 0) return;
    TVICrashReporter::writePreamble(fd, "Crash report");
    writeSignalDetails(fd, signal, info);
    TVICrashReporter::writeBacktrace(fd, "Backtrace of the crashing thread:\n");
    TVICrashReporter::writeModules(fd);
    ::close(fd);
}

void onFatalSignal(int signal, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    if (!handling.exchange(true)) {
        writeCrashReport(signal, info);
    } else {
        // Another thread is writing the report and will end the process; give it time.
        const timespec pause{2, 0};
        nanosleep(&pause, nullptr);
    }
    // Let the signal take its normal course: the default action, delivered once we return.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void makeFolder(const char* path)
{
    if (::mkdir(path, 0700) != 0 && errno != EEXIST) return;
}

void installAlternateStack()
{
    // A sanitizer may have given this thread one already; keep it.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
}

}

void TVICrashReporter::install(const std::string& logsFolder, const std::string& executableName,
                               const std::string& versionText)
{
    if (installed.exchange(true)) return;
    copyInto(prepared.logsFolder, sizeof prepared.logsFolder, logsFolder);
    copyInto(prepared.crashFolder, sizeof prepared.crashFolder, logsFolder + "/DiagnosticReports");
    copyInto(prepared.crashParent, sizeof prepared.crashParent, logsFolder + "/HangReporter");
    copyInto(prepared.hangFolder, sizeof prepared.hangFolder, logsFolder + "/HangReporter/" + executableName);
    copyInto(prepared.executable, sizeof prepared.executable, executableName);
    copyInto(prepared.version, sizeof prepared.version, versionText);
    char host[sizeof prepared.host] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') std::strcpy(host, "localhost");
    // The host is part of a file name.
    for (char* c = host; *c; ++c)
        if (*c == '/') *c = '-';
    std::strcpy(prepared.host, host);
    const ssize_t length = ::readlink("/proc/self/exe", prepared.executablePath, sizeof prepared.executablePath - 1);
    prepared.executablePath[length > 0 ? length : 0] = '\0';
    refreshClock();

    // The first backtrace() loads the unwinder, which allocates: never inside the handler.
    void* frames[4];
    (void)backtrace(frames, 4);

    installAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = &onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) sigaction(signal, &action, nullptr);
}

bool TVICrashReporter::isInstalled()
{
    return installed.load();
}

void TVICrashReporter::refreshClock()
{
    const time_t seconds = ::time(nullptr);
    struct tm local {};
    if (localtime_r(&seconds, &local)) utcOffset.store(local.tm_gmtoff, std::memory_order_relaxed);
}

std::string TVICrashReporter::crashFolder()
{
    return prepared.crashFolder;
}

std::string TVICrashReporter::hangFolder()
{
    return prepared.hangFolder;
}

int TVICrashReporter::openReport(const char* folder, const char* extension)
{
    makeFolder(prepared.logsFolder);
    if (std::strcmp(folder, prepared.hangFolder) == 0) makeFolder(prepared.crashParent);
    makeFolder(folder);
    const CrashReportText::CivilTime time = now();
    // Two reports within a second: the second gets a number after the host.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char path[PATH_MAX + NAME_MAX + 64];
        CrashReportText text(path, sizeof path);
        text.add(folder).add("/");
        if (attempt == 0) {
            CrashReportText::reportName(text, prepared.executable, time, prepared.host, extension);
        } else {
            text.add(prepared.executable).add("_").addStamp(time).add("_").add(prepared.host);
            text.add("-").addDecimal(attempt).add(".").add(extension);
        }
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void TVICrashReporter::writePreamble(int fd, const char* title)
{
    char buffer[2048];
    CrashReportText text(buffer, sizeof buffer);
    text.add(title).add("\n\n");
    text.add("Process:         ").add(prepared.executable).add(" [").addDecimal(::getpid()).add("]\n");
    text.add("Path:            ").add(prepared.executablePath).add("\n");
    text.add("Version:         ").add(prepared.version).add("\n");
    text.add("Date/Time:       ").addDisplayDate(now()).add("\n");
    text.add("Host:            ").add(prepared.host).add("\n\n");
    writeBuilt(fd, text);
}

void TVICrashReporter::writeBacktrace(int fd, const char* heading)
{
    writeText(fd, "\n");
    writeText(fd, heading);
    void* frames[kMaximumFrames];
    const int count = backtrace(frames, kMaximumFrames);
    backtrace_symbols_fd(frames, count, fd);
}

void TVICrashReporter::writeModules(int fd)
{
    writeText(fd, "\nBinary images (/proc/self/maps):\n");
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(maps, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        writeAll(fd, buffer, static_cast<std::size_t>(count));
    }
    ::close(maps);
}

void TVICrashReporter::writeText(int fd, const char* text)
{
    writeAll(fd, text, std::strlen(text));
}

}
