#include "platform/memory/MemoryBackends.h"

#include "platform/Platform.h"
#include "platform/memory/MemoryAccessibility.h"
#include "platform/memory/MemoryAlerts.h"
#include "platform/memory/MemoryDesktopNotifications.h"
#include "platform/memory/MemoryDistributedNotifications.h"
#include "platform/memory/MemoryHotKeys.h"
#include "platform/memory/MemoryKeyEvents.h"
#include "platform/memory/MemoryKeyboardLayout.h"
#include "platform/memory/MemoryLoginItems.h"
#include "platform/memory/MemoryPasteboard.h"
#include "platform/memory/MemorySessionCommands.h"
#include "platform/memory/MemorySystemInformation.h"
#include "platform/memory/MemoryWorkspace.h"

#include <functional>
#include <utility>

namespace tvi {
namespace {

struct Entry {
    const char* service;
    std::function<void()> install;
};

template <class Service, class Backend>
Entry entry()
{
    return {Service::serviceName, [] { Platform::install<Service>(std::make_shared<Backend>()); }};
}

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> table{
        entry<HotKeys, MemoryHotKeys>(),
        entry<KeyboardLayout, MemoryKeyboardLayout>(),
        entry<KeyEvents, MemoryKeyEvents>(),
        entry<Pasteboard, MemoryPasteboard>(),
        entry<Workspace, MemoryWorkspace>(),
        entry<Accessibility, MemoryAccessibility>(),
        entry<Alerts, MemoryAlerts>(),
        entry<DistributedNotifications, MemoryDistributedNotifications>(),
        entry<LoginItems, MemoryLoginItems>(),
        entry<SystemInformation, MemorySystemInformation>(),
        entry<SessionCommands, MemorySessionCommands>(),
        entry<DesktopNotifications, MemoryDesktopNotifications>(),
    };
    return table;
}

}

std::vector<BackendReport> MemoryBackends::installAll(const std::string& fallbackReason)
{
    std::vector<BackendReport> reports;
    for (const Entry& e : entries()) {
        e.install();
        reports.push_back({e.service, kBackendName, fallbackReason});
    }
    return reports;
}

bool MemoryBackends::install(const std::string& service)
{
    for (const Entry& e : entries()) {
        if (service != e.service) continue;
        e.install();
        return true;
    }
    return false;
}

std::vector<std::string> MemoryBackends::services()
{
    std::vector<std::string> names;
    for (const Entry& e : entries()) names.emplace_back(e.service);
    return names;
}

}
