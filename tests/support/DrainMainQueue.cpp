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
    std::atomic<bool> returned{false};
    std::thread guard([&] {
        for (int i = 0; i < 500 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!returned) {
            ADD_FAILURE() << "the main queue did not drain";
            MainRunLoop::shared().stop();
        }
    });
    MainRunLoop::shared().run();
    returned = true;
    guard.join();
}

}
