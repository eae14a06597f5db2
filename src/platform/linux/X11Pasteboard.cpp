#include "platform/linux/X11Pasteboard.h"

#include "platform/linux/X11ClipboardConnection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <future>

namespace tvi {

using Selection = X11ClipboardConnection::Selection;

std::shared_ptr<X11Pasteboard> X11Pasteboard::create(std::string& whyUnavailable)
{
    std::unique_ptr<X11ClipboardConnection> connection = X11ClipboardConnection::open(whyUnavailable);
    if (!connection) return nullptr;
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        whyUnavailable = "cannot create an event descriptor";
        return nullptr;
    }
    return std::shared_ptr<X11Pasteboard>(new X11Pasteboard(std::move(connection), wake));
}

X11Pasteboard::X11Pasteboard(std::unique_ptr<X11ClipboardConnection> connection, int wakeDescriptor)
    : connection_(std::move(connection)), wakeDescriptor_(wakeDescriptor)
{
    connection_->setOwnerChanged([this] { changed(); });
    thread_ = std::thread([this] { run(); });
}

X11Pasteboard::~X11Pasteboard()
{
    {
        std::lock_guard lock(tasksMutex_);
        ending_ = true;
    }
    const std::uint64_t one = 1;
    (void)!write(wakeDescriptor_, &one, sizeof one);
    thread_.join();
    connection_.reset();
    close(wakeDescriptor_);
}

bool X11Pasteboard::isAvailable() const { return running_.load(); }

std::int64_t X11Pasteboard::changeCount() const { return changeCount_.load(); }

std::optional<std::string> X11Pasteboard::plainText() const
{
    std::optional<std::string> text;
    onConnectionThread([&] { text = connection_->readText(Selection::Clipboard); });
    return text;
}

bool X11Pasteboard::canSignalChanges() const { return true; }

Pasteboard::ListenerToken X11Pasteboard::addChangeListener(ChangeListener listener)
{
    return listeners_.add(std::move(listener));
}

void X11Pasteboard::removeChangeListener(ListenerToken token) { listeners_.remove(token); }

bool X11Pasteboard::takeClipboardOwnership()
{
    bool taken = false;
    onConnectionThread([&] {
        if (connection_->ownsClipboard()) {
            taken = true;
            return;
        }
        taken = connection_->ownClipboard(connection_->readText(Selection::Clipboard));
    });
    return taken;
}

bool X11Pasteboard::copyPrimaryToClipboard()
{
    bool copied = false;
    onConnectionThread([&] {
        std::optional<std::string> text = connection_->readText(Selection::Primary);
        if (!text) return;
        copied = connection_->ownClipboard(std::move(text));
        // Telvora's own write stands for the terminal's copy; XFixes reports it as ours.
        if (copied) changed();
    });
    return copied;
}

void X11Pasteboard::changed()
{
    ++changeCount_;
    listeners_.notifyAll();
}

bool X11Pasteboard::onConnectionThread(const std::function<void()>& task) const
{
    if (std::this_thread::get_id() == thread_.get_id()) {
        task();
        return true;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
        std::lock_guard lock(tasksMutex_);
        if (ending_ || !running_.load()) return false;
        tasks_.push_back([&] {
            task();
            done.set_value();
        });
    }
    const std::uint64_t one = 1;
    (void)!write(wakeDescriptor_, &one, sizeof one);
    finished.wait();
    return true;
}

void X11Pasteboard::runQueuedTasks()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(tasksMutex_);
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void X11Pasteboard::run()
{
    pollfd descriptors[2] = {{connection_->fileDescriptor(), POLLIN, 0}, {wakeDescriptor_, POLLIN, 0}};
    for (;;) {
        runQueuedTasks();
        {
            std::lock_guard lock(tasksMutex_);
            if (ending_) break;
        }
        if (!connection_->dispatchPending()) break;
        // No time-out: an idle pasteboard never wakes this thread.
        if (poll(descriptors, 2, -1) < 0 && errno != EINTR) break;
        if (descriptors[0].revents & (POLLHUP | POLLERR)) break;
        std::uint64_t wakes = 0;
        (void)!read(wakeDescriptor_, &wakes, sizeof wakes);
    }
    {
        std::lock_guard lock(tasksMutex_);
        running_ = false;
    }
    runQueuedTasks(); // nobody may be left waiting
    listeners_.notifyAll();
}

}
