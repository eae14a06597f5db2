#include "support/ThreadState.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

namespace tvi::test {
namespace {

// 0 = the thread is gone, 1 = it sleeps in a futex wait, -1 = anything else.
int futexWaiting(pid_t thread)
{
    const std::string task = "/proc/self/task/" + std::to_string(thread);
    std::ifstream stat(task + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    // "tid (name) S ...": the state follows the last closing parenthesis.
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'S') return -1;
    // The first field of syscall is the number of the call the thread is blocked in.
    std::ifstream syscall(task + "/syscall");
    long number = -1;
    if (!(syscall >> number)) return -1;
    return number == SYS_futex ? 1 : -1;
}
}

pid_t currentThreadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool waitUntilBlocked(pid_t thread, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (futexWaiting(thread) < 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}
