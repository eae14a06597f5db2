#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct sd_bus;

namespace tvi {

// The process's connection to the user's session bus, served by a thread of its own (poll on
// the bus's descriptor and on a wake-up eventfd). An sd_bus must only ever be used by one
// thread, so every use happens on that thread: other threads hand it work with post() or
// call(). Message handlers run on the bus thread; the services built on it hand their
// results on to the main queue.
class SdBusConnection {
public:
    using Task = std::function<void(sd_bus*)>;

    // The shared session-bus connection, opened on first use and closed when the last holder
    // lets go; nullptr (with the reason in `why`) when no session bus can be reached.
    static std::shared_ptr<SdBusConnection> session(std::string& why);
    // Called once, on the bus thread, when a running connection loses the bus (the session
    // ends); the session's shutdown sequence hooks in here. Only logged when empty.
    static void setConnectionLostHandler(std::function<void()> handler);

    ~SdBusConnection();
    SdBusConnection(const SdBusConnection&) = delete;
    SdBusConnection& operator=(const SdBusConnection&) = delete;

    // Runs the task on the bus thread, in posting order. After a loss tasks still run, on a
    // closed bus (sd-bus calls then fail with ENOTCONN).
    void post(Task task);
    // Runs the task on the bus thread and waits for it (runs it at once on the bus thread);
    // false only while the connection is being closed.
    bool call(const Task& task);
    bool isLost() const { return lost_; }

private:
    SdBusConnection(sd_bus* bus, int wakeFd);
    void serve();
    void runPendingTasks();
    void processMessages();
    void waitForWork();
    void wake();
    void loseBus(int error);

    sd_bus* bus_;
    int wakeFd_;
    std::mutex mutex_;
    std::deque<Task> tasks_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> lost_{false};
    std::thread thread_;
};

}
