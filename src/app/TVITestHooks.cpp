#include "app/TVITestHooks.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tvi {
namespace {

int hookPipe[2] = {-1, -1};

void onBlockRequest(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    (void)::write(hookPipe[1], &byte, 1);
    errno = savedErrno;
}

unsigned blockSeconds()
{
    const char* text = std::getenv("TELVORA_TEST_BLOCK_SECONDS");
    const long seconds = text ? std::strtol(text, nullptr, 10) : 0;
    return seconds > 0 ? static_cast<unsigned>(seconds) : 3;
}

}

__attribute__((noinline)) void telvoraTestHookBlockMainThread(unsigned seconds)
{
    DDLogWarn("%@: Test hook: blocking the main thread for %u s", seconds);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    // Keeps this frame from becoming a tail call, so that it stays in the backtrace.
    asm volatile("" ::: "memory");
}

bool TVITestHooks::requested()
{
    const char* value = std::getenv("TELVORA_TEST_HOOKS");
    return value && std::strcmp(value, "1") == 0;
}

void TVITestHooks::installIfRequested()
{
    if (!requested() || hookPipe[0] >= 0) return;
    if (::pipe2(hookPipe, O_CLOEXEC) != 0) return;
    struct sigaction action {};
    action.sa_handler = &onBlockRequest;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR2, &action, nullptr);
    std::thread([] {
        char byte = 0;
        for (;;) {
            const ssize_t count = ::read(hookPipe[0], &byte, 1);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return;
            const unsigned seconds = blockSeconds();
            DispatchQueue::main()->async([seconds] { telvoraTestHookBlockMainThread(seconds); });
        }
    }).detach();
}

}
