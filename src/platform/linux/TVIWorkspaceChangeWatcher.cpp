#include "platform/linux/TVIWorkspaceChangeWatcher.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tvi {

TVIWorkspaceChangeWatcher::TVIWorkspaceChangeWatcher(std::function<void()> changed) : changed_(std::move(changed))
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return;
    const char* name = "_NET_CURRENT_DESKTOP";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (!reply) return;
    currentDesktopAtom_ = reply->atom;
    std::free(reply);
    if (const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data)
        rootWindow_ = screen->root;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TVIWorkspaceChangeWatcher::~TVIWorkspaceChangeWatcher()
{
    if (currentDesktopAtom_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TVIWorkspaceChangeWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY) return false;
    const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
    if (property->atom == currentDesktopAtom_ && property->window == rootWindow_ && changed_) changed_();
    return false;
}

}
