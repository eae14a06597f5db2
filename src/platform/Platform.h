#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace tvi {

// The process-wide registry of desktop-service backends: one installed backend per
// service interface. A service that nobody installed answers with its in-memory
// backend (Service::makeDefaultBackend()), so the core runs, and is tested, without a
// desktop. The desktop session installs its backends once at start; tests swap in their
// own with Platform::Scoped.
class Platform {
public:
    template <class Service>
    static std::shared_ptr<Service> get()
    {
        Slot<Service>& slot = slotFor<Service>();
        std::lock_guard lock(slot.mutex);
        if (!slot.backend) slot.backend = Service::makeDefaultBackend();
        return slot.backend;
    }

    // Installs `backend` (nullptr: back to the in-memory default) and returns the one it
    // replaces. Holders of the old backend keep it alive until they let go.
    template <class Service>
    static std::shared_ptr<Service> install(std::shared_ptr<Service> backend)
    {
        Slot<Service>& slot = slotFor<Service>();
        std::lock_guard lock(slot.mutex);
        std::swap(slot.backend, backend);
        return backend;
    }

    // Installs a backend for the lifetime of the object, then puts the previous one back.
    template <class Service>
    class Scoped {
    public:
        explicit Scoped(std::shared_ptr<Service> backend) : previous_(Platform::install<Service>(std::move(backend))) {}
        ~Scoped() { Platform::install<Service>(std::move(previous_)); }
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

    private:
        std::shared_ptr<Service> previous_;
    };

private:
    template <class Service>
    struct Slot {
        std::mutex mutex;
        std::shared_ptr<Service> backend;
    };

    template <class Service>
    static Slot<Service>& slotFor()
    {
        static Slot<Service> slot;
        return slot;
    }
};

}
