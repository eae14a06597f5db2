#include "platform/linux/SdBusConnection.h"

#include "diagnostics/DDLogMacros.h"

#include <systemd/sd-bus.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>

namespace tvi {
namespace {

std::mutex& lostHandlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void()>& lostHandler()
{
    static std::function<void()> handler;
    return handler;
}

std::uint64_t monotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000u + std::uint64_t(now.tv_nsec) / 1000u;
}

// sd-bus states its next deadline as an absolute monotonic time; poll wants milliseconds.
int pollTimeout(sd_bus* bus)
{
    std::uint64_t deadline = 0;
    if (sd_bus_get_timeout(bus, &deadline) < 0 || deadline == UINT64_MAX) return -1;
    const std::uint64_t now = monotonicMicroseconds();
    if (deadline <= now) return 0;
    const std::uint64_t ms = (deadline - now + 999) / 1000;
    return ms > 60000 ? 60000 : int(ms);
}

}

std::shared_ptr<SdBusConnection> SdBusConnection::session(std::string& why)
{
    static std::mutex mutex;
    static std::weak_ptr<SdBusConnection> shared;
    std::lock_guard lock(mutex);
    if (auto existing = shared.lock(); existing && !existing->isLost()) return existing;

    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0) {
        why = std::string("no session bus: ") + std::strerror(-r);
        return nullptr;
    }
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        why = std::string("no eventfd: ") + std::strerror(errno);
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    std::shared_ptr<SdBusConnection> connection(new SdBusConnection(bus, wakeFd));
    shared = connection;
    return connection;
}

void SdBusConnection::setConnectionLostHandler(std::function<void()> handler)
{
    std::lock_guard lock(lostHandlerMutex());
    lostHandler() = std::move(handler);
}

SdBusConnection::SdBusConnection(sd_bus* bus, int wakeFd) : bus_(bus), wakeFd_(wakeFd)
{
    thread_ = std::thread([this] { serve(); });
}

SdBusConnection::~SdBusConnection()
{
    stopping_ = true;
    wake();
    // The last holder may let go on the bus thread itself (from a handler): it cannot join itself.
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else if (thread_.joinable()) thread_.join();
    // Sends what is still queued (a reply, a last signal) before closing.
    sd_bus_flush_close_unref(bus_);
    close(wakeFd_);
}

void SdBusConnection::post(Task task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake();
}

bool SdBusConnection::call(const Task& task)
{
    if (thread_.get_id() == std::this_thread::get_id()) {
        task(bus_);
        return true;
    }
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> result = done->get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return false;
        tasks_.push_back([&task, done](sd_bus* bus) {
            task(bus);
            done->set_value(true);
        });
    }
    wake();
    return result.get();
}

void SdBusConnection::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void SdBusConnection::serve()
{
    // After a loss the thread stays to run what holders still hand it (releasing their slots
    // on a closed bus is still work for this thread).
    while (!stopping_) {
        runPendingTasks();
        if (!lost_) processMessages();
        waitForWork();
    }
    runPendingTasks();
}

void SdBusConnection::runPendingTasks()
{
    std::deque<Task> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
    }
    for (Task& task : tasks) task(bus_);
}

void SdBusConnection::processMessages()
{
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0 || sd_bus_is_open(bus_) <= 0) {
            loseBus(r < 0 ? -r : ECONNRESET);
            return;
        }
        if (r == 0) return;
    }
}

void SdBusConnection::waitForWork()
{
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    if (!lost_) fds[1] = {sd_bus_get_fd(bus_), short(sd_bus_get_events(bus_)), 0};
    if (poll(fds, 2, lost_ ? -1 : pollTimeout(bus_)) <= 0) return;
    if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    }
}

void SdBusConnection::loseBus(int error)
{
    lost_ = true;
    if (stopping_) return;
    DDLogError("%@: Lost the session bus: %@", std::string(std::strerror(error)));
    std::function<void()> handler;
    {
        std::lock_guard lock(lostHandlerMutex());
        handler = lostHandler();
    }
    if (handler) handler();
}

}
