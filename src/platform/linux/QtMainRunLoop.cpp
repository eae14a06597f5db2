#include "platform/linux/QtMainRunLoop.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>

namespace tvi {
namespace {

// Qt's own command-line options (QGuiApplication and QApplication); Qt accepts them
// with one dash or two.
constexpr std::array<std::string_view, 11> kOptionsWithValue{
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "style", "stylesheet"};
constexpr std::array<std::string_view, 6> kFlags{"reverse", "nograb", "dograb", "sync", "widgetcount", "qmljsdebugger"};

void runGuarded(const DispatchQueue::Task& task)
{
    try {
        task();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Telvora: uncaught exception in a main-thread task: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Telvora: uncaught exception in a main-thread task\n");
    }
}

}

QtMainRunLoop::QtMainRunLoop() : receiver_(new QObject())
{
}

QtMainRunLoop::~QtMainRunLoop()
{
    delete receiver_;
}

std::unique_ptr<QApplication> QtMainRunLoop::installWithApplication(int& argc, char** argv)
{
    auto application = std::make_unique<QApplication>(argc, argv);
    // Telvora lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    MainRunLoop::install(std::make_unique<QtMainRunLoop>());
    return application;
}

int QtMainRunLoop::toolkitOptionValueCount(std::string_view argument)
{
    if (argument.size() < 2 || argument[0] != '-') return -1;
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    // "-qmljsdebugger=port:..." and the like carry their value after "=".
    if (const auto equals = argument.find('='); equals != std::string_view::npos) {
        const std::string_view name = argument.substr(0, equals);
        for (std::string_view option : kFlags)
            if (option == name) return 0;
        return -1;
    }
    for (std::string_view option : kOptionsWithValue)
        if (option == argument) return 1;
    for (std::string_view option : kFlags)
        if (option == argument) return 0;
    return -1;
}

void QtMainRunLoop::run()
{
    // A stop that came before run() counts (Qt itself forgets a quit() before exec()).
    if (stopRequested_.exchange(false)) return;
    QEventLoop loop;
    loop_ = &loop;
    quitting_ = false;
    scheduleDrain();
    loop.exec();
    loop_ = nullptr;
}

void QtMainRunLoop::stop()
{
    stopRequested_.store(true);
    // Acted on by the GUI thread; a stop already taken by run() or restart() is gone.
    QMetaObject::invokeMethod(
        receiver_,
        [this] {
            if (!loop_ || !stopRequested_.exchange(false)) return;
            // Inside a nested loop the outer one ends once it is back: no task runs meanwhile.
            quitting_ = true;
            loop_->quit();
        },
        Qt::QueuedConnection);
}

void QtMainRunLoop::restart()
{
    if (!loop_) stopRequested_.store(false);
}

void QtMainRunLoop::post(DispatchQueue::Task task)
{
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(task));
    }
    scheduleDrain();
}

void QtMainRunLoop::postAfter(DispatchQueue::Duration delay, DispatchQueue::Task task)
{
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
    // The timer must start on the GUI thread; when due, the task queues like any other.
    QMetaObject::invokeMethod(
        receiver_,
        [this, milliseconds, task = std::move(task)]() mutable {
            QTimer::singleShot(milliseconds, Qt::PreciseTimer, receiver_,
                               [this, task = std::move(task)]() mutable { post(std::move(task)); });
        },
        Qt::QueuedConnection);
}

void QtMainRunLoop::scheduleDrain()
{
    {
        std::lock_guard lock(mutex_);
        if (drainScheduled_ || ready_.empty()) return;
        drainScheduled_ = true;
    }
    QMetaObject::invokeMethod(receiver_, [this] { drain(); }, Qt::QueuedConnection);
}

bool QtMainRunLoop::takeNext(DispatchQueue::Task& task)
{
    std::lock_guard lock(mutex_);
    if (ready_.empty()) return false;
    task = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void QtMainRunLoop::drain()
{
    {
        std::lock_guard lock(mutex_);
        drainScheduled_ = false;
    }
    // Inside a task's nested event loop: the outer drain runs these once that task ends.
    // After a stop they wait for the next run(), which schedules a drain itself.
    if (executing_ || stopping()) return;
    // The tasks queued so far, then back to Qt's events; the rest go in the next round.
    std::size_t budget;
    {
        std::lock_guard lock(mutex_);
        budget = ready_.size();
    }
    DispatchQueue::Task task;
    while (budget-- > 0 && !stopping() && takeNext(task)) {
        executing_ = true;
        runGuarded(task);
        executing_ = false;
        task = nullptr;
    }
    if (!stopping()) scheduleDrain();
}

QtMainRunLoop::TaskHold::TaskHold() : loop_(dynamic_cast<QtMainRunLoop*>(&MainRunLoop::shared()))
{
    if (!loop_) return;
    wasExecuting_ = loop_->executing_;
    loop_->executing_ = true;
}

QtMainRunLoop::TaskHold::~TaskHold()
{
    if (!loop_) return;
    loop_->executing_ = wasExecuting_;
    // Outside any task, the drains skipped meanwhile are owed now.
    if (!wasExecuting_) loop_->scheduleDrain();
}

bool QtMainRunLoop::stopping() const
{
    return quitting_ || stopRequested_.load();
}

}
