// Owns org.freedesktop.Notifications on the session bus and prints one line per Notify call:
//   Notify app=<application> summary=<summary> body=<body>
// After taking the name it prints "ready". Ends on SIGTERM, or when the bus goes away.
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>

namespace {

unsigned lastId = 0;

int notify(sd_bus_message* message, void*, sd_bus_error*)
{
    const char* app = nullptr;
    unsigned replaces = 0;
    const char* icon = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    const int r = sd_bus_message_read(message, "susss", &app, &replaces, &icon, &summary, &body);
    if (r < 0) return r;
    std::printf("Notify app=%s summary=%s body=%s\n", app, summary, body);
    std::fflush(stdout);
    return sd_bus_reply_method_return(message, "u", ++lastId);
}

int capabilities(sd_bus_message* message, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(message, "as", 1, "body");
}

int serverInformation(sd_bus_message* message, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(message, "ssss", "telvora-notification-server", "Telvora tests", "1.0", "1.2");
}

int closeNotification(sd_bus_message* message, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(message, "");
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", notify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetCapabilities", "", "as", capabilities, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetServerInformation", "", "ssss", serverInformation, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CloseNotification", "u", "", closeNotification, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}

int main()
{
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        std::fprintf(stderr, "no session bus: %s\n", std::strerror(-r));
        return 1;
    }
    r = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                 kVtable, nullptr);
    if (r >= 0) r = sd_bus_request_name(bus, "org.freedesktop.Notifications", 0);
    if (r < 0) {
        std::fprintf(stderr, "cannot serve org.freedesktop.Notifications: %s\n", std::strerror(-r));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        if (sd_bus_wait(bus, UINT64_MAX) < 0) break;
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
