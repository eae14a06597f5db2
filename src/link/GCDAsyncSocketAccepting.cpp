// Listening and accepting: the listening descriptors and the connections they hand over.
#include "link/GCDAsyncSocket.h"

#include "link/SocketIOService.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "link/GCDAsyncSocketSupport.h"

namespace tvi {

using namespace socket_support;

namespace {

constexpr int listenBacklog = 1024;
// Accepts per readiness event, so a flood of connections cannot hold the queue.
constexpr int acceptBatch = 64;
// Pause after a resource shortage (EMFILE, ENFILE, ENOBUFS, ENOMEM) before accepting
// again: the pending connection keeps the descriptor readable, so re-arming at once spins.
constexpr auto acceptRetryDelay = std::chrono::milliseconds(100);
// Tries at a port number that IPv4 and IPv6 can both take, when any port will do.
constexpr int sharedPortAttempts = 5;

// Where to listen: at most one IPv4 and one IPv6 address.
struct ListenAddresses {
    std::optional<sockaddr_in> v4;
    std::optional<sockaddr_in6> v6;
};

sockaddr_in ipv4Address(in_addr_t hostOrderAddress, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return address;
}

sockaddr_in6 ipv6Address(const in6_addr& host, std::uint16_t port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = host;
    return address;
}

// The first IPv4 and IPv6 address of the named network interface.
std::optional<ListenAddresses> interfaceAddresses(const std::string& name, std::uint16_t port)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    ListenAddresses found;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || name != entry->ifa_name)
            continue;
        if (entry->ifa_addr->sa_family == AF_INET && !found.v4) {
            found.v4 = *reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            found.v4->sin_port = htons(port);
        } else if (entry->ifa_addr->sa_family == AF_INET6 && !found.v6) {
            found.v6 = *reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            found.v6->sin6_port = htons(port);
        }
    }
    freeifaddrs(list);
    if (!found.v4 && !found.v6)
        return std::nullopt;
    return found;
}

std::optional<ListenAddresses> resolveInterface(const std::string& interface, std::uint16_t port)
{
    if (interface.empty())
        return ListenAddresses{ipv4Address(INADDR_ANY, port), ipv6Address(in6addr_any, port)};
    if (interface == "localhost" || interface == "loopback")
        return ListenAddresses{ipv4Address(INADDR_LOOPBACK, port), ipv6Address(in6addr_loopback, port)};
    in_addr v4{};
    if (inet_pton(AF_INET, interface.c_str(), &v4) == 1)
        return ListenAddresses{ipv4Address(ntohl(v4.s_addr), port), std::nullopt};
    in6_addr v6{};
    if (inet_pton(AF_INET6, interface.c_str(), &v6) == 1)
        return ListenAddresses{std::nullopt, ipv6Address(v6, port)};
    return interfaceAddresses(interface, port);
}

std::uint16_t portOf(const sockaddr* address)
{
    if (address->sa_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
    if (address->sa_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    return 0;
}

std::string hostOf(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return text;
}

GCDAsyncSocket::Bytes addressBytes(const sockaddr* address)
{
    const std::size_t length = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6)
                               : address->sa_family == AF_INET ? sizeof(sockaddr_in)
                                                               : 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(address);
    return GCDAsyncSocket::Bytes(bytes, bytes + length);
}

GCDAsyncSocket::Bytes localAddressOf(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return addressBytes(reinterpret_cast<const sockaddr*>(&address));
}

std::uint16_t boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return portOf(reinterpret_cast<const sockaddr*>(&address));
}

bool setOption(int fd, int level, int option)
{
    const int on = 1;
    return setsockopt(fd, level, option, &on, sizeof on) == 0;
}

// A non-blocking listening descriptor, or -1 with the error of the failing step.
int createListeningDescriptor(const sockaddr* address, socklen_t length, Error* errPtr)
{
    const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        report(errPtr, errnoError("Error in socket() function"));
        return -1;
    }
    std::optional<Error> failure;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == -1)
        failure = errnoError("Error enabling non-blocking IO on socket (fcntl)");
    else if (!setOption(fd, SOL_SOCKET, SO_REUSEADDR))
        failure = errnoError("Error enabling address reuse (setsockopt)");
    // Without it the IPv6 wildcard also claims the IPv4 port and the second bind fails.
    else if (address->sa_family == AF_INET6 && !setOption(fd, IPPROTO_IPV6, IPV6_V6ONLY))
        failure = errnoError("Error enabling IPv6-only mode (setsockopt)");
    else if (bind(fd, address, length) != 0)
        failure = errnoError("Error in bind() function");
    else if (listen(fd, listenBacklog) != 0)
        failure = errnoError("Error in listen() function");
    if (!failure)
        return fd;
    report(errPtr, std::move(*failure));
    ::close(fd);
    return -1;
}

