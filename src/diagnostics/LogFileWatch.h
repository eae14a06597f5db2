#pragma once

#include "foundation/DispatchQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tvi {

// Watches an open file for deletion or renaming (inotify, on a small thread of
// its own) and runs the handler on the given queue. After cancel() — which
// must be called on that queue — the handler never runs.
class LogFileWatch {
public:
    // Empty when the watch cannot be set up (the file is then simply not watched).
    static std::unique_ptr<LogFileWatch> start(const std::string& path, int fileDescriptor, DispatchQueuePtr queue,
                                               std::function<void()> handler);
    ~LogFileWatch();
    LogFileWatch(const LogFileWatch&) = delete;
    LogFileWatch& operator=(const LogFileWatch&) = delete;

    void cancel();

private:
    LogFileWatch(int inotifyFd, int wakeFd, int fileFd, DispatchQueuePtr queue, std::function<void()> handler);
    void run();
    void fire();
    bool fileUnlinked() const;

    int inotifyFd_;
    int wakeFd_;
    int fileFd_; // our own duplicate: the logger may close its descriptor at any time
    DispatchQueuePtr queue_;
    std::function<void()> handler_;
    std::shared_ptr<std::atomic<bool>> active_;
    bool fired_ = false;
    std::thread thread_;
};

}
