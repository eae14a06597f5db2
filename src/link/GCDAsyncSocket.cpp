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

namespace tvi {

namespace {

constexpr int listenBacklog = 1024;
// Accepts per readiness event, so a flood of connections cannot hold the queue.
constexpr int acceptBatch = 64;
// Pause after a resource shortage (EMFILE, ENFILE, ENOBUFS, ENOMEM) before accepting
// again: the pending connection keeps the descriptor readable, so re-arming at once spins.
constexpr auto acceptRetryDelay = std::chrono::milliseconds(100);
// Most bytes taken from the descriptor at once, through the shared read buffer;
// also the most buffered while no read is pending.
constexpr std::size_t readChunk = 64 * 1024;
// A drained pre-buffer keeps at most this much room; link messages are tiny,
// and an idle connection should hold no memory for data it may never get.
constexpr std::size_t keptPreBufferCapacity = 1024;
// Tries at a port number that IPv4 and IPv6 can both take, when any port will do.
constexpr int sharedPortAttempts = 5;
// Most bytes handed to one send, or read in one readiness event while discarding:
// the kernel takes no more than its socket buffer anyway.
constexpr std::size_t transferLimit = 1024 * 1024;

// Every recv lands here first: one buffer per thread that serves socket queues,
// instead of a chunk per connection that stays allocated while it idles.
std::uint8_t* sharedReadBuffer()
{
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    if (!buffer)
        buffer = std::make_unique<std::uint8_t[]>(readChunk);
    return buffer.get();
}

Error socketError(GCDAsyncSocketError code, std::string text)
{
    return Error{GCDAsyncSocketErrorDomain, static_cast<long>(code), std::move(text), {}};
}

// Must be called right after the failing call, before errno changes.
Error errnoError(const std::string& text)
{
    const int code = errno;
    return Error{GCDAsyncSocketPOSIXErrorDomain, code, text, {{"NSLocalizedFailureReason", std::strerror(code)}}};
}

void report(Error* errPtr, Error error)
{
    if (errPtr)
        *errPtr = std::move(error);
}

asio::steady_timer::duration secondsToDuration(double seconds)
{
    // Cap absurd time-outs instead of overflowing the clock.
    constexpr double maximumSeconds = 365.0 * 24 * 3600;
    const std::chrono::duration<double> span(std::clamp(seconds, 0.0, maximumSeconds));
    return std::chrono::duration_cast<asio::steady_timer::duration>(span);
}

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

// Hops an asio completion onto the socket queue; aborted waits belong to a closed
// descriptor or cancelled timer and are dropped right here. Only the value is
// compared: this also runs during exit, when asio's error categories are gone.
template <typename Handler>
auto hop(DispatchQueuePtr queue, std::weak_ptr<GCDAsyncSocket> socket, Handler handler)
{
    return [queue = std::move(queue), socket = std::move(socket),
            handler = std::move(handler)](const asio::error_code& error) {
        if (error.value() == asio::error::operation_aborted)
            return;
        queue->async([socket, handler, error] {
            if (const auto self = socket.lock())
                handler(*self, error);
        });
    };
}

}

// ---------------------------------------------------------------------------
// Creation and configuration

std::shared_ptr<GCDAsyncSocket> GCDAsyncSocket::create(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                                       DispatchQueuePtr delegateQueue, DispatchQueuePtr socketQueue)
{
    return std::shared_ptr<GCDAsyncSocket>(
        new GCDAsyncSocket(std::move(delegate), std::move(delegateQueue), std::move(socketQueue)));
}

GCDAsyncSocket::GCDAsyncSocket(std::weak_ptr<GCDAsyncSocketDelegate> delegate, DispatchQueuePtr delegateQueue,
                               DispatchQueuePtr socketQueue)
    : socketQueue_(socketQueue ? std::move(socketQueue) : DispatchQueue::createSerial("GCDAsyncSocket")),
      delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)),
      readTimer_(SocketIOService::shared().context()), writeTimer_(SocketIOService::shared().context())
{
}

// The last owner is gone, so nothing else can touch the object: the descriptors
// close with their members and the delegate hears nothing.
GCDAsyncSocket::~GCDAsyncSocket() = default;