struct ListenDescriptors {
    int v4 = -1;
    int v6 = -1;
};

// Listening descriptors for the addresses. With both protocols on any port, IPv6
// takes the number IPv4 was given, so both answer on one port; when IPv6 has that
// number in use already, IPv4 tries a fresh one (the refused ones are held until
// the end, so every try gets another number).
std::optional<ListenDescriptors> listenOn(ListenAddresses addresses, bool anyPort, Error* errPtr)
{
    std::vector<int> refused;
    std::optional<ListenDescriptors> result;
    for (int attempt = 0; attempt < sharedPortAttempts && !result; ++attempt) {
        ListenDescriptors fds;
        if (addresses.v4) {
            fds.v4 = createListeningDescriptor(reinterpret_cast<const sockaddr*>(&*addresses.v4), sizeof(sockaddr_in),
                                               errPtr);
            if (fds.v4 < 0)
                break;
        }
        if (addresses.v6) {
            if (fds.v4 >= 0 && anyPort)
                addresses.v6->sin6_port = htons(boundPort(fds.v4));
            Error error;
            fds.v6 = createListeningDescriptor(reinterpret_cast<const sockaddr*>(&*addresses.v6),
                                               sizeof(sockaddr_in6), &error);
            if (fds.v6 < 0) {
                if (fds.v4 >= 0)
                    refused.push_back(fds.v4);
                const bool portTaken = error.domain == GCDAsyncSocketPOSIXErrorDomain && error.code == EADDRINUSE;
                report(errPtr, std::move(error));
                if (fds.v4 >= 0 && anyPort && portTaken)
                    continue;
                break;
            }
        }
        result = fds;
    }
    for (const int fd : refused)
        ::close(fd);
    return result;
}

// Errors after which another accept may succeed at once: the connection died in the backlog.
bool isAbortedConnection(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EPERM:
        return true;
    default:
        return false;
    }
}

}

// ---------------------------------------------------------------------------
// Listening and accepting

bool GCDAsyncSocket::acceptOnPort(std::uint16_t port, Error* errPtr)
{
    return acceptOnInterface(std::string(), port, errPtr);
}

bool GCDAsyncSocket::acceptOnInterface(const std::string& interface, std::uint16_t port, Error* errPtr)
{
    bool result = false;
    onSocketQueue([&] { result = doAccept(interface, port, errPtr); });
    return result;
}

bool GCDAsyncSocket::checkAcceptConfiguration(Error* errPtr) const
{
    const char* problem = nullptr;
    if (delegate_.expired())
        problem = "Attempting to accept without a delegate. Set a delegate first.";
    else if (!delegateQueue_)
        problem = "Attempting to accept without a delegate queue. Set a delegate queue first.";
    else if (!ipv4Enabled_ && !ipv6Enabled_)
        problem = "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.";
    else if (accepting_ || connected_)
        problem = "Attempting to accept while connected or accepting connections. Disconnect first.";
    if (problem)
        report(errPtr, socketError(GCDAsyncSocketError::BadConfigError, problem));
    return problem == nullptr;
}

bool GCDAsyncSocket::doAccept(const std::string& interface, std::uint16_t port, Error* errPtr)
{
    if (!checkAcceptConfiguration(errPtr))
        return false;
    readQueue_.clear();
    writeQueue_.clear();

    std::optional<ListenAddresses> addresses = resolveInterface(interface, port);
    if (!addresses) {
        report(errPtr, socketError(GCDAsyncSocketError::BadParamError,
                                   "Unknown interface. Specify valid interface by name (e.g. \"lo\") or IP address."));
        return false;
    }
    if (!ipv4Enabled_)
        addresses->v4.reset();
    if (!ipv6Enabled_)
        addresses->v6.reset();
    if (!addresses->v4 && !addresses->v6) {
        report(errPtr, socketError(GCDAsyncSocketError::BadParamError,
                                   "The interface has no address of an enabled protocol."));
        return false;
    }

    const std::optional<ListenDescriptors> fds = listenOn(*addresses, port == 0, errPtr);
    if (!fds)
        return false;
    const int fd4 = fds->v4;
    const int fd6 = fds->v6;

    ++generation_;
    accepting_ = true;
    {
        std::lock_guard lock(infoMutex_);
        localPort_ = boundPort(fd4 >= 0 ? fd4 : fd6);
    }
    for (const int fd : {fd4, fd6}) {
        if (fd >= 0)
            startListener(fd);
    }
    return true;
}

