// Latency of a distributed notification over the session bus: from postNotification in this
// process to its observer's handler on the main queue (bus round trip plus the hop). Needs a
// session bus (scripts/desktop-session.sh).
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "platform/linux/SdBusDistributedNotifications.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

int main()
{
    using namespace tvi;
    using Clock = std::chrono::steady_clock;
    constexpr int kRounds = 500;
    std::string why;
    auto center = SdBusDistributedNotifications::create(why);
    if (!center) {
        std::fprintf(stderr, "session_bus_bench: %s\n", why.c_str());
        return 1;
    }
    std::vector<double> micros;
    std::atomic<int> arrived{0};
    Clock::time_point sent;
    int owner = 0;
    center->addObserver(&owner, "bench.ping", [&](const std::string&, const std::optional<std::string>&) {
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        ++arrived;
    });
    std::thread poster([&] {
        for (int i = 0; i < kRounds; ++i) {
            DispatchQueue::main()->sync([&] { sent = Clock::now(); });
            center->postNotification("bench.ping", std::string("0891234567"));
            while (arrived.load() <= i) std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        MainRunLoop::shared().stop();
    });
    MainRunLoop::shared().run();
    poster.join();
    std::sort(micros.begin(), micros.end());
    std::printf("session bus emit -> handler on the main queue, %d rounds: median %.0f us, p90 %.0f us, max %.0f us\n",
                kRounds, micros[micros.size() / 2], micros[micros.size() * 9 / 10], micros.back());
    return 0;
}
