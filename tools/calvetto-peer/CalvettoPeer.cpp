#include "CalvettoPeer.h"

#include "PeerCommand.h"
#include "link/TVIMessageTypes.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tvi::peer {

CalvettoPeer::~CalvettoPeer() { close(); }

std::string CalvettoPeer::defaultPortFile()
{
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/Library/Application Support/Telvora/serverport.txt";
}

std::optional<std::uint16_t> CalvettoPeer::readPortFile(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    if (!in || !std::getline(in, text) || text.empty() || text.size() > 5) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const unsigned long port = std::stoul(text);
    if (port == 0 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

bool CalvettoPeer::connect(const std::string& host, std::uint16_t port, std::string* error)
{
    close();
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    } else {
        if (error) *error = "not a numeric address: " + host;
        return false;
    }
    fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        if (error) *error = std::strerror(errno);
        close();
        return false;
    }
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    closed_ = false;
    buffer_.clear();
    return true;
}

void CalvettoPeer::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool CalvettoPeer::sendRaw(const Bytes& bytes)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool CalvettoPeer::send(std::uint8_t type, const Bytes& payload)
{
    TVISocketMessage message;
    message.setMsgType(type);
    message.setMsgPayload(payload);
    return sendRaw(message.convertToNSData());
}

bool CalvettoPeer::fill(std::chrono::milliseconds timeout)
{
    if (fd_ < 0 || closed_) return false;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return false;
    std::uint8_t chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    buffer_.insert(buffer_.end(), chunk, chunk + n);
    return true;
}

std::optional<TVISocketMessage> CalvettoPeer::receive(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (!buffer_.empty() && buffer_[0] != 0 && buffer_.size() >= std::size_t(buffer_[0]) + 1) {
            const std::size_t end = std::size_t(buffer_[0]) + 1;
            Bytes body(buffer_.begin() + 1, buffer_.begin() + static_cast<long>(end));
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(end));
            return TVISocketMessage::initWithData(body);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !fill(left)) return std::nullopt;
    }
}

Bytes CalvettoPeer::receiveBytes(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (buffer_.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !fill(left)) break;
    }
    const std::size_t n = std::min(count, buffer_.size());
    Bytes out(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
    return out;
}

std::string CalvettoPeer::describe(const char* direction, std::uint8_t type, const Bytes& payload)
{
    char head[32];
    std::snprintf(head, sizeof head, "%s 0x%02x %3u ", direction, type, type);
    std::string line = head;
    line += std::string(TVIMessageTypes::name(type).value_or("(unassigned)"));
    if (!payload.empty()) line += " " + toHex(payload);
    return line;
}

}