void GCDAsyncSocket::onSocketQueue(const std::function<void()>& task)
{
    if (socketQueue_->isCurrent())
        task();
    else
        socketQueue_->sync(task);
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate)
{
    onSocketQueue([&] { delegate_ = std::move(delegate); });
}

void GCDAsyncSocket::setDelegateQueue(DispatchQueuePtr delegateQueue)
{
    onSocketQueue([&] { delegateQueue_ = std::move(delegateQueue); });
}

std::uint16_t GCDAsyncSocket::localPort() const
{
    std::lock_guard lock(infoMutex_);
    return localPort_;
}

std::string GCDAsyncSocket::connectedHost() const
{
    std::lock_guard lock(infoMutex_);
    return connectedHost_;
}

std::uint16_t GCDAsyncSocket::connectedPort() const
{
    std::lock_guard lock(infoMutex_);
    return connectedPort_;
}

void GCDAsyncSocket::clearConnectionInfo()
{
    std::lock_guard lock(infoMutex_);
    localPort_ = 0;
    connectedHost_.clear();
    connectedPort_ = 0;
    localAddress_.clear();
    connectedAddress_.clear();
}

GCDAsyncSocket::Bytes GCDAsyncSocket::localAddress() const
{
    std::lock_guard lock(infoMutex_);
    return localAddress_;
}

GCDAsyncSocket::Bytes GCDAsyncSocket::connectedAddress() const
{
    std::lock_guard lock(infoMutex_);
    return connectedAddress_;
}

void GCDAsyncSocket::notifyDelegate(DelegateCall call)
{
    if (!delegateQueue_)
        return;
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, call = std::move(call)] {
        if (const auto receiver = delegate.lock())
            call(*receiver, self);
    });
}

// Called on the socket queue only.
void GCDAsyncSocket::onDelegateQueue(std::function<void()> task)
{
    if (delegateQueue_ == socketQueue_)
        deliverInline(std::move(task));
    else
        delegateQueue_->async(std::move(task));
}

