#include "link/GCDAsyncSocket.h"
#include "link/SocketIOService.h"
#include "support/TcpQueues.h"

#include <asio/steady_timer.hpp>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <vector>
#include <thread>

namespace tvi {
namespace {

using namespace std::chrono_literals;
using Bytes = GCDAsyncSocket::Bytes;
using SocketPtr = std::shared_ptr<GCDAsyncSocket>;

struct Event {
    enum Kind { Accept, Read, Write, TimeoutQuery, Disconnect } kind;
    GCDAsyncSocket* sock;
    Bytes data;
    long tag = 0;
    double elapsed = 0;
    std::size_t bytesDone = 0;
    std::optional<Error> error;
};

// Records every callback; checks that each arrives on the delegate queue.
class RecordingDelegate : public GCDAsyncSocketDelegate {
public:
    explicit RecordingDelegate(DispatchQueuePtr queue) : queue_(std::move(queue)) {}

    void socketDidAcceptNewSocket(const SocketPtr& sock, const SocketPtr& newSocket) override
    {
        std::lock_guard lock(mutex_);
        accepted_.push_back(newSocket);
        record(Event{Event::Accept, sock.get(), {}, 0, 0, 0, {}});
    }
    DispatchQueuePtr newSocketQueueForConnectionFromAddress(const Bytes& address, const SocketPtr&) override
    {
        return shareQueue && !address.empty() ? queue_ : nullptr;
    }
    void socketDidReadDataWithTag(const SocketPtr& sock, const Bytes& data, long tag) override
    {
        {
            std::lock_guard lock(mutex_);
            record(Event{Event::Read, sock.get(), data, tag, 0, 0, {}});
        }
        if (tag == disconnectOnReadTag)
            sock->disconnect();
        --depth_;
    }
    void socketDidWriteDataWithTag(const SocketPtr& sock, long tag) override
    {
        std::lock_guard lock(mutex_);
        record(Event{Event::Write, sock.get(), {}, tag, 0, 0, {}});
    }
    std::optional<double> socketShouldTimeoutReadWithTagElapsedBytesDone(const SocketPtr& sock, long tag,
                                                                        double elapsed, std::size_t done) override
    {
        std::lock_guard lock(mutex_);
        record(Event{Event::TimeoutQuery, sock.get(), {}, tag, elapsed, done, {}});
        if (extensions.empty())
            return std::nullopt;
        const auto extension = extensions.front();
        extensions.pop_front();
        return extension;
    }
    void socketDidDisconnectWithError(const SocketPtr& sock, const std::optional<Error>& error) override
    {
        std::lock_guard lock(mutex_);
        record(Event{Event::Disconnect, sock.get(), {}, 0, 0, 0, error});
    }

    // Waits until at least count events arrived; returns a copy of them.
    std::vector<Event> waitForEvents(std::size_t count, std::chrono::milliseconds timeout = 5s)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
        return events_;
    }
    std::vector<Event> events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<SocketPtr> acceptedSockets()
    {
        std::lock_guard lock(mutex_);
        return accepted_;
    }
    int offQueueCallbacks()
    {
        std::lock_guard lock(mutex_);
        return offQueueCallbacks_;
    }
    // Callbacks that began while another one was still running.
    int nestedCallbacks() const { return nestedCallbacks_; }

    std::deque<std::optional<double>> extensions; // set before the first time-out
    // Set before accepting: accepted sockets then run on the delegate queue.
    std::atomic<bool> shareQueue{false};
    std::atomic<long> disconnectOnReadTag{-1};

private:
    // Every callback but the read one leaves at once; the read one may call back
    // into the socket first (see disconnectOnReadTag).
    void record(Event event)
    {
        if (++depth_ > 1)
            ++nestedCallbacks_;
        if (event.kind != Event::Read)
            --depth_;
        if (!queue_->isCurrent())
            ++offQueueCallbacks_;
        events_.push_back(std::move(event));
        changed_.notify_all();
    }

