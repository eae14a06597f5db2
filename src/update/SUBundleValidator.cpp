#include "update/SUBundleValidator.h"

#include "foundation/Bundle.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace tvi {
namespace {

// A bundle that does not answer in this time would not start either.
constexpr auto kVersionTimeout = std::chrono::seconds(10);
constexpr std::size_t kMaxOutput = 64 * 1024;

bool fail(std::string* error, const std::string& reason)
{
    if (error) *error = reason;
    return false;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct ProgramRun {
    bool finished = false; // exited on its own within the time
    int status = 0;
    std::string output;
    std::string failure;
};

void collectOutput(int fd, pid_t child, ProgramRun& run)
{
    const auto deadline = std::chrono::steady_clock::now() + kVersionTimeout;
    char buffer[4096];
    bool open = true;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return;
        if (open) {
            pollfd watched{fd, POLLIN, 0};
            const int ready = ::poll(&watched, 1, static_cast<int>(left));
            if (ready < 0 && errno != EINTR) return;
            if (ready > 0) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got > 0 && run.output.size() < kMaxOutput) run.output.append(buffer, static_cast<std::size_t>(got));
                if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) open = false;
            }
            continue;
        }
        // Output closed: wait for the exit without blocking past the deadline.
        const pid_t reaped = ::waitpid(child, &run.status, WNOHANG);
        if (reaped == child) {
            run.finished = true;
            return;
        }
        if (reaped < 0 && errno != EINTR) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Runs `program --version` with the caller's environment; standard input and error on
// /dev/null, output captured. Killed (its whole process group) after the time-out.
ProgramRun runVersion(const std::string& program)
{
    ProgramRun run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        run.failure = std::string("could not make a pipe: ") + std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Not the caller's blocked signals (Telvora blocks SIGTERM and SIGINT in every thread).
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("--version"), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        run.failure = std::string("could not be started: ") + std::strerror(spawned);
        return run;
    }
    collectOutput(pipeFds[0], child, run);
    ::close(pipeFds[0]);
    if (!run.finished) {
        ::kill(-child, SIGKILL);
        ::kill(child, SIGKILL);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        run.failure = "did not answer within " + std::to_string(kVersionTimeout.count()) + " seconds";
    }
    return run;
}

bool checkExecutable(const std::string& bundle, const Bundle& info, std::string& executable, std::string* error)
{
    const auto name = info.objectForInfoDictionaryKey("CFBundleExecutable").stringValue();
    if (!name || name->empty() || *name == "." || *name == ".." || name->find('/') != std::string::npos)
        return fail(error, "The update's Info.plist names no usable CFBundleExecutable.");
    executable = bundle + "/Contents/MacOS/" + *name;
    struct stat status {};
    if (::lstat(executable.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return fail(error, "The update has no program Contents/MacOS/" + *name + ".");
    if (::access(executable.c_str(), X_OK) != 0)
        return fail(error, "The update's program Contents/MacOS/" + *name + " is not executable.");
    return true;
}

}

std::optional<std::string> SUBundleValidator::findBundle(const std::string& folder, std::string* error)
{
    std::vector<std::string> found;
    std::error_code failure;
    for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
        const std::string name = it->path().filename().string();
        // A link is no bundle: it could point anywhere.
        if (endsWith(name, ".app") && it->symlink_status().type() == std::filesystem::file_type::directory)
            found.push_back(it->path().string());
    }
    if (failure) {
        if (error) *error = "The update folder could not be read: " + failure.message() + ".";
        return std::nullopt;
    }
    if (found.size() != 1) {
        if (error)
            *error = found.empty() ? "The update holds no application bundle."
                                   : "The update holds more than one application bundle.";
        return std::nullopt;
    }
    return found.front();
}

// The program must exit with 0 and print the announced build in parentheses the way Telvora's
// --version does ("Telvora 1.4 (Build 1400)"), so a bundle whose Info.plist was changed but
// whose program is another version, or a program that cannot run here, is refused.
bool SUBundleValidator::validate(const std::string& bundle, const std::string& expectedIdentifier,
                                 const std::string& expectedVersion, std::string* error)
{
    struct stat status {};
    if (::lstat(bundle.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return fail(error, "The update is not a bundle folder.");
    const Bundle info(bundle);
    if (info.infoDictionary().empty()) return fail(error, "The update has no readable Contents/Info.plist.");
    const auto identifier = info.bundleIdentifier();
    if (identifier != expectedIdentifier)
        return fail(error, "The update is for another application (" + identifier.value_or("no identifier") + ").");
    const auto version = info.objectForInfoDictionaryKey("CFBundleVersion").stringValue();
    if (version != expectedVersion)
        return fail(error, "The update's bundle is version " + version.value_or("(none)") + ", not the announced " +
                               expectedVersion + ".");
    std::string executable;
    if (!checkExecutable(bundle, info, executable, error)) return false;
    const ProgramRun run = runVersion(executable);
    if (!run.failure.empty()) return fail(error, "The update's program " + run.failure + ".");
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0)
        return fail(error, "The update's program failed when asked for its version.");
    if (run.output.find("(Build " + expectedVersion + ")") == std::string::npos)
        return fail(error, "The update's program does not report build " + expectedVersion + ".");
    return true;
}

}
