#include "TVIRootCommand.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tvi {
namespace {

// The output goes to an anonymous file, not a pipe: a daemon that a package script starts
// may keep the descriptor open, and must not keep the helper waiting.
std::string readAll(int fd)
{
    std::string text;
    if (lseek(fd, 0, SEEK_SET) != 0) return text;
    char buffer[8192];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

}

std::vector<std::string> TVIRootCommand::environment()
{
    return {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C.UTF-8", "HOME=/root", "DEBIAN_FRONTEND=noninteractive"};
}

TVIRootCommand::Result TVIRootCommand::run(const std::vector<std::string>& arguments)
{
    Result result;
    if (arguments.empty()) return result;
    const int outputFile = memfd_create("telvora-update-helper-output", MFD_CLOEXEC);
    if (outputFile < 0) {
        result.output = "no file for the output of " + arguments.front();
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFile, 1);
    posix_spawn_file_actions_adddup2(&actions, outputFile, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment();
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        close(outputFile);
        result.output = arguments.front() + " could not be started";
        return result;
    }
    result.started = true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.output = readAll(outputFile);
    close(outputFile);
    return result;
}

std::string TVIRootCommand::tail(const std::string& output, std::size_t lines)
{
    std::vector<std::string> kept;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string::npos) kept.push_back(line);
        start = end + 1;
    }
    if (kept.size() > lines) kept.erase(kept.begin(), kept.end() - static_cast<std::ptrdiff_t>(lines));
    std::string text;
    for (const std::string& line : kept) text += "  " + line + "\n";
    return text;
}

}