    DispatchQueuePtr queue_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::vector<SocketPtr> accepted_;
    int offQueueCallbacks_ = 0;
    std::atomic<int> depth_{0};
    std::atomic<int> nestedCallbacks_{0};
};

// A blocking client socket.
class Client {
public:
    explicit Client(int family) : fd_(::socket(family, SOCK_STREAM, 0)) {}
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connectTo(const char* host, std::uint16_t port)
    {
        sockaddr_storage address{};
        socklen_t length;
        if (inet_pton(AF_INET, host, &reinterpret_cast<sockaddr_in&>(address).sin_addr) == 1) {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_port = htons(port);
            length = sizeof v4;
        } else {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            inet_pton(AF_INET6, host, &v6.sin6_addr);
            v6.sin6_family = AF_INET6;
            v6.sin6_port = htons(port);
            length = sizeof v6;
        }
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    }
    void send(const Bytes& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            ASSERT_GT(count, 0);
            done += static_cast<std::size_t>(count);
        }
    }
    // Up to length bytes, fewer when the peer closes or nothing comes for a while.
    Bytes receive(std::size_t length)
    {
        Bytes bytes(length);
        std::size_t done = 0;
        pollfd entry{fd_, POLLIN, 0};
        while (done < length && ::poll(&entry, 1, 5000) == 1) {
            const ssize_t count = ::recv(fd_, bytes.data() + done, length - done, 0);
            if (count <= 0)
                break;
            done += static_cast<std::size_t>(count);
        }
        bytes.resize(done);
        return bytes;
    }
    void shrinkReceiveBuffer()
    {
        const int size = 4096;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    std::uint16_t localPort() const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port); // same offset in sockaddr_in6
    }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Test data without a fixed period, so lost or repeated chunks show: a 251-byte ramp
// copied over itself in doubling steps, each copy one byte short (bulk copies stay
// cheap under sanitizers).
Bytes pattern(std::size_t length)
{
    Bytes bytes(length);
    for (std::size_t i = 0; i < std::min<std::size_t>(length, 251); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    for (std::size_t filled = 251; filled < length; filled *= 2)
        std::memcpy(bytes.data() + filled, bytes.data(), std::min(filled, length - filled) - 1);
    return bytes;
}

std::optional<std::string> nonLoopbackIPv4Address()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<std::string> found;
    for (ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text);
        if (std::string(text).rfind("127.", 0) != 0)
            found = text;
    }
    freeifaddrs(list);
    return found;
}

// When accept4 failed for want of a descriptor, per listening descriptor: the calls below
// pass through this program's accept4 first.
std::mutex exhaustedAcceptsMutex;
std::vector<std::pair<int, std::chrono::steady_clock::time_point>> exhaustedAccepts;

std::vector<std::chrono::steady_clock::time_point> exhaustedAcceptsOn(int listenFd)
{
    std::lock_guard lock(exhaustedAcceptsMutex);
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& [fd, time] : exhaustedAccepts)
        if (fd == listenFd)
            times.push_back(time);
    return times;
}

// Lowers the descriptor limit to the lowest free number, so every new descriptor
// fails with EMFILE, until destroyed (also when an assertion leaves the test early).
class DescriptorExhaustion {
public:
    DescriptorExhaustion()
    {
        ok_ = getrlimit(RLIMIT_NOFILE, &original_) == 0;
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit lowered = original_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ok_ = ok_ && lowestFree >= 0 && setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorExhaustion()
    {
        if (ok_)
            setrlimit(RLIMIT_NOFILE, &original_);
    }
    DescriptorExhaustion(const DescriptorExhaustion&) = delete;
    DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

    bool ok() const { return ok_; }

private:
    rlimit original_{};
    bool ok_ = false;
};

// Runs one timer through the socket event loop, as the accept back-off does.
void runTimerOnSocketLoop()
{
    asio::steady_timer timer(SocketIOService::shared().context(), 1ms);
    std::promise<void> fired;
    timer.async_wait([&fired](const asio::error_code&) { fired.set_value(); });
    fired.get_future().wait();
}

class GCDAsyncSocketTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        listener->disconnect();
        for (const auto& sock : delegate->acceptedSockets())
            sock->disconnect();
        EXPECT_EQ(delegate->offQueueCallbacks(), 0);
    }

    std::uint16_t listen(const std::string& interface = "localhost")
    {
        Error error;
        EXPECT_TRUE(listener->acceptOnInterface(interface, 0, &error)) << error.localizedDescription;
        return listener->localPort();
    }

    // Connects the client and returns the server side of the connection.
    SocketPtr accept(Client& client, const char* host = "127.0.0.1")
    {
        const std::size_t before = delegate->acceptedSockets().size();
        const std::size_t eventsBefore = delegate->events().size();
        EXPECT_TRUE(client.connectTo(host, listener->localPort()));
        delegate->waitForEvents(eventsBefore + 1);
        const auto accepted = delegate->acceptedSockets();
        return accepted.size() > before ? accepted[before] : nullptr;
    }

    // Returns once every callback the socket has caused so far has been delivered: disconnect()
    // (a no-op on a closed socket) waits for the socket's queue, then the delegate queue is drained.
    void settle(const SocketPtr& sock)
    {
        sock->disconnect();
        delegateQueue->sync([] {});
    }

    DispatchQueuePtr delegateQueue = DispatchQueue::createSerial("test.delegate");
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>(delegateQueue);
    SocketPtr listener = GCDAsyncSocket::create(delegate, delegateQueue);
};

