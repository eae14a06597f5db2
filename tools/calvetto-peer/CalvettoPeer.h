#pragma once

#include "link/TVISocketMessage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tvi::peer {

// A blocking link client that speaks Telvora's framing, as Calvetto does.
class CalvettoPeer {
public:
    using Clock = std::chrono::steady_clock;

    CalvettoPeer() = default;
    ~CalvettoPeer();
    CalvettoPeer(const CalvettoPeer&) = delete;
    CalvettoPeer& operator=(const CalvettoPeer&) = delete;

    // "$HOME/Library/Application Support/Telvora/serverport.txt"
    static std::string defaultPortFile();
    // The port in the file, or nullopt when it is missing or not a port number.
    static std::optional<std::uint16_t> readPortFile(const std::string& path);

    // Connects to host (numeric IPv4 or IPv6) and port. False with `error` set on failure.
    bool connect(const std::string& host, std::uint16_t port, std::string* error = nullptr);
    bool isConnected() const { return fd_ >= 0; }
    void close();

    // Sends bytes as they are (may be several messages, or a malformed one).
    bool sendRaw(const Bytes& bytes);
    bool send(std::uint8_t type, const Bytes& payload = {});

    // The next whole message (type + payload), or nullopt on time-out or when
    // the connection closed (see closedByPeer()).
    std::optional<TVISocketMessage> receive(std::chrono::milliseconds timeout);
    // Raw bytes that arrive within the time-out (for byte-exact checks).
    Bytes receiveBytes(std::size_t count, std::chrono::milliseconds timeout);
    bool closedByPeer() const { return closed_; }

    // One printable line: "<- 0x08   8 Button_Combination_MakeCall_Accepted 010c"
    static std::string describe(const char* direction, std::uint8_t type, const Bytes& payload);

private:
    bool fill(std::chrono::milliseconds timeout);

    int fd_ = -1;
    bool closed_ = false;
    Bytes buffer_;
};

}
