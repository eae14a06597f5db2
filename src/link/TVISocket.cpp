#include "link/TVISocket.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/DirectoryLocations.h"
#include "foundation/NotificationCenter.h"
#include "link/TVISocketPeerOwner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tvi {
namespace {

// The only peer is Calvetto on this machine; listening anywhere else would hand
// every dialled number to whichever host connects first.
constexpr const char* kListenInterface = "loopback";

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}

std::shared_ptr<TVISocket> TVISocket::create()
{
    std::shared_ptr<TVISocket> server(new TVISocket());
    server->init();
    return server;
}

TVISocket::TVISocket() : notificationCenter_(NotificationCenter::defaultCenter())
{
    commandProcessor_ = [this](const SocketPtr& connection, const Bytes& body) { processCommand(connection, body); };
}

void TVISocket::init()
{
    socketQueue_ = DispatchQueue::createSerial("socketQueue");
    connectedSockets_.reserve(1);
    listenSocket_ = GCDAsyncSocket::create(weak_from_this(), socketQueue_);
}

TVISocket::~TVISocket()
{
    stopServer();
    isRunning_ = false;
}

void TVISocket::startServer()
{
    if (isRunning_) {
        DDLogWarn("%@: Telvora is already running");
        return;
    }
    if (!listen()) return;
    const std::uint16_t port = listenSocket_->localPort();
    createServerPortFile(port);
    DDLogInfo("%@: Telvora server started on port %hu", port);
    isRunning_ = true;
}

bool TVISocket::listen()
{
    Error error;
    if (listenSocket_->acceptOnInterface(kListenInterface, 0, &error)) return true;
    // IPv6 loopback kept the port IPv4 was given (or has none): a link over IPv4
    // alone beats a session without one, and Calvetto connects to 127.0.0.1.
    Error ipv4Error;
    listenSocket_->setIPv6Enabled(false);
    const bool listening = listenSocket_->acceptOnInterface(kListenInterface, 0, &ipv4Error);
    listenSocket_->setIPv6Enabled(true);
    if (!listening) {
        DDLogError("%@: Error starting server: %@", error.description());
        return false;
    }
    DDLogWarn("%@: Serving IPv4 loopback only, IPv6 loopback failed: %@", error.description());
    return true;
}

void TVISocket::stopServer()
{
    if (listenSocket_) listenSocket_->disconnect();
    {
        std::lock_guard lock(connectedSocketsMutex_);
        // The connections run on "socketQueue", which may be waiting for the main
        // queue (and so for this very call): they are closed from that queue, not
        // waited for. Entries leave the list in the disconnect callback.
        if (!connectedSockets_.empty())
            socketQueue_->async([connections = connectedSockets_] {
                for (const SocketPtr& connection : connections) connection->disconnect();
            });
    }
    DDLogInfo("%@: Stopped Telvora server");
    isRunning_ = false;
}

std::uint16_t TVISocket::port() const
{
    return isRunning_ ? listenSocket_->localPort() : 0;
}

std::optional<std::string> TVISocket::serverPortFilePath()
{
    const auto folder = DirectoryLocations::applicationSupportDirectory();
    if (!folder) return std::nullopt;
    return *folder + "/serverport.txt";
}

void TVISocket::createServerPortFile(std::uint16_t port)
{
    const auto path = serverPortFilePath();
    DDLogInfo("%@: => createServerPortFile port: %d", port);
    if (!path) {
        // Without the file Calvetto can never find the server: say so loudly.
        DDLogError("%@: Cannot create the port file: no application support folder");
        return;
    }
    if (::access(path->c_str(), F_OK) != 0) DDLogWarn("%@: Failed to open file. Will try creating it");
    // Written beside the old file and renamed over it: a reader sees the old port
    // or the new one, never an empty or half-written file.
    std::string temporary = *path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        DDLogError("%@: Failed to create port file %@: %@", *path, std::strerror(errno));
        return;
    }
    const bool written = ::fchmod(fd, 0644) == 0 && writeAll(fd, format("%d", port));
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        DDLogError("%@: Failed to write port file %@: %@", *path, std::strerror(writeError));
    } else if (::rename(temporary.c_str(), path->c_str()) != 0) {
        DDLogError("%@: Failed to create port file %@: %@", *path, std::strerror(errno));
    } else {
        return;
    }
    ::unlink(temporary.c_str());
}

void TVISocket::writeData(const Bytes& data)
{
    if (!isRunning_) {
        DDLogError("%@: Tried to send message through socket but TVISocket is not running");
        return;
    }
    socketQueue_->async([self = shared_from_this(), data] {
        SocketPtr first;
        {
            std::lock_guard lock(self->connectedSocketsMutex_);
            if (!self->connectedSockets_.empty()) first = self->connectedSockets_.front();
        }
        if (!first) {
            DDLogWarn("%@: Tried to send message through socket but no clients are connected");
            return;
        }
        first->writeData(data, -1, kUnsolicitedTag);
    });
}

