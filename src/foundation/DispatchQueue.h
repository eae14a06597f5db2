#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tvi {

// A serial task queue: tasks run one at a time, in submission order.
// Serial queues are strands over a small shared thread pool; the main queue
// is served by the main run loop (see MainRunLoop).
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    using Task = std::function<void()>;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~DispatchQueue() = default;

    // A new serial queue with the given label ("socketQueue", "cocoa.lumberjack" …).
    static std::shared_ptr<DispatchQueue> createSerial(std::string label);
    // The process's main queue, served on the main thread by MainRunLoop.
    static std::shared_ptr<DispatchQueue> main();
    // The queue whose task is running on the calling thread, or nullptr.
    static DispatchQueue* current();

    const std::string& label() const { return label_; }
    bool isCurrent() const { return current() == this; }

    virtual void async(Task task) = 0;
    // Runs the task and returns after it finished. Calling sync onto the queue
    // that is running the caller is a programming error: it aborts with a message.
    void sync(const Task& task);
    // Runs the task on this queue once the delay has passed.
    virtual void after(Duration delay, Task task) = 0;

protected:
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}
    // How sync() runs the task once the self-deadlock check has passed. The default
    // queues it with async() and waits; serial queues run it on the caller's thread.
    virtual void runSync(const Task& task);

private:
    std::string label_;
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

}