void GCDAsyncSocket::startListener(int fd)
{
    Listener listener;
    listener.source = std::make_unique<asio::posix::stream_descriptor>(SocketIOService::shared().context());
    listener.retryTimer = std::make_unique<asio::steady_timer>(SocketIOService::shared().context());
    asio::error_code error;
    listener.source->assign(fd, error);
    if (error) {
        // The event loop refused the descriptor: this protocol cannot accept.
        ::close(fd);
        return;
    }
    listeners_.push_back(std::move(listener));
    armAccept(listeners_.size() - 1);
}

void GCDAsyncSocket::armAccept(std::size_t index)
{
    listeners_[index].source->async_wait(
        asio::posix::descriptor_base::wait_read,
        hop(socketQueue_, weak_from_this(), [index, generation = generation_](GCDAsyncSocket& self, auto) {
            self.onAcceptReady(index, generation);
        }));
}

void GCDAsyncSocket::onAcceptReady(std::size_t index, std::uint64_t generation)
{
    if (generation != generation_ || !accepting_)
        return;
    acceptConnections(index);
}

void GCDAsyncSocket::acceptConnections(std::size_t index)
{
    const int listenFd = listeners_[index].source->native_handle();
    for (int count = 0; count < acceptBatch; ++count) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            handOver(fd, reinterpret_cast<const sockaddr*>(&peer));
            continue;
        }
        if (isAbortedConnection(errno))
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        // Out of descriptors or memory, or something unforeseen: never give up
        // listening, but do not spin on the still-pending connection either.
        retryAcceptLater(index);
        return;
    }
    armAccept(index);
}

void GCDAsyncSocket::retryAcceptLater(std::size_t index)
{
    asio::steady_timer& timer = *listeners_[index].retryTimer;
    timer.expires_after(acceptRetryDelay);
    timer.async_wait(hop(socketQueue_, weak_from_this(), [index, generation = generation_](GCDAsyncSocket& self, auto) {
        self.onAcceptReady(index, generation);
    }));
}

void GCDAsyncSocket::handOver(int fd, const sockaddr* peer)
{
    DispatchQueuePtr childQueue;
    if (const auto receiver = delegate_.lock()) {
        const socklen_t length = peer->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(peer);
        childQueue = receiver->newSocketQueueForConnectionFromAddress(Bytes(bytes, bytes + length),
                                                                     shared_from_this());
    }
    const std::shared_ptr<GCDAsyncSocket> child = create(delegate_, delegateQueue_, std::move(childQueue));
    // Nobody else knows the child yet, so it may be set up from this queue.
    if (!child->adoptConnection(fd, peer))
        return;
    notifyDelegate([child](GCDAsyncSocketDelegate& delegate, const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidAcceptNewSocket(sock, child);
    });
    // Queued after the accept callback, so the child's own events follow it.
    child->socketQueue_->async([weak = std::weak_ptr<GCDAsyncSocket>(child)] {
        if (const auto self = weak.lock())
            self->doReadData();
    });
}

bool GCDAsyncSocket::adoptConnection(int fd, const sockaddr* peer)
{
    // Linux has no SO_NOSIGPIPE (4130): every send passes MSG_NOSIGNAL instead.
    // Link messages are tiny and written whole: send each at once.
    setOption(fd, IPPROTO_TCP, TCP_NODELAY);
    connection_ = std::make_unique<asio::posix::stream_descriptor>(SocketIOService::shared().context());
    asio::error_code error;
    connection_->assign(fd, error);
    if (error) {
        connection_.reset();
        ::close(fd);
        return false;
    }
    connected_ = true;
    std::lock_guard lock(infoMutex_);
    localPort_ = boundPort(fd);
    connectedHost_ = hostOf(peer);
    connectedPort_ = portOf(peer);
    localAddress_ = localAddressOf(fd);
    connectedAddress_ = addressBytes(peer);
    return true;
}

}