TEST_F(GCDAsyncSocketTest, PortZeroGivesOnePortAnsweringOverIPv4AndIPv6)
{
    Error error;
    ASSERT_TRUE(listener->acceptOnPort(0, &error)) << error.localizedDescription;
    const std::uint16_t port = listener->localPort();
    ASSERT_NE(port, 0);

    Client v4(AF_INET), v6(AF_INET6);
    const SocketPtr overV4 = accept(v4, "127.0.0.1");
    const SocketPtr overV6 = accept(v6, "::1");
    ASSERT_TRUE(overV4 && overV6);
    EXPECT_EQ(overV4->connectedHost(), "127.0.0.1");
    EXPECT_EQ(overV4->connectedPort(), v4.localPort());
    EXPECT_EQ(overV6->connectedHost(), "::1");
    EXPECT_EQ(overV6->connectedPort(), v6.localPort());
    EXPECT_EQ(overV6->localPort(), port);
}

TEST_F(GCDAsyncSocketTest, LoopbackListenerIsUnreachableFromOtherAddresses)
{
    const auto address = nonLoopbackIPv4Address();
    if (!address)
        GTEST_SKIP() << "no non-loopback IPv4 address";
    // Control: a listener on every address answers there.
    listen("");
    Client reachable(AF_INET);
    EXPECT_TRUE(reachable.connectTo(address->c_str(), listener->localPort()));
    listener->disconnect();

    const std::uint16_t port = listen("localhost");
    Client outsider(AF_INET), insider(AF_INET);
    EXPECT_FALSE(outsider.connectTo(address->c_str(), port));
    EXPECT_TRUE(insider.connectTo("127.0.0.1", port));
}

TEST_F(GCDAsyncSocketTest, ExactLengthReadsSpanSegmentsAndKeepTheRest)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);
    sock->readDataToLength(5, -1, 1);
    client.send({1, 2});
    ASSERT_TRUE(test::waitUntilServerTookEverything(listener->localPort()));
    EXPECT_EQ(delegate->events().size(), 1u); // only the accept
    client.send({3, 4, 5, 6});
    sock->readDataToLength(1, -1, 2);

    const auto events = delegate->waitForEvents(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].kind, Event::Read);
    EXPECT_EQ(events[1].tag, 1);
    EXPECT_EQ(events[1].data, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(events[2].tag, 2);
    EXPECT_EQ(events[2].data, (Bytes{6}));
}

TEST_F(GCDAsyncSocketTest, QueuedReadsCompleteInOrderWithTheirTags)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);
    sock->readDataToLength(1, -1, 1113);
    sock->readDataToLength(3, -1, 1114);
    client.send({3, 52, 9, 9});

    const auto events = delegate->waitForEvents(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].tag, 1113);
    EXPECT_EQ(events[1].data, (Bytes{3}));
    EXPECT_EQ(events[2].tag, 1114);
    EXPECT_EQ(events[2].data, (Bytes{52, 9, 9}));
}

void expectClosedByPeer(const Event& event, GCDAsyncSocket* sock)
{
    EXPECT_EQ(event.kind, Event::Disconnect);
    EXPECT_EQ(event.sock, sock);
    ASSERT_TRUE(event.error);
    EXPECT_EQ(event.error->domain, GCDAsyncSocketErrorDomain);
    EXPECT_EQ(event.error->code, 7);
    EXPECT_EQ(event.error->localizedDescription, "Socket closed by remote peer");
}

