#pragma once

#include "foundation/MainRunLoop.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>

class QApplication;
class QEventLoop;
class QObject;

namespace tvi {

// The main run loop of desktop mode: main-queue tasks run on Qt's GUI thread, between
// Qt's own events, so that windows and modal alerts share the main thread with the core.
//
// Tasks wait in a list of their own; a queued call to the GUI thread runs them. While a
// task runs, a nested event loop (a modal alert's) runs no other task: the tasks queued
// meanwhile run after it, in order, so no task ever starts inside a half-finished one.
// Delayed tasks join the list when due (a QTimer), under the same rule.
class QtMainRunLoop final : public MainRunLoop {
public:
    // Needs the QApplication; call on the GUI thread.
    QtMainRunLoop();
    ~QtMainRunLoop() override;

    void run() override;
    void stop() override;
    void restart() override;
    void post(DispatchQueue::Task task) override;
    void postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task) override;

    // Creates the QApplication (after the caller has set the signal mask: Qt's threads
    // inherit it) and installs a QtMainRunLoop as the main run loop; tasks posted to the
    // loop it replaces move over. Qt removes its own options from argv.
    static std::unique_ptr<QApplication> installWithApplication(int& argc, char** argv);

    // How many arguments a Qt command-line option takes along: -1 when `argument` is
    // not one of Qt's options, else 0 or 1 (its value follows as the next argument).
    static int toolkitOptionValueCount(std::string_view argument);

    // While one lives (GUI thread), no task starts: for a nested event loop run outside any
    // task, such as a modal alert shown from a window's event handler. Tasks queued meanwhile
    // run once the last hold is gone. Does nothing when another run loop is installed.
    class TaskHold {
    public:
        TaskHold();
        ~TaskHold();
        TaskHold(const TaskHold&) = delete;
        TaskHold& operator=(const TaskHold&) = delete;

    private:
        QtMainRunLoop* loop_;
        bool wasExecuting_ = false;
    };

private:
    void scheduleDrain();
    void drain();
    bool takeNext(DispatchQueue::Task& task);
    bool stopping() const;

    QObject* receiver_;                  // lives on the GUI thread
    QEventLoop* loop_ = nullptr;         // run()'s loop; GUI thread only
    bool executing_ = false;             // a task is running; GUI thread only
    bool quitting_ = false;              // run()'s loop was told to quit; GUI thread only
    std::atomic<bool> stopRequested_{false};

    std::mutex mutex_;
    std::deque<DispatchQueue::Task> ready_;
    bool drainScheduled_ = false;
};

}
