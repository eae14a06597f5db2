#include "app/TVISingleInstance.h"

#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDTTYLogger.h"
#include "environment/DirectoryLocations.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tvi {
namespace {

std::optional<pid_t> readPid(int fd)
{
    char buffer[32] = {};
    const ssize_t length = ::pread(fd, buffer, sizeof buffer - 1, 0);
    if (length <= 0) return std::nullopt;
    char* end = nullptr;
    const long pid = std::strtol(buffer, &end, 10);
    if (end == buffer || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

void writePid(int fd)
{
    const std::string text = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]] ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
}

}

TVISingleInstance::Result TVISingleInstance::acquire(const std::string& lockFile)
{
    // Close-on-exec: a program Telvora starts must not keep the lock after Telvora has gone.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return {true, std::nullopt};
    int r;
    while ((r = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        const bool held = errno == EWOULDBLOCK;
        Result result{!held, held ? readPid(fd) : std::nullopt};
        ::close(fd);
        return result;
    }
    writePid(fd);
    return {true, std::nullopt}; // the descriptor stays open, and the lock with it, until the end
}

TVISingleInstance::Result TVISingleInstance::acquire()
{
    const auto folder = DirectoryLocations::applicationSupportDirectory();
    if (!folder) return {true, std::nullopt};
    return acquire(*folder + "/" + kLockFileName);
}

bool TVISingleInstance::acquireOrExplain()
{
    const Result result = acquire();
    if (result.acquired) return true;
    // The console only: the log files belong to the running Telvora.
    DDLog::addLogger(DDTTYLogger::sharedInstance());
    if (result.holder)
        DDLogInfo("%@: Telvora is already running for this user (pid %d); this one exits", int(*result.holder));
    else
        DDLogInfo("%@: Telvora is already running for this user; this one exits");
    DDLog::flushLog();
    return false;
}

}