// Runs on the socket queue, which is the delegate queue: no hand-off needed.
// A callback may cause further events (a disconnect() from a read callback);
// those are delivered after it returns, in order.
void GCDAsyncSocket::deliverInline(std::function<void()> task)
{
    inlineCallbacks_.push_back(std::move(task));
    if (deliveringInline_)
        return;
    // The delegate may drop its last reference to this socket in a callback.
    const std::shared_ptr<GCDAsyncSocket> self = shared_from_this();
    deliveringInline_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{deliveringInline_};
    while (!inlineCallbacks_.empty()) {
        const std::function<void()> next = std::move(inlineCallbacks_.front());
        inlineCallbacks_.pop_front();
        next();
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

// ---------------------------------------------------------------------------
// Reading

void GCDAsyncSocket::readDataToLength(std::size_t length, double timeout, long tag)
{
    if (length == 0)
        return;
    auto request = std::make_shared<ReadRequest>(ReadRequest{length, timeout, tag});
    socketQueue_->async([self = shared_from_this(), request] { self->enqueueRead(request); });
}

void GCDAsyncSocket::enqueueRead(ReadPtr request)
{
    if (!connected_ || discardingInput_)
        return;
    readQueue_.push_back(std::move(request));
    dequeueRead();
    doReadData();
}

void GCDAsyncSocket::discardIncomingData()
{
    socketQueue_->async([self = shared_from_this()] { self->startDiscarding(); });
}

void GCDAsyncSocket::startDiscarding()
{
    if (!connected_ || discardingInput_)
        return;
    discardingInput_ = true;
    cancelReadTimer();
    readsPaused_ = false;
    readQueue_.clear();
    currentRead_.reset();
    Bytes().swap(preBuffer_);
    preBufferHead_ = 0;
    doReadData();
}

// Drains the descriptor into a scratch buffer until it would block or the peer
// closes; at most transferLimit bytes per readiness event, so a flooding peer
// cannot hold the queue.
void GCDAsyncSocket::discardFromDescriptor()
{
    std::uint8_t sink[16 * 1024];
    std::size_t total = 0;
    while (connected_ && !readWaiting_) {
        if (hasReadEOF_) {
            closeWithError(socketError(GCDAsyncSocketError::ClosedError, "Socket closed by remote peer"));
            return;
        }
        if (total >= transferLimit) {
            armReadWait();
            return;
        }
        const ssize_t count = ::recv(connection_->native_handle(), sink, sizeof sink, 0);
        if (count > 0) {
            total += static_cast<std::size_t>(count);
        } else if (count == 0) {
            hasReadEOF_ = true;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            armReadWait();
        } else if (errno != EINTR) {
            closeWithError(errnoError("Error in read() function"));
        }
    }
}

void GCDAsyncSocket::dequeueRead()
{
    if (currentRead_ || readQueue_.empty())
        return;
    currentRead_ = readQueue_.front();
    readQueue_.pop_front();
    if (currentRead_->timeout >= 0)
        startReadTimer(currentRead_->timeout);
}

// Serves reads from the pre-buffer, refilling it from the descriptor. While no
// read is pending it still buffers a little, so a peer's close is noticed.
void GCDAsyncSocket::doReadData()
{
    if (discardingInput_) {
        discardFromDescriptor();
        return;
    }
    while (connected_) {
        if (canCompleteCurrentRead()) {
            completeCurrentRead();
            continue;
        }
        if (hasReadEOF_) {
            handleEndOfFile();
            return;
        }
        if (readWaiting_ || buffered() >= wantedBytes())
            return;
        switch (readFromDescriptor()) {
        case ReadStatus::Got:
            break;
        case ReadStatus::EndOfFile:
            hasReadEOF_ = true;
            break;
        case ReadStatus::WouldBlock:
            armReadWait();
            return;
        case ReadStatus::Failed:
            return;
        }
    }
}

bool GCDAsyncSocket::canCompleteCurrentRead() const
{
    return currentRead_ && !readsPaused_ && buffered() >= currentRead_->length;
}

void GCDAsyncSocket::completeCurrentRead()
{
    cancelReadTimer();
    const ReadPtr request = std::move(currentRead_);
    currentRead_.reset();
    notifyDelegate([data = takeFromPreBuffer(request->length), tag = request->tag](
                       GCDAsyncSocketDelegate& delegate, const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidReadDataWithTag(sock, data, tag);
    });
    dequeueRead();
}

void GCDAsyncSocket::handleEndOfFile()
{
    // Buffered bytes stay available to reads still to come; the socket closes
    // once what is left cannot satisfy the read at hand, or nothing is left.
    if (currentRead_ ? buffered() >= currentRead_->length : buffered() > 0)
        return;
    closeWithError(socketError(GCDAsyncSocketError::ClosedError, "Socket closed by remote peer"));
}

std::size_t GCDAsyncSocket::wantedBytes() const
{
    if (!currentRead_)
        return readChunk;
    return std::max(currentRead_->length, readChunk);
}

GCDAsyncSocket::ReadStatus GCDAsyncSocket::readFromDescriptor()
{
    std::uint8_t* const buffer = sharedReadBuffer();
    const std::size_t room = std::min(wantedBytes() - buffered(), readChunk);
    ssize_t count;
    do {
        count = ::recv(connection_->native_handle(), buffer, room, 0);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        appendToPreBuffer(buffer, static_cast<std::size_t>(count));
        return ReadStatus::Got;
    }
    if (count == 0)
        return ReadStatus::EndOfFile;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return ReadStatus::WouldBlock;
    closeWithError(errnoError("Error in read() function"));
    return ReadStatus::Failed;
}

// The pre-buffer holds only bytes no read has taken yet.
void GCDAsyncSocket::appendToPreBuffer(const std::uint8_t* data, std::size_t length)
{
    if (preBufferHead_ > 0) {
        preBuffer_.erase(preBuffer_.begin(), preBuffer_.begin() + static_cast<std::ptrdiff_t>(preBufferHead_));
        preBufferHead_ = 0;
    }
    preBuffer_.insert(preBuffer_.end(), data, data + length);
}

GCDAsyncSocket::Bytes GCDAsyncSocket::takeFromPreBuffer(std::size_t length)
{
    const auto begin = preBuffer_.begin() + static_cast<std::ptrdiff_t>(preBufferHead_);
    Bytes data(begin, begin + static_cast<std::ptrdiff_t>(length));
    preBufferHead_ += length;
    if (preBufferHead_ == preBuffer_.size()) {
        preBuffer_.clear();
        preBufferHead_ = 0;
        if (preBuffer_.capacity() > keptPreBufferCapacity)
            Bytes().swap(preBuffer_);
    }
    return data;
}

void GCDAsyncSocket::armReadWait()
{
    readWaiting_ = true;
    connection_->async_wait(asio::posix::descriptor_base::wait_read,
                            hop(socketQueue_, weak_from_this(),
                                [generation = generation_](GCDAsyncSocket& self, const asio::error_code& error) {
                                    if (generation != self.generation_)
                                        return;
                                    self.readWaiting_ = false;
                                    if (error)
                                        self.closeWithError(socketError(GCDAsyncSocketError::OtherError,
                                                                        error.message()));
                                    else
                                        self.doReadData();
                                }));
}

void GCDAsyncSocket::startReadTimer(double seconds)
{
    const std::uint64_t timerGeneration = ++readTimerGeneration_;
    readTimer_.expires_after(secondsToDuration(seconds));
    readTimer_.async_wait(hop(socketQueue_, weak_from_this(), [timerGeneration](GCDAsyncSocket& self, auto) {
        self.onReadTimerFired(timerGeneration);
    }));
}

void GCDAsyncSocket::cancelReadTimer()
{
    ++readTimerGeneration_;
    readTimer_.cancel();
}

void GCDAsyncSocket::onReadTimerFired(std::uint64_t timerGeneration)
{
    if (timerGeneration != readTimerGeneration_ || !currentRead_)
        return;
    readsPaused_ = true;
    const ReadPtr request = currentRead_;
    const std::size_t done = std::min(buffered(), request->length);
    auto answer = [request](GCDAsyncSocket& self, std::optional<double> extension) {
        self.onReadTimeoutAnswer(request, extension);
    };
    if (!delegateQueue_) {
        answer(*this, std::nullopt);
        return;
    }
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, request, done, answer] {
        std::optional<double> extension;
        if (const auto receiver = delegate.lock())
            extension = receiver->socketShouldTimeoutReadWithTagElapsedBytesDone(self, request->tag, request->timeout,
                                                                                 done);
        self->socketQueue_->async([self, answer, extension] { answer(*self, extension); });
    });
}