TEST_F(GCDAsyncSocketTest, PeerCloseEndsPendingReadWithClosedError)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);
    sock->readDataToLength(5, -1, 1);
    client.send({1, 2});
    client.close();

    const auto events = delegate->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    expectClosedByPeer(events[1], sock.get());
    EXPECT_EQ(sock->connectedPort(), 0);
}

TEST_F(GCDAsyncSocketTest, PeerCloseIsNoticedWithoutPendingReadButBufferedBytesAreKept)
{
    listen();
    Client idle(AF_INET);
    const SocketPtr idleSock = accept(idle);
    idle.close();
    expectClosedByPeer(delegate->waitForEvents(2).at(1), idleSock.get());

    // Bytes that arrived before the close still serve later reads.
    Client talker(AF_INET);
    const SocketPtr sock = accept(talker);
    talker.send({1, 2, 3});
    talker.close();
    ASSERT_TRUE(test::waitUntilServerTookEverything(listener->localPort())); // the bytes and the close
    sock->readDataToLength(2, -1, 1);
    sock->readDataToLength(2, -1, 2);
    const auto events = delegate->waitForEvents(5);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3].data, (Bytes{1, 2}));
    expectClosedByPeer(events[4], sock.get());
}

TEST_F(GCDAsyncSocketTest, DiscardingDropsAllInputButNoticesThePeerClose)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);
    client.send({1, 2, 3});
    ASSERT_TRUE(test::waitUntilServerTookEverything(listener->localPort())); // buffered ahead of any read
    sock->readDataToLength(4, -1, 1);
    sock->discardIncomingData();
    // Writes go on; once this one arrives, discarding has begun.
    sock->writeData({9}, -1, 3);
    EXPECT_EQ(client.receive(1), (Bytes{9}));
    client.send(pattern(1 << 20));
    sock->readDataToLength(1, -1, 2);
    client.close();

    const auto events = delegate->waitForEvents(3);
    settle(sock);
    ASSERT_EQ(delegate->events().size(), 3u) << "a read completed after discarding began";
    EXPECT_EQ(events[1].kind, Event::Write);
    expectClosedByPeer(events[2], sock.get());
}

TEST_F(GCDAsyncSocketTest, SocketsOnTheDelegateQueueDeliverThereInOrderWithoutNesting)
{
    delegate->shareQueue = true;
    delegate->disconnectOnReadTag = 3;
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);
    for (long tag = 1; tag <= 4; ++tag)
        sock->readDataToLength(tag == 2 ? 2 : 1, -1, tag);
    client.send({1, 2, 3, 4, 5});

    auto events = delegate->waitForEvents(5);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[1].data, (Bytes{1}));
    EXPECT_EQ(events[2].data, (Bytes{2, 3}));
    EXPECT_EQ(events[3].tag, 3);
    // The disconnect asked for in the read callback follows it; the fourth read is dropped.
    EXPECT_EQ(events[4].kind, Event::Disconnect);
    EXPECT_FALSE(events[4].error);
    EXPECT_TRUE(client.receive(1).empty());

    // A time-out query on the shared queue, answered with no extension.
    Client silent(AF_INET);
    const SocketPtr quiet = accept(silent);
    ASSERT_TRUE(quiet);
    quiet->readDataToLength(1, 0.05, 7);
    events = delegate->waitForEvents(8);
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[6].kind, Event::TimeoutQuery);
    ASSERT_TRUE(events[7].error);
    EXPECT_EQ(events[7].error->code, 4);
    settle(quiet);
    settle(sock);
    EXPECT_EQ(delegate->events().size(), 8u);
    EXPECT_EQ(delegate->nestedCallbacks(), 0);
}

TEST_F(GCDAsyncSocketTest, DisconnectingTheListenerLeavesAcceptedSocketsWorking)
{
    const std::uint16_t port = listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    ASSERT_TRUE(sock);

    listener->disconnect();
    auto events = delegate->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, Event::Disconnect);
    EXPECT_EQ(events[1].sock, listener.get());
    EXPECT_FALSE(events[1].error);
    EXPECT_EQ(listener->localPort(), 0);
    Client late(AF_INET);
    EXPECT_FALSE(late.connectTo("127.0.0.1", port));

    sock->readDataToLength(1, -1, 7);
    client.send({42});
    events = delegate->waitForEvents(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].data, (Bytes{42}));
    sock->writeData({43}, -1, 8);
    EXPECT_EQ(client.receive(1), (Bytes{43}));
    events = delegate->waitForEvents(4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[3].tag, 8);

    // A local disconnect drops the pending read and reports no error; the peer sees the close.
    sock->readDataToLength(1, -1, 9);
    sock->disconnect();
    events = delegate->waitForEvents(5);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[4].kind, Event::Disconnect);
    EXPECT_FALSE(events[4].error);
    EXPECT_TRUE(client.receive(1).empty());
}

