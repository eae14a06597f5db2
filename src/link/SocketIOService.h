#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <thread>

namespace tvi {

// The one event loop under every GCDAsyncSocket: a process-wide io_context run
// by a single thread. Its completion handlers only hop onto the owning socket's
// queue, so they stay short and never block. It is never destroyed, so sockets
// held by other long-lived objects can still close cleanly at exit.
class SocketIOService {
public:
    static SocketIOService& shared();

    asio::io_context& context() { return context_; }

    SocketIOService(const SocketIOService&) = delete;
    SocketIOService& operator=(const SocketIOService&) = delete;

private:
    SocketIOService();
    void run();

    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
};

}
