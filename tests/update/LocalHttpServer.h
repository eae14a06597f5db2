#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the update-check tests: one thread, one request
// per connection, answers from a handler. Every wait is bounded so that a broken client
// cannot hang a test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tvi::test {

class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::vector<std::string> headers; // "Location: /x"
        bool neverAnswer = false;         // keep the connection open and silent

        static Response withStatus(int status, std::string body) { return {status, std::move(body), {}, false}; }
        static Response redirect(const std::string& location) { return {302, "", {"Location: " + location}, false}; }
        static Response silence() { return {200, "", {}, true}; }
    };
    using Handler = std::function<Response(const std::string& path)>;

    explicit LocalHttpServer(Handler handler) : handler_(std::move(handler))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~LocalHttpServer()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : silent_) ::close(fd);
        if (listener_ >= 0) ::close(listener_);
    }

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requestCount() const { return requests_; }
    std::vector<std::string> paths() const
    {
        std::lock_guard lock(mutex_);
        return paths_;
    }

    // A port on which nobody listens (bound, then released).
    static std::uint16_t closedPort()
    {
        LocalHttpServer server([](const std::string&) { return Response::withStatus(404, ""); });
        return server.port();
    }

private:
    void serve()
    {
        while (!stop_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            answer(client);
        }
    }

    void answer(int client)
    {
        std::string request;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (request.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline &&
               !stop_) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 20) <= 0) continue;
            char buffer[1024];
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        const auto pathStart = request.find(' ');
        const auto pathEnd = request.find(' ', pathStart + 1);
        const std::string path =
            pathStart == std::string::npos || pathEnd == std::string::npos ? "" : request.substr(pathStart + 1, pathEnd - pathStart - 1);
        {
            std::lock_guard lock(mutex_);
            paths_.push_back(path);
        }
        ++requests_;
        const Response response = handler_(path);
        if (response.neverAnswer) {
            silent_.push_back(client);
            return;
        }
        std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " Test\r\nContent-Length: " +
                            std::to_string(response.body.size()) + "\r\nConnection: close\r\n";
        for (const auto& header : response.headers) reply += header + "\r\n";
        reply += "\r\n" + response.body;
        std::size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        ::close(client);
    }

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> paths_;
    std::vector<int> silent_; // touched by the serving thread, then by the destructor after join
};

}
