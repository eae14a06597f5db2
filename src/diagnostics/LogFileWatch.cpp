#include "diagnostics/LogFileWatch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace tvi {

std::unique_ptr<LogFileWatch> LogFileWatch::start(const std::string& path, int fileDescriptor, DispatchQueuePtr queue,
                                                  std::function<void()> handler)
{
    const int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) return nullptr;
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int fileFd = fcntl(fileDescriptor, F_DUPFD_CLOEXEC, 0);
    if (wakeFd < 0 || fileFd < 0) {
        ::close(inotifyFd);
        if (wakeFd >= 0) ::close(wakeFd);
        if (fileFd >= 0) ::close(fileFd);
        return nullptr;
    }
    // An unlink shows as IN_ATTRIB (the link count drops) while the file is
    // still open; IN_DELETE_SELF would only come after the last close.
    const bool watching = inotify_add_watch(inotifyFd, path.c_str(), IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF) >= 0;
    std::unique_ptr<LogFileWatch> watch(
        new LogFileWatch(inotifyFd, wakeFd, fileFd, std::move(queue), std::move(handler)));
    // Gone before the watch was in place: report it at once.
    if (!watching || watch->fileUnlinked()) watch->fire();
    watch->thread_ = std::thread([raw = watch.get()] { raw->run(); });
    return watch;
}

LogFileWatch::LogFileWatch(int inotifyFd, int wakeFd, int fileFd, DispatchQueuePtr queue,
                           std::function<void()> handler)
    : inotifyFd_(inotifyFd),
      wakeFd_(wakeFd),
      fileFd_(fileFd),
      queue_(std::move(queue)),
      handler_(std::move(handler)),
      active_(std::make_shared<std::atomic<bool>>(true))
{
}

LogFileWatch::~LogFileWatch()
{
    cancel();
    ::close(inotifyFd_);
    ::close(wakeFd_);
    ::close(fileFd_);
}

void LogFileWatch::cancel()
{
    active_->store(false);
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
}

bool LogFileWatch::fileUnlinked() const
{
    struct stat info {};
    return ::fstat(fileFd_, &info) == 0 && info.st_nlink == 0;
}

void LogFileWatch::fire()
{
    if (fired_) return;
    fired_ = true;
    queue_->async([active = active_, handler = handler_] {
        if (active->load()) handler();
    });
}

void LogFileWatch::run()
{
    alignas(inotify_event) char buffer[4096];
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (true) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const ssize_t length = ::read(inotifyFd_, buffer, sizeof buffer);
        if (length <= 0) continue;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const bool gone = (event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED)) ||
                              ((event->mask & IN_ATTRIB) && fileUnlinked());
            if (gone) fire();
        }
    }
}

}