TEST_F(GCDAsyncSocketTest, NeverStartedSocketAndEmptyRequestsGiveNoCallback)
{
    GCDAsyncSocket::create(delegate, delegateQueue)->disconnect();
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    sock->readDataToLength(0, -1, 1);
    sock->writeData({}, -1, 2);
    sock->writeData({5}, -1, 3);
    EXPECT_EQ(client.receive(1), (Bytes{5}));
    // The empty requests leave no trace up to the disconnect, which is the next event.
    sock->disconnect();
    const auto events = delegate->waitForEvents(3);
    settle(sock);
    ASSERT_EQ(delegate->events().size(), 3u);
    EXPECT_EQ(events[1].kind, Event::Write);
    EXPECT_EQ(events[1].tag, 3);
    EXPECT_EQ(events[2].kind, Event::Disconnect);
    EXPECT_FALSE(events[2].error);
}

TEST_F(GCDAsyncSocketTest, ReadTimeoutAsksTheDelegateThenExtendsOrCloses)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    delegate->extensions = {0.05, std::nullopt};
    client.send({1});
    sock->readDataToLength(4, 0.05, 5);

    const auto events = delegate->waitForEvents(4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].kind, Event::TimeoutQuery);
    EXPECT_EQ(events[1].tag, 5);
    EXPECT_DOUBLE_EQ(events[1].elapsed, 0.05);
    EXPECT_EQ(events[1].bytesDone, 1u);
    EXPECT_DOUBLE_EQ(events[2].elapsed, 0.1);
    ASSERT_TRUE(events[3].error);
    EXPECT_EQ(events[3].error->code, 4);
    EXPECT_EQ(events[3].error->localizedDescription, "Read operation timed out");
}

TEST_F(GCDAsyncSocketTest, ExtendedReadCompletesWhenTheDataArrives)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    delegate->extensions = {5.0};
    sock->readDataToLength(2, 0.05, 6);
    delegate->waitForEvents(2);
    client.send({7, 8});
    const auto events = delegate->waitForEvents(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].kind, Event::Read);
    EXPECT_EQ(events[2].data, (Bytes{7, 8}));
}

TEST_F(GCDAsyncSocketTest, WriteTimeoutClosesWhenThePeerDoesNotRead)
{
    listen();
    Client client(AF_INET);
    client.shrinkReceiveBuffer();
    const SocketPtr sock = accept(client);
    sock->writeData(pattern(8 << 20), 0.1, 1);
    const auto events = delegate->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(events[1].error);
    EXPECT_EQ(events[1].error->code, 5);
    EXPECT_EQ(events[1].error->localizedDescription, "Write operation timed out");
}

TEST_F(GCDAsyncSocketTest, ConfigurationErrors)
{
    auto expectRefusal = [](const SocketPtr& sock, const std::string& text) {
        Error error;
        EXPECT_FALSE(sock->acceptOnPort(0, &error));
        EXPECT_EQ(error.domain, GCDAsyncSocketErrorDomain);
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(error.localizedDescription, text);
    };
    expectRefusal(GCDAsyncSocket::create({}, delegateQueue),
                  "Attempting to accept without a delegate. Set a delegate first.");
    expectRefusal(GCDAsyncSocket::create(delegate, nullptr),
                  "Attempting to accept without a delegate queue. Set a delegate queue first.");
    const SocketPtr disabled = GCDAsyncSocket::create(delegate, delegateQueue);
    disabled->setIPv4Enabled(false);
    disabled->setIPv6Enabled(false);
    expectRefusal(disabled, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    listen();
    expectRefusal(listener, "Attempting to accept while connected or accepting connections. Disconnect first.");

    Error error;
    EXPECT_FALSE(GCDAsyncSocket::create(delegate, delegateQueue)->acceptOnInterface("no-such-if0", 0, &error));
    EXPECT_EQ(error.code, 2);
    // An occupied port names the failing call in the errno domain.
    const SocketPtr second = GCDAsyncSocket::create(delegate, delegateQueue);
    EXPECT_FALSE(second->acceptOnInterface("127.0.0.1", listener->localPort(), &error));
    EXPECT_EQ(error.domain, GCDAsyncSocketPOSIXErrorDomain);
    EXPECT_EQ(error.code, EADDRINUSE);
    EXPECT_EQ(error.localizedDescription, "Error in bind() function");
    EXPECT_TRUE(delegate->events().empty());
}

TEST_F(GCDAsyncSocketTest, WritesCompleteInOrderWithTags)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    sock->writeData({1, 2}, -1, 1115);
    sock->writeData({3}, -1, 1117);
    sock->writeData({4, 5, 6}, -1, 1115 + 100);
    EXPECT_EQ(client.receive(6), (Bytes{1, 2, 3, 4, 5, 6}));
    const auto events = delegate->waitForEvents(4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].tag, 1115);
    EXPECT_EQ(events[2].tag, 1117);
    EXPECT_EQ(events[3].tag, 1215);
}

