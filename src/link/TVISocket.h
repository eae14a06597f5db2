#pragma once

#include "foundation/DispatchQueue.h"
#include "link/GCDAsyncSocket.h"
#include "link/TVISocketController.h"
#include "link/TVISocketMessage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

class NotificationCenter;

// The local link server Calvetto connects to. It listens on a port the system
// chooses (loopback only), publishes the port in "serverport.txt", reads framed
// messages one after another from every client, hands them to command processing
// on the main queue and writes replies and Telvora's own messages back.
class TVISocket : public GCDAsyncSocketDelegate, public std::enable_shared_from_this<TVISocket> {
public:
    using SocketPtr = std::shared_ptr<GCDAsyncSocket>;
    // Receives each message body (type byte + payload) with its connection, on the main queue.
    using CommandProcessor = std::function<void(const SocketPtr& connection, const Bytes& body)>;

    static constexpr long kHeaderTag = 1113;
    static constexpr long kBodyTag = 1114;
    static constexpr long kReplyTag = 1115;
    static constexpr long kUnsolicitedTag = 1117;

    static std::shared_ptr<TVISocket> create();
    ~TVISocket() override;

    void setController(std::weak_ptr<TVISocketController> controller) { controller_ = std::move(controller); }
    // Replaces command processing (benchmarks and fuzzing use a trivial one).
    void setCommandProcessor(CommandProcessor processor) { commandProcessor_ = std::move(processor); }

    void startServer();
    void stopServer();
    bool isRunning() const { return isRunning_; }
    // The listening port, 0 when not running.
    std::uint16_t port() const;
    void createServerPortFile(std::uint16_t port);
    static std::optional<std::string> serverPortFilePath();

    // Sends an encoded message to the first connected client.
    void writeData(const Bytes& data);
    // The one place where outgoing messages are built. A payload that cannot be
    // framed (over 254 bytes) is refused: the result is then empty.
    Bytes constructResponse(std::uint8_t type, const std::optional<Bytes>& payload);

    // Command processing (main queue).
    void processCommand(const SocketPtr& connection, const Bytes& body);
    static std::optional<std::string> decodeIpFromMessagePayload(const Bytes& payload);
    // Key-combination decoding: returns the reply type.
    std::uint8_t translateMsgPayLoadToKeys(const Bytes& payload, std::uint8_t keyIdentifier);
    static std::uint32_t bcdToIntegerConversion(std::size_t count, const std::uint8_t* bcdBuffer);

    // Asked on the listening socket's queue: accepted connections run on
    // "socketQueue" itself, so their events reach the callbacks without a hand-off.
    DispatchQueuePtr newSocketQueueForConnectionFromAddress(const std::vector<std::uint8_t>& address,
                                                            const SocketPtr& sock) override;
    // Socket callbacks, all on "socketQueue".
    void socketDidAcceptNewSocket(const SocketPtr& sock, const SocketPtr& newSocket) override;
    void socketDidReadDataWithTag(const SocketPtr& sock, const std::vector<std::uint8_t>& data, long tag) override;
    void socketDidWriteDataWithTag(const SocketPtr& sock, long tag) override;
    std::optional<double> socketShouldTimeoutReadWithTagElapsedBytesDone(const SocketPtr& sock, long tag,
                                                                        double elapsed, std::size_t bytesDone) override;
    void socketDidDisconnectWithError(const SocketPtr& sock, const std::optional<Error>& error) override;

    std::size_t connectedSocketCount() const;

private:
    TVISocket();
    void init();
    // Listens on the loopback addresses, on IPv4 alone when IPv6 cannot be had.
    bool listen();
    bool isOwnUsersConnection(const GCDAsyncSocket& connection) const;
    // Writes a reply to the connection the request came from.
    void reply(const SocketPtr& connection, std::uint8_t type);
    void withController(const std::function<void(TVISocketController&)>& call) const;
    void switchAllShortcuts(bool enabled);
    void switchShortcutOff(std::uint8_t deleteRequest);
    void setLastSavedIpString(const std::optional<std::string>& address);

    DispatchQueuePtr socketQueue_;
    SocketPtr listenSocket_;
    mutable std::mutex connectedSocketsMutex_;
    std::vector<SocketPtr> connectedSockets_;
    std::atomic<bool> isRunning_{false};
    NotificationCenter& notificationCenter_;
    std::weak_ptr<TVISocketController> controller_;
    CommandProcessor commandProcessor_;
};

}