void GCDAsyncSocket::onReadTimeoutAnswer(const ReadPtr& request, std::optional<double> extension)
{
    if (request != currentRead_ || !connected_)
        return;
    if (!extension || *extension <= 0) {
        closeWithError(socketError(GCDAsyncSocketError::ReadTimeoutError, "Read operation timed out"));
        return;
    }
    request->timeout += *extension;
    startReadTimer(*extension);
    readsPaused_ = false;
    doReadData();
}

// ---------------------------------------------------------------------------
// Writing

void GCDAsyncSocket::writeData(Bytes data, double timeout, long tag)
{
    if (data.empty())
        return;
    auto request = std::make_shared<WriteRequest>(WriteRequest{std::move(data), 0, timeout, tag});
    socketQueue_->async([self = shared_from_this(), request] { self->enqueueWrite(request); });
}

void GCDAsyncSocket::enqueueWrite(WritePtr request)
{
    if (!connected_)
        return;
    writeQueue_.push_back(std::move(request));
    dequeueWrite();
    doWriteData();
}

void GCDAsyncSocket::dequeueWrite()
{
    if (currentWrite_ || writeQueue_.empty())
        return;
    currentWrite_ = writeQueue_.front();
    writeQueue_.pop_front();
    if (currentWrite_->timeout >= 0)
        startWriteTimer(currentWrite_->timeout);
}

void GCDAsyncSocket::doWriteData()
{
    while (connected_ && currentWrite_ && !writesPaused_ && !writeWaiting_) {
        WriteRequest& request = *currentWrite_;
        const std::size_t length = std::min(request.data.size() - request.done, transferLimit);
        const ssize_t count =
            ::send(connection_->native_handle(), request.data.data() + request.done, length, MSG_NOSIGNAL);
        if (count >= 0) {
            request.done += static_cast<std::size_t>(count);
            if (request.done == request.data.size())
                completeCurrentWrite();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            armWriteWait();
        } else if (errno != EINTR) {
            closeWithError(errnoError("Error in write() function"));
        }
    }
}

