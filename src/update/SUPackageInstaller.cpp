#include "update/SUPackageInstaller.h"

#include "diagnostics/DDLogMacros.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace tvi {
namespace {

constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
// apt's complaints can be long; the helper's verdict comes last, so the tail is kept.
constexpr std::size_t kMaxMessageBytes = 16 * 1024;
constexpr int kPollMilliseconds = 200;

struct Child {
    pid_t pid = -1;
    int errorPipe = -1;
    std::string startError;
};

Child spawn(const std::vector<std::string>& arguments)
{
    Child child;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        child.startError = std::strerror(errno);
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
        close(ends[0]);
        child.pid = -1;
        child.startError = std::strerror(spawned);
        return child;
    }
    child.errorPipe = ends[0];
    return child;
}

void appendKeepingTail(std::string& text, const char* bytes, std::size_t count)
{
    text.append(bytes, count);
    if (text.size() > kMaxMessageBytes) text.erase(0, text.size() - kMaxMessageBytes);
}

// False at the end of the pipe (every holder closed it) or on an error.
bool readAvailable(int fd, int timeoutMilliseconds, std::string& text)
{
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, timeoutMilliseconds);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return true;
    char buffer[4096];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0) return errno == EINTR || errno == EAGAIN;
    if (count == 0) return false;
    appendKeepingTail(text, buffer, static_cast<std::size_t>(count));
    return true;
}

// Collects standard error until the child has ended, then reaps it. A grandchild that keeps
// the pipe open (a service a package script started) must not hold the caller up, so the
// child's own end is watched as well as the pipe's.
int waitCollecting(const Child& child, std::string& errorText)
{
    int status = 0;
    bool reaped = false;
    bool open = true;
    while (open && !reaped) {
        open = readAvailable(child.errorPipe, kPollMilliseconds, errorText);
        const pid_t done = waitpid(child.pid, &status, WNOHANG);
        reaped = done == child.pid;
    }
    if (reaped) {
        while (open) {
            pollfd entry{child.errorPipe, POLLIN, 0};
            if (poll(&entry, 1, 0) <= 0) break;
            open = readAvailable(child.errorPipe, 0, errorText);
        }
    } else {
        while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(child.errorPipe);
    return status;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && std::strchr(" \t\r\n", text.back()) != nullptr) text.pop_back();
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    return start == std::string::npos ? std::string() : text.substr(start);
}

}

SUPackageInstaller::Status SUPackageInstaller::statusForExitStatus(int exitStatus)
{
    switch (exitStatus) {
    case HelperExit::kInstalled: return Status::Installed;
    case kPkexecDismissed: return Status::Dismissed;
    case kPkexecNotAuthorized: return Status::NotAuthorized;
    case HelperExit::kBadSignature:
    case HelperExit::kWrongPackage:
    case HelperExit::kNotAnnounced:
    case HelperExit::kNotNewer: return Status::Refused;
    default: return Status::Failed;
    }
}

SUPackageInstaller::Result SUPackageInstaller::install(const std::string& packagePath,
                                                       const std::string& base64Signature, const std::string& version,
                                                       const std::string& pkexecProgram, const std::string& helperPath)
{
    DDLogInfo("%@: Installing the package %@ (version %@) through %@ %@", packagePath, version, pkexecProgram,
              helperPath);
    Result result;
    const Child child = spawn({pkexecProgram, helperPath, packagePath, base64Signature, version});
    if (child.pid < 0) {
        result.errorDescription = pkexecProgram + " could not be started: " + child.startError;
        DDLogError("%@: %@", result.errorDescription);
        return result;
    }
    std::string errorText;
    const int status = waitCollecting(child, errorText);
    std::string message = trimmed(std::move(errorText));
    if (WIFSIGNALED(status)) {
        result.status = Status::Failed;
        if (message.empty()) message = pkexecProgram + " was ended by signal " + std::to_string(WTERMSIG(status));
        DDLogError("%@: %@ %@ was ended by signal %@", pkexecProgram, helperPath, WTERMSIG(status));
    } else {
        const int exitStatus = WEXITSTATUS(status);
        result.status = statusForExitStatus(exitStatus);
        if (message.empty())
            message = pkexecProgram + " " + helperPath + " ended with status " + std::to_string(exitStatus);
        DDLogInfo("%@: %@ %@ ended with status %@", pkexecProgram, helperPath, exitStatus);
    }
    if (result.status != Status::Installed) result.errorDescription = std::move(message);
    return result;
}

}
