#include "link/TVISocket.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/DirectoryLocations.h"
#include "foundation/NotificationCenter.h"

#include <fcntl.h>
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
    Error error;
    if (!listenSocket_->acceptOnInterface(kListenInterface, 0, &error)) {
        DDLogError("%@: Error starting server: %@", error.description());
        return;
    }
    const std::uint16_t port = listenSocket_->localPort();
    createServerPortFile(port);
    DDLogInfo("%@: Telvora server started on port %hu", port);
    isRunning_ = true;
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
    const std::string text = format("%d", port);
    int fd = ::open(path->c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        DDLogWarn("%@: Failed to open file. Will try creating it");
        fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            DDLogError("%@: Failed to create port file %@: %@", *path, std::strerror(errno));
            return;
        }
    } else if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        DDLogError("%@: Failed to truncate port file %@: %@", *path, std::strerror(errno));
        ::close(fd);
        return;
    }
    if (!writeAll(fd, text)) DDLogError("%@: Failed to write port file %@: %@", *path, std::strerror(errno));
    ::close(fd);
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
    {
        std::lock_guard lock(connectedSocketsMutex_);
        connectedSockets_.erase(std::remove(connectedSockets_.begin(), connectedSockets_.end(), sock),
                                connectedSockets_.end());
    }
    DispatchQueue::main()->async([weak = weak_from_this()] {
        DDLogError("%@: Client Disconnected");
        if (auto self = weak.lock()) self->withController([](TVISocketController& c) { c.disableAllShortcuts(); });
    });
}

}
