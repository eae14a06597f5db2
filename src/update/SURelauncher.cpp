#include "update/SURelauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace tvi {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr milliseconds kPollInterval{50};
// How long a started Telvora that did not come up gets to end on SIGTERM before SIGKILL.
constexpr milliseconds kTerminateGrace{2000};

std::string timeText(const char* format, bool withMilliseconds)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, format, &local);
    std::string text = buffer;
    if (withMilliseconds) {
        const auto millis = std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ":%03d", static_cast<int>(millis));
        text += fraction;
    }
    return text;
}

// One line per step, in the log files' own form, appended and closed at once: the file may be
// rolled by the Telvora that starts meanwhile.
class RelaunchLog {
public:
    explicit RelaunchLog(std::string file) : file_(std::move(file)) {}

    void operator()(const std::string& text) const
    {
        const std::string line = timeText("%Y/%m/%d %H:%M:%S", true) + "  telvora-relauncher: " + text + "\n";
        if (!file_.empty()) {
            const int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
                ::close(fd);
                return;
            }
        }
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    }

private:
    std::string file_;
};

std::string errorText(int error)
{
    return std::strerror(error);
}

enum class LockState { Free, Held, Unknown };

// Tries the lock and lets go of it at once. A missing file is a free lock.
LockState lockState(const std::string& lockFile)
{
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? LockState::Free : LockState::Unknown;
    LockState state = LockState::Unknown;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        state = LockState::Free;
    } else if (errno == EWOULDBLOCK) {
        state = LockState::Held;
    }
    ::close(fd);
    return state;
}

// The pid the lock file names (Telvora writes its own after taking the lock), when it names one.
std::optional<pid_t> lockHolder(const std::string& lockFile)
{
    std::ifstream in(lockFile);
    long pid = 0;
    if (in >> pid && pid > 0) return static_cast<pid_t>(pid);
    return std::nullopt;
}

// A process that has ended but was not reaped yet by its parent counts as ended.
bool processAlive(pid_t pid)
{
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return true;
    const char state = line[close + 2];
    return state != 'Z' && state != 'X';
}

bool waitUntil(milliseconds timeout, const std::function<bool()>& condition)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool renameNoReplace(const std::string& from, const std::string& to, const RelaunchLog& log)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        log("renamed " + from + " to " + to);
        return true;
    }
    log("could not rename " + from + " to " + to + ": " + errorText(errno));
    return false;
}

void removeTree(const std::string& path, const RelaunchLog& log)
{
    std::error_code failure;
    std::filesystem::remove_all(path, failure);
    if (failure) log("could not remove " + path + ": " + failure.message());
    else log("removed " + path);
}

// The folder the update was unpacked into, now that its bundle has moved out (rmdir: only when empty).
void removeEmptiedUpdateFolder(const SURelauncher::Options& options, const RelaunchLog& log)
{
    const std::filesystem::path folder = std::filesystem::path(options.newBundlePath).parent_path();
    if (folder == std::filesystem::path(options.bundlePath).parent_path()) return;
    if (::rmdir(folder.c_str()) == 0) log("removed " + folder.string());
}

// Our own child (so that an early exit can be reaped), in a session of its own so that it
// outlives us and can be ended as a group.
std::optional<pid_t> startTelvora(const std::string& bundle, const std::vector<std::string>& arguments,
                                  const RelaunchLog& log)
{
    const std::string program = bundle + "/Contents/MacOS/Telvora";
    std::string error;
    const auto child = SURelauncher::spawnDetached(program, arguments, &error);
    log(child ? "started " + program + " (pid " + std::to_string(*child) + ")" : error);
    return child;
}

