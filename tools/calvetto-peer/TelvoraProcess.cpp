#include "TelvoraProcess.h"

#include "CalvettoPeer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tvi::peer {

TelvoraProcess::TelvoraProcess(std::string executable, std::string home)
    : executable_(std::move(executable)), home_(std::move(home))
{
}

TelvoraProcess::~TelvoraProcess()
{
    if (pid_ > 0) terminate(std::chrono::seconds(5));
}

bool TelvoraProcess::start(const std::vector<std::string>& arguments, const std::string& outputFile)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("HOME=", 0) == 0 || (!keepDisplay_ && entry.rfind("DISPLAY=", 0) == 0)) continue;
        environment.push_back(entry);
    }
    environment.push_back("HOME=" + home_);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> args{executable_};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = outputFile.empty() ? "/dev/null" : outputFile;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    startedAt_ = Clock::now();
    const int status = posix_spawn(&pid_, executable_.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) pid_ = -1;
    return status == 0;
}

std::string TelvoraProcess::portFilePath() const
{
    return home_ + "/Library/Application Support/Telvora/serverport.txt";
}

std::optional<std::uint16_t> TelvoraProcess::waitForPort(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (auto port = CalvettoPeer::readPortFile(portFilePath())) return port;
        if (!isRunning()) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return CalvettoPeer::readPortFile(portFilePath());
}

bool TelvoraProcess::isRunning()
{
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

std::optional<int> TelvoraProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

std::optional<int> TelvoraProcess::terminate(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return std::nullopt;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return std::nullopt;
}

std::optional<long> TelvoraProcess::residentKilobytes() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return std::nullopt;
}

std::optional<double> TelvoraProcess::cpuSeconds() const
{
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string content;
    if (!std::getline(stat, content)) return std::nullopt;
    // Fields after the command name, which ends with the last ')'.
    std::istringstream fields(content.substr(content.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

std::string TelvoraProcess::logsFolder() const
{
    return home_ + "/Library/Logs/Telvora";
}

std::vector<std::string> TelvoraProcess::logLines() const
{
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(logsFolder(), ec))
        if (entry.path().extension() == ".log") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        // "yyyy/MM/dd HH:mm:ss:SSS  text"
        while (std::getline(in, line)) lines.push_back(line.size() > 25 ? line.substr(25) : line);
    }
    return lines;
}

}
