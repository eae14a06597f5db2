#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

namespace tvi {

// The process-wide registry of desktop-service backends: one installed backend per
// service interface (each names itself in Service::serviceName). The program installs
// every backend once at start (in-memory or desktop ones, its choice); asking for a
// service nobody installed is a programming error and aborts with the service's name,
// so that no stand-in ever slips into a desktop run unnoticed. Tests install the
// in-memory backends in their main and swap in their own with Platform::Scoped.
// Thread-safe: any thread may get or install.
class Platform {
public:
    template <class Service>
    static std::shared_ptr<Service> get()
    {
        Slot<Service>& slot = slotFor<Service>();
        std::lock_guard lock(slot.mutex);
        if (!slot.backend) notInstalled(Service::serviceName);
        return slot.backend;
    }

    // Installs `backend` (nullptr: none, get() aborts again) and returns the one it
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
    [[noreturn]] static void notInstalled(const char* service)
    {
        std::fprintf(stderr, "Telvora: fatal: no backend installed for the desktop service %s\n", service);
        std::fflush(stderr);
        std::abort();
    }

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