bool reaped(pid_t child, int& status)
{
    pid_t result;
    while ((result = ::waitpid(child, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    return result == child || (result < 0 && errno == ECHILD);
}

std::string exitText(int status)
{
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
    return "ended";
}

// Come up: the child holds the lock (and the lock names no other process), then is still alive
// settleTime later. An early exit is noticed by reaping.
bool cameUp(pid_t child, const SURelauncher::Options& options, const RelaunchLog& log)
{
    int status = 0;
    bool exited = false;
    const bool locked = waitUntil(options.startTimeout, [&] {
        if (reaped(child, status)) return exited = true;
        if (lockState(options.lockFile) != LockState::Held) return false;
        const auto holder = lockHolder(options.lockFile);
        return !holder || *holder == child;
    });
    if (exited) {
        log("the started Telvora " + exitText(status) + " before it took its lock");
        return false;
    }
    if (!locked) {
        log("the started Telvora did not take its lock within " + std::to_string(options.startTimeout.count()) + " ms");
        return false;
    }
    waitUntil(options.settleTime, [&] { return exited = reaped(child, status); });
    if (exited) {
        log("the started Telvora " + exitText(status) + " within " + std::to_string(options.settleTime.count()) +
            " ms of taking its lock");
        return false;
    }
    log("the started Telvora (pid " + std::to_string(child) + ") has come up");
    return true;
}

void endChild(pid_t child, const RelaunchLog& log)
{
    int status = 0;
    if (reaped(child, status)) return;
    log("ending the started Telvora (pid " + std::to_string(child) + ")");
    ::kill(-child, SIGTERM);
    if (waitUntil(kTerminateGrace, [&] { return reaped(child, status); })) return;
    ::kill(-child, SIGKILL);
    ::kill(child, SIGKILL);
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// The new bundle did not come up: it goes aside and away, the old one comes back and is started.
SURelauncher::Outcome rollBack(const SURelauncher::Options& options, const RelaunchLog& log)
{
    // The pid keeps two rollbacks within one second apart.
    const std::string failed =
        options.bundlePath + ".failed-" + timeText("%Y%m%d-%H%M%S", false) + "-" + std::to_string(::getpid());
    if (!renameNoReplace(options.bundlePath, failed, log) || !renameNoReplace(options.backupPath, options.bundlePath, log)) {
        log("rollback failed; the previous version stays in " + options.backupPath);
        return SURelauncher::Outcome::Failed;
    }
    // Started before the failed bundle is removed: the user waits for nothing.
    const auto old = startTelvora(options.bundlePath, options.arguments, log);
    removeTree(failed, log);
    log(old ? "rolled back to the previous version" : "rolled back, but the previous version could not be started");
    return SURelauncher::Outcome::RolledBack;
}

bool parseMilliseconds(const std::string& text, milliseconds& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = milliseconds(std::stol(text));
    return true;
}

}

SURelauncher::Outcome SURelauncher::run(const Options& options)
{
    const RelaunchLog log(options.logFile);
    const bool bundleUpdate = !options.newBundlePath.empty();
    log("waiting for Telvora (pid " + std::to_string(options.oldPid) + ") to quit" +
        (bundleUpdate ? ", then installing " + options.newBundlePath + " as " + options.bundlePath
                      : ", then starting " + options.bundlePath));
    const bool quit = waitUntil(options.quitTimeout, [&] {
        return lockState(options.lockFile) == LockState::Free && !processAlive(options.oldPid);
    });
    if (!quit) {
        log("Telvora did not quit within " + std::to_string(options.quitTimeout.count()) + " ms; nothing was changed");
        return Outcome::Failed;
    }
    log("Telvora has quit");
    if (bundleUpdate) {
        if (!renameNoReplace(options.bundlePath, options.backupPath, log)) {
            startTelvora(options.bundlePath, options.arguments, log);
            return Outcome::Failed;
        }
        if (!renameNoReplace(options.newBundlePath, options.bundlePath, log)) {
            if (renameNoReplace(options.backupPath, options.bundlePath, log))
                startTelvora(options.bundlePath, options.arguments, log);
            return Outcome::Failed;
        }
        removeEmptiedUpdateFolder(options, log);
    }
    const auto child = startTelvora(options.bundlePath, options.arguments, log);
    if (child && cameUp(*child, options, log)) {
        if (bundleUpdate) removeTree(options.backupPath, log);
        log("done");
        return Outcome::Started;
    }
    if (child) endChild(*child, log);
    if (!bundleUpdate) return Outcome::Failed;
    return rollBack(options, log);
}

std::vector<std::string> SURelauncher::commandLine(const Options& options)
{
    std::vector<std::string> words{"--pid",  std::to_string(options.oldPid),
                                   "--lock-file", options.lockFile,
                                   "--bundle", options.bundlePath};
    if (!options.newBundlePath.empty())
        words.insert(words.end(), {"--new-bundle", options.newBundlePath, "--backup", options.backupPath});
    if (!options.logFile.empty()) words.insert(words.end(), {"--log-file", options.logFile});
    words.insert(words.end(), {"--quit-timeout-ms", std::to_string(options.quitTimeout.count()),
                               "--start-timeout-ms", std::to_string(options.startTimeout.count()),
                               "--settle-time-ms", std::to_string(options.settleTime.count())});
    for (const std::string& argument : options.arguments) words.insert(words.end(), {"--argument", argument});
    return words;
}

std::optional<SURelauncher::Options> SURelauncher::parseCommandLine(const std::vector<std::string>& arguments)
{
    Options options;
    if (arguments.size() % 2 != 0) return std::nullopt;
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        const std::string& flag = arguments[i];
        const std::string& value = arguments[i + 1];
        if (flag == "--pid") {
            if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            options.oldPid = static_cast<pid_t>(std::stol(value));
        } else if (flag == "--lock-file") options.lockFile = value;
        else if (flag == "--bundle") options.bundlePath = value;
        else if (flag == "--new-bundle") options.newBundlePath = value;
        else if (flag == "--backup") options.backupPath = value;
        else if (flag == "--log-file") options.logFile = value;
        else if (flag == "--argument") options.arguments.push_back(value);
        else if (flag == "--quit-timeout-ms") {
            if (!parseMilliseconds(value, options.quitTimeout)) return std::nullopt;
        } else if (flag == "--start-timeout-ms") {
            if (!parseMilliseconds(value, options.startTimeout)) return std::nullopt;
        } else if (flag == "--settle-time-ms") {
            if (!parseMilliseconds(value, options.settleTime)) return std::nullopt;
        } else return std::nullopt;
    }
    if (options.oldPid <= 0 || options.lockFile.empty() || options.bundlePath.empty()) return std::nullopt;
    if (options.newBundlePath.empty() != options.backupPath.empty()) return std::nullopt;
    return options;
}

// posix_spawn, not fork: Telvora has threads, and only exec is safe in a forked child of a
// threaded process. The new session keeps it out of Telvora's terminal and process group.
std::optional<pid_t> SURelauncher::spawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                                                 std::string* error)
{
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Telvora blocks SIGTERM and SIGINT (its watcher thread takes them) and may ignore SIGPIPE:
    // the program starts with none of that.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
        sigaddset(&defaults, signal);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    pid_t child = 0;
    const int failure = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) {
        if (error) *error = program + " could not be started: " + errorText(failure);
        return std::nullopt;
    }
    return child;
}

std::string SURelauncher::programInBundle(const std::string& bundlePath)
{
    return bundlePath + "/Contents/MacOS/telvora-relauncher";
}

}
