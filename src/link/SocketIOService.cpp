#include "link/SocketIOService.h"

namespace tvi {

SocketIOService& SocketIOService::shared()
{
    // Deliberately immortal: see the class comment.
    static SocketIOService* const service = new SocketIOService();
    return *service;
}

SocketIOService::SocketIOService()
    : context_(1), guard_(asio::make_work_guard(context_)), thread_([this] { run(); })
{
}

void SocketIOService::run()
{
    // Handlers do not throw; should one ever do, keep serving the other sockets.
    for (;;) {
        try {
            context_.run();
            return;
        } catch (...) {
        }
    }
}

}