TEST_F(GCDAsyncSocketTest, LargeTransfersArriveWhole)
{
    listen();
    Client client(AF_INET);
    const SocketPtr sock = accept(client);
    const Bytes outgoing = pattern(4 << 20);
    sock->writeData(outgoing, -1, 1);
    EXPECT_TRUE(client.receive(outgoing.size()) == outgoing);

    const Bytes incoming = pattern(2 << 20);
    sock->readDataToLength(incoming.size(), -1, 2);
    client.send(incoming);
    const auto events = delegate->waitForEvents(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].kind, Event::Write);
    EXPECT_TRUE(events[2].data == incoming);
}

TEST_F(GCDAsyncSocketTest, AcceptRecoversFromDescriptorExhaustionWithoutSpinning)
{
    listen();
    // UBSan checks a virtual call it has not seen before by probing the vtable
    // through a pipe, which fails like any new descriptor once they are exhausted
    // and is then reported as an invalid vptr. So every path the exhausted window
    // takes runs once beforehand: a whole accept, and a timer on the event loop.
    Client warmUp(AF_INET);
    ASSERT_NE(accept(warmUp), nullptr);
    runTimerOnSocketLoop();

    Client client(AF_INET);
    std::vector<std::chrono::steady_clock::time_point> failures;
    {
        const DescriptorExhaustion exhausted;
        ASSERT_TRUE(exhausted.ok());
        EXPECT_TRUE(client.connectTo("127.0.0.1", listener->localPort()));
        // Three failed attempts on the listener the connection went to.
        int listenFd = -1;
        for (int i = 0; i < 1000 && failures.size() < 3; ++i) {
            std::this_thread::sleep_for(10ms);
            {
                std::lock_guard lock(exhaustedAcceptsMutex);
                if (listenFd < 0 && !exhaustedAccepts.empty())
                    listenFd = exhaustedAccepts.front().first;
            }
            failures = exhaustedAcceptsOn(listenFd);
        }
    }

    EXPECT_EQ(delegate->events().size(), 1u) << "a connection was accepted without a descriptor";
    ASSERT_GE(failures.size(), 3u) << "the accept loop gave up on the pending connection";
    // Re-arming at once would try again within microseconds; a back-off waits its time, however
    // slow the machine, since its timer starts only after the failed attempt.
    EXPECT_GE(failures[1] - failures[0], 50ms) << "the accept loop spins while descriptors are exhausted";
    EXPECT_GE(failures[2] - failures[1], 50ms) << "the accept loop spins while descriptors are exhausted";
    const auto events = delegate->waitForEvents(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, Event::Accept);
}

}
}

// Every accept4 of this program, the socket's own included, passes through here, so the test sees
// how often the socket tries to accept while descriptors are exhausted.
extern "C" int accept4(int fd, sockaddr* address, socklen_t* length, int flags)
{
    using Accept4 = int (*)(int, sockaddr*, socklen_t*, int);
    static const auto next = reinterpret_cast<Accept4>(::dlsym(RTLD_NEXT, "accept4"));
    const int result = next(fd, address, length, flags);
    if (result < 0 && errno == EMFILE) {
        const int saved = errno;
        {
            std::lock_guard lock(tvi::exhaustedAcceptsMutex);
            tvi::exhaustedAccepts.emplace_back(fd, std::chrono::steady_clock::now());
        }
        errno = saved;
    }
    return result;
}
