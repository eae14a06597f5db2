#include "support/DrainMainQueue.h"

#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tvi::test {

void drainMainQueue()
{
    DispatchQueue::main()->async([] { MainRunLoop::shared().stop(); });
    runMainLoopAtMost(std::chrono::seconds(5), "the main queue did not drain");
}

void runMainLoopAtMost(std::chrono::milliseconds limit, const std::string& failure)
{
    const auto tick = std::chrono::milliseconds(10);
    std::atomic<bool> returned{false};
    std::thread guard([&] {
        for (std::chrono::milliseconds waited{0}; waited < limit && !returned; waited += tick)
            std::this_thread::sleep_for(tick);
        if (!returned) {
            ADD_FAILURE() << failure;
            MainRunLoop::shared().stop();
        }
    });
    MainRunLoop::shared().run();
    returned = true;
    guard.join();
}

}
