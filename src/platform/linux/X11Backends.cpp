#include "platform/linux/X11Backends.h"

#include "platform/Platform.h"
#include "platform/linux/SdBusDesktopNotifications.h"
#include "platform/linux/SdBusDistributedNotifications.h"
#include "platform/linux/SdBusSessionCommands.h"
#include "platform/linux/QtAlerts.h"
#include "platform/linux/X11Accessibility.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/linux/X11KeyEvents.h"
#include "platform/linux/X11KeyboardLayout.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Workspace.h"
#include "platform/linux/LinuxMailComposer.h"
#include "platform/linux/VCardContacts.h"
#include "platform/linux/LinuxSystemInformation.h"
#include "platform/linux/XdgLoginItems.h"
#include "platform/linux/XdgUrlSchemeHandlers.h"
#include "platform/memory/MemoryBackends.h"

#include <algorithm>
#include <memory>

namespace tvi {
namespace {

constexpr const char* kX11 = "X11";
constexpr const char* kDBus = "D-Bus";

// Installs `backend` for Service when there is one, else the in-memory backend, and
// reports which.
template <class Service, class Backend>
void installOne(std::vector<BackendReport>& reports, std::shared_ptr<Backend> backend, const std::string& whyNot,
                const char* backendName = kX11)
{
    if (backend) {
        Platform::install<Service>(std::move(backend));
        reports.push_back({Service::serviceName, backendName, {}});
        return;
    }
    MemoryBackends::install(Service::serviceName);
    reports.push_back({Service::serviceName, MemoryBackends::kBackendName, whyNot.empty() ? "unavailable" : whyNot});
}

}

std::vector<BackendReport> X11Backends::install()
{
    // Services without a desktop backend yet (and the order of the start-up line) come from
    // the in-memory set; the X11 ones replace theirs below.
    std::vector<BackendReport> memory = MemoryBackends::installAll("no desktop backend yet");
    std::vector<BackendReport> reports;

    std::string why;
    installOne<HotKeys>(reports, X11HotKeys::create(why), why);
    why.clear();
    installOne<KeyboardLayout>(reports, X11KeyboardLayout::create(why), why);
    why.clear();
    std::shared_ptr<X11Pasteboard> pasteboard = X11Pasteboard::create(why);
    installOne<Pasteboard>(reports, pasteboard, why);
    why.clear();
    // The key poster takes the clipboard around a synthetic copy, so it needs the pasteboard.
    installOne<KeyEvents>(reports, X11KeyEvents::create(why, pasteboard), why);
    why.clear();
    installOne<Workspace>(reports, X11Workspace::create(why), why);
    why.clear();
    installOne<Accessibility>(reports, X11Accessibility::create(why), why);
    why.clear();
    installOne<DistributedNotifications>(reports, SdBusDistributedNotifications::create(why), why, kDBus);
    why.clear();
    installOne<SessionCommands>(reports, SdBusSessionCommands::create(why), why, kDBus);
    why.clear();
    installOne<DesktopNotifications>(reports, SdBusDesktopNotifications::create(why), why, kDBus);
    why.clear();
    installOne<LoginItems>(reports, XdgLoginItems::create(), {}, "XDG autostart");
    installOne<SystemInformation>(reports, std::make_shared<LinuxSystemInformation>(), {}, "Linux");
    why.clear();
    installOne<Alerts>(reports, QtAlerts::create(why), why);
    installOne<MailComposer>(reports, std::make_shared<LinuxMailComposer>(), {}, "SMTP or xdg-email");
    installOne<UrlSchemeHandlers>(reports, std::make_shared<XdgUrlSchemeHandlers>(), {}, "XDG MIME");
    installOne<Contacts>(reports, std::make_shared<VCardContacts>(VCardContacts::defaultSource()), {}, "vCard");

    // Keep the in-memory set's order; services the X11 set does not cover stay in memory.
    for (BackendReport& entry : memory) {
        auto x11 = std::find_if(reports.begin(), reports.end(),
                                [&](const BackendReport& r) { return r.service == entry.service; });
        if (x11 != reports.end()) entry = *x11;
    }
    return memory;
}

}