Bytes TVISocket::constructResponse(std::uint8_t type, const std::optional<Bytes>& payload)
{
    if (payload && payload->size() > TVISocketMessage::maxPayloadLength) {
        // The length byte would wrap and Calvetto would mis-frame everything after it.
        DDLogError("%@: Refused to build message %hhu: payload of %lu bytes is longer than %lu", type,
                   payload->size(), TVISocketMessage::maxPayloadLength);
        return {};
    }
    TVISocketMessage message;
    message.setMsgType(type);
    message.setMsgPayload(payload);
    return message.convertToNSData();
}

void TVISocket::reply(const SocketPtr& connection, std::uint8_t type)
{
    Bytes encoded = constructResponse(type, std::nullopt);
    socketQueue_->async([connection, encoded = std::move(encoded)] {
        connection->writeData(encoded, -1, kReplyTag);
    });
}

void TVISocket::withController(const std::function<void(TVISocketController&)>& call) const
{
    if (auto controller = controller_.lock()) call(*controller);
}

std::size_t TVISocket::connectedSocketCount() const
{
    std::lock_guard lock(connectedSocketsMutex_);
    return connectedSockets_.size();
}

void TVISocket::socketDidAcceptNewSocket(const SocketPtr&, const SocketPtr& newSocket)
{
    if (!isOwnUsersConnection(*newSocket)) {
        // Never in the list: nothing is read from it and nobody hears of it.
        newSocket->disconnect();
        return;
    }
    {
        std::lock_guard lock(connectedSocketsMutex_);
        connectedSockets_.push_back(newSocket);
    }
    const std::string host = newSocket->connectedHost();
    const std::uint16_t port = newSocket->connectedPort();
    newSocket->readDataToLength(1, -1, kHeaderTag);
    DispatchQueue::main()->async([weak = weak_from_this(), host, port] {
        DDLogInfo("%@: Accepted client %@:%hu", host, port);
        if (auto self = weak.lock()) self->withController([](TVISocketController& c) { c.askForIpAddress(); });
    });
}

// Whoever connects first receives every dialled text and may register hot keys:
// only processes of the user running Telvora may talk to it.
bool TVISocket::isOwnUsersConnection(const GCDAsyncSocket& connection) const
{
    const auto owner = TVISocketPeerOwner::uidOfPeer(connection.localAddress(), connection.connectedAddress());
    const uid_t self = ::geteuid();
    if (owner == self) return true;
    const std::string host = connection.connectedHost();
    const std::uint16_t port = connection.connectedPort();
    if (owner)
        DDLogError("%@: Refused client %@:%hu of user id %u: only user id %u may connect", host, port,
                   static_cast<unsigned>(*owner), static_cast<unsigned>(self));
    else
        DDLogError("%@: Refused client %@:%hu: the user id owning it cannot be found", host, port);
    return false;
}

DispatchQueuePtr TVISocket::newSocketQueueForConnectionFromAddress(const std::vector<std::uint8_t>&, const SocketPtr&)
{
    return socketQueue_;
}

void TVISocket::socketDidReadDataWithTag(const SocketPtr& sock, const std::vector<std::uint8_t>& data, long tag)
{
    if (tag == kHeaderTag) {
        const std::uint8_t length = data.empty() ? 0 : data.front();
        if (length != 0) {
            sock->readDataToLength(length, -1, kBodyTag);
        } else {
            DDLogError("%@: Error processing Header!");
            // Nothing from this connection is read again, but its close must still
            // be noticed, or it would stay in the list (and first in line) for good.
            sock->discardIncomingData();
        }
    } else if (tag == kBodyTag) {
        DispatchQueue::main()->async([weak = weak_from_this(), sock, data] {
            if (auto self = weak.lock())
                if (self->commandProcessor_) self->commandProcessor_(sock, data);
        });
        sock->readDataToLength(1, -1, kHeaderTag);
    }
    // Reading never runs ahead of command processing.
    DispatchQueue::main()->sync([] {});
}

void TVISocket::socketDidWriteDataWithTag(const SocketPtr&, long) {}

std::optional<double> TVISocket::socketShouldTimeoutReadWithTagElapsedBytesDone(const SocketPtr&, long, double elapsed,
                                                                               std::size_t)
{
    if (elapsed <= 15.0) {
        DDLogWarn("%@: A read request from the socket has timed-out");
        DDLogWarn("%@: Extending timeout for another 10 sec before disconnecting");
        return 10.0;
    }
    return 0.0;
}

void TVISocket::socketDidDisconnectWithError(const SocketPtr& sock, const std::optional<Error>&)
{
    if (sock == listenSocket_) return;
    bool wasFirst = false;
    {
        std::lock_guard lock(connectedSocketsMutex_);
        const auto entry = std::find(connectedSockets_.begin(), connectedSockets_.end(), sock);
        // A refused connection never joined the list.
        if (entry == connectedSockets_.end()) return;
        wasFirst = entry == connectedSockets_.begin();
        connectedSockets_.erase(entry);
    }
    // Only the first client gets the presses its shortcuts make: when a probe or a
    // later client leaves, the first one's shortcuts stay on.
    DispatchQueue::main()->async([weak = weak_from_this(), wasFirst] {
        DDLogError("%@: Client Disconnected");
        if (!wasFirst) return;
        if (auto self = weak.lock()) self->withController([](TVISocketController& c) { c.disableAllShortcuts(); });
    });
}

}
