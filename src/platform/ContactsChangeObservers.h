#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tvi {

// The change observers of a contacts backend, delivered on the main queue. Each delivery looks
// its handler up again when it runs, so an observer removed meanwhile is not called; the list
// is shared with queued deliveries, which may run after the backend is gone. Any thread.
class ContactsChangeObservers {
public:
    using Handler = std::function<void()>;

    // The owner groups observations for remove(); it is never dereferenced.
    void add(const void* owner, Handler handler);
    void remove(const void* owner);
    // Queues one call of every observer on the main queue.
    void notify();

private:
    struct List {
        std::mutex mutex;
        std::vector<std::pair<const void*, std::shared_ptr<Handler>>> entries;
    };
    std::shared_ptr<List> list_ = std::make_shared<List>();
};

}
