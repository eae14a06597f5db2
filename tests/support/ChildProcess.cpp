#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace tvi::test {

namespace {
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& added : extra) replaced = replaced || added.rfind(name, 0) == 0;
        if (!replaced) result.push_back(entry);
    }
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

int decodedStatus(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}
}

ChildProcess::~ChildProcess()
{
    terminate();
}

bool ChildProcess::start(const std::vector<std::string>& arguments, const std::string& outputFile,
                         const std::vector<std::string>& environment, const std::string& inputFile)
{
    outputFile_ = outputFile;
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = mergedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inputFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) pid_ = -1;
    return result == 0;
}

bool ChildProcess::isRunning()
{
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = decodedStatus(status);
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::terminate(std::chrono::milliseconds timeout)
{
    if (!isRunning()) return status_;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (isRunning()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            status_ = decodedStatus(status);
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

std::string ChildProcess::output() const
{
    std::ifstream in(outputFile_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (output().find(text) != std::string::npos) return true;
        if (!isRunning()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return output().find(text) != std::string::npos;
}

}