void GCDAsyncSocket::completeCurrentWrite()
{
    cancelWriteTimer();
    const long tag = currentWrite_->tag;
    currentWrite_.reset();
    notifyDelegate([tag](GCDAsyncSocketDelegate& delegate, const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidWriteDataWithTag(sock, tag);
    });
    dequeueWrite();
}

void GCDAsyncSocket::armWriteWait()
{
    writeWaiting_ = true;
    connection_->async_wait(asio::posix::descriptor_base::wait_write,
                            hop(socketQueue_, weak_from_this(),
                                [generation = generation_](GCDAsyncSocket& self, const asio::error_code& error) {
                                    if (generation != self.generation_)
                                        return;
                                    self.writeWaiting_ = false;
                                    if (error)
                                        self.closeWithError(socketError(GCDAsyncSocketError::OtherError,
                                                                        error.message()));
                                    else
                                        self.doWriteData();
                                }));
}

void GCDAsyncSocket::startWriteTimer(double seconds)
{
    const std::uint64_t timerGeneration = ++writeTimerGeneration_;
    writeTimer_.expires_after(secondsToDuration(seconds));
    writeTimer_.async_wait(hop(socketQueue_, weak_from_this(), [timerGeneration](GCDAsyncSocket& self, auto) {
        self.onWriteTimerFired(timerGeneration);
    }));
}

void GCDAsyncSocket::cancelWriteTimer()
{
    ++writeTimerGeneration_;
    writeTimer_.cancel();
}

void GCDAsyncSocket::onWriteTimerFired(std::uint64_t timerGeneration)
{
    if (timerGeneration != writeTimerGeneration_ || !currentWrite_)
        return;
    writesPaused_ = true;
    const WritePtr request = currentWrite_;
    auto answer = [request](GCDAsyncSocket& self, std::optional<double> extension) {
        self.onWriteTimeoutAnswer(request, extension);
    };
    if (!delegateQueue_) {
        answer(*this, std::nullopt);
        return;
    }
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, request, done = request->done, answer] {
        std::optional<double> extension;
        if (const auto receiver = delegate.lock())
            extension = receiver->socketShouldTimeoutWriteWithTagElapsedBytesDone(self, request->tag,
                                                                                  request->timeout, done);
        self->socketQueue_->async([self, answer, extension] { answer(*self, extension); });
    });
}

void GCDAsyncSocket::onWriteTimeoutAnswer(const WritePtr& request, std::optional<double> extension)
{
    if (request != currentWrite_ || !connected_)
        return;
    if (!extension || *extension <= 0) {
        closeWithError(socketError(GCDAsyncSocketError::WriteTimeoutError, "Write operation timed out"));
        return;
    }
    request->timeout += *extension;
    startWriteTimer(*extension);
    writesPaused_ = false;
    doWriteData();
}

// ---------------------------------------------------------------------------
// Closing

void GCDAsyncSocket::disconnect()
{
    onSocketQueue([this] { closeWithError(std::nullopt); });
}

void GCDAsyncSocket::closeWithError(std::optional<Error> error)
{
    readQueue_.clear();
    writeQueue_.clear();
    if (!accepting_ && !connected_)
        return;
    ++generation_;
    cancelReadTimer();
    cancelWriteTimer();
    currentRead_.reset();
    currentWrite_.reset();
    Bytes().swap(preBuffer_);
    preBufferHead_ = 0;
    // Destroying the sources closes the descriptors and drops their pending waits.
    listeners_.clear();
    connection_.reset();
    accepting_ = connected_ = false;
    readWaiting_ = writeWaiting_ = false;
    hasReadEOF_ = readsPaused_ = writesPaused_ = discardingInput_ = false;
    clearConnectionInfo();
    notifyDelegate([error = std::move(error)](GCDAsyncSocketDelegate& delegate,
                                              const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidDisconnectWithError(sock, error);
    });
}

}
