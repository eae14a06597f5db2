#include "platform/linux/X11DisplayLoss.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QGuiApplication>

#include <atomic>
#include <string>

namespace tvi {

void X11DisplayLoss::install(std::function<void()> requestShutdown)
{
    X11ErrorTrap::setConnectionLostHandler([requestShutdown = std::move(requestShutdown)](const std::string& name) {
        // Every connection reports its loss; one shutdown request is enough.
        static std::atomic<bool> requested{false};
        if (requested.exchange(true)) return;
        DDLogWarn("%@: X display %@ is gone (the session ends?): shutting down", name);
        requestShutdown();
    });
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        X11ErrorTrap::adopt(x11->display());
}

}
