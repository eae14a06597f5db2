// Arbitrary bytes from a client through the link server's read cycle.
//
// One server runs for the whole session, its main queue served on a thread of
// its own; its command processor only records each body with its connection. Each input is sent on a fresh connection, which is then
// closed, and the server must hand over exactly the whole messages in the bytes:
// a header byte 00 ends reading, and a last message cut short is never delivered.
// The server must close the connection once the peer has gone (also after a
// 00 header with bytes behind it), and it must keep running throughout.
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "link/TVISocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tvi;
using namespace std::chrono_literals;

namespace {

// Long enough for a loaded machine; only a fault ever waits this long.
constexpr auto kPatience = 5s;

void fail(const char* what)
{
    std::fprintf(stderr, "link_socket_fuzz: %s\n", what);
    std::abort();
}

// What the read cycle must make of a byte stream: its whole messages up to a 00 header.
std::vector<Bytes> frame(const std::uint8_t* data, std::size_t size)
{
    std::vector<Bytes> bodies;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = data[at];
        if (length == 0) break;
        if (size - at - 1 < length) break; // cut short: never delivered
        bodies.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    return bodies;
}

// Records what the processor and the controller see. Connections are told apart
// by the order of their accepts: the controller hears of each accept on the main
// queue before any body of that connection, and inputs run one after another.
class Recorder : public TVISocketController {
public:
    void body(const TVISocket::SocketPtr& connection, const Bytes& bytes)
    {
        std::lock_guard lock(mutex_);
        auto known = connections_.find(connection.get());
        if (known == connections_.end() || known->second.first.expired())
            known = connections_.insert_or_assign(connection.get(), std::make_pair(connection, accepts_)).first;
        const long connectionNumber = known->second.second;
        if (connectionNumber <= finished_) late_ = true;
        received_[connectionNumber].push_back(bytes);
        changed_.notify_all();
    }

    void askForIpAddress() override
    {
        std::lock_guard lock(mutex_);
        ++accepts_;
        changed_.notify_all();
    }
    void disableAllShortcuts() override
    {
        std::lock_guard lock(mutex_);
        ++disconnects_;
        changed_.notify_all();
    }
    void setShortcutEnabled(TVICallAction, bool) override {}
    bool holdsShortcut(TVICallAction, std::uint64_t, std::uint64_t) override { return true; }
    void setLastSavedIpString(const std::optional<std::string>&) override {}

    long accepts()
    {
        std::lock_guard lock(mutex_);
        return accepts_;
    }
    long disconnects()
    {
        std::lock_guard lock(mutex_);
        return disconnects_;
    }

    void awaitAccepts(long count) { await([&] { return accepts_ >= count; }, "the server did not accept"); }
    void awaitDisconnects(long count)
    {
        await([&] { return disconnects_ >= count; }, "the server kept a connection whose peer had closed");
    }

    // The bodies of that connection once there are `count`; later ones are faults.
    std::vector<Bytes> takeBodies(long connectionNumber, std::size_t count)
    {
        await([&] { return received_[connectionNumber].size() >= count; },
              "the server did not deliver every whole message");
        std::lock_guard lock(mutex_);
        finished_ = connectionNumber;
        return std::exchange(received_[connectionNumber], {});
    }

    // A body for a connection whose input was done: more than its bytes held.
    void expectNoLateBodies()
    {
        std::lock_guard lock(mutex_);
        if (late_) fail("the server delivered a body the bytes did not hold");
    }

private:
    template <typename Ready>
    void await(Ready ready, const char* failure)
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, kPatience, ready)) fail(failure);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<const GCDAsyncSocket*, std::pair<std::weak_ptr<GCDAsyncSocket>, long>> connections_;
    std::map<long, std::vector<Bytes>> received_;
    long accepts_ = 0;
    long disconnects_ = 0;
    long finished_ = 0;
    bool late_ = false;
};

struct Session {
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<TVISocket> server;
    std::thread mainLoop;

    Session()
    {
        // The port file goes into a throw-away home.
        static char home[] = "/tmp/link-fuzz-XXXXXX";
        if (!mkdtemp(home)) fail("cannot create a home folder");
        setenv("HOME", home, 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
        });
        mainLoop = std::thread([] { MainRunLoop::shared().run(); });
        server = TVISocket::create();
        server->setController(recorder);
        server->setCommandProcessor([recorder = recorder](const TVISocket::SocketPtr& connection, const Bytes& body) {
            recorder->body(connection, body);
        });
        start();
    }

    void start()
    {
        DispatchQueue::main()->sync([this] { server->startServer(); });
        if (!server->isRunning()) fail("the server did not start");
    }
};

Session& session()
{
    static Session* s = new Session();
    return *s;
}

int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail("no client socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fail("the server does not accept connections");
    return fd;
}

void sendAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) fail("the server stopped taking bytes");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Session& s = session();
    if (!s.server->isRunning()) fail("the server stopped running");

    const std::vector<Bytes> expected = frame(data, size);
    s.recorder->expectNoLateBodies();
    const long connectionNumber = s.recorder->accepts() + 1;
    const long disconnectsBefore = s.recorder->disconnects();
    const int fd = connectTo(s.server->port());
    s.recorder->awaitAccepts(connectionNumber);
    sendAll(fd, data, size);
    ::close(fd);

    if (s.recorder->takeBodies(connectionNumber, expected.size()) != expected)
        fail("the delivered bodies differ from the whole messages in the bytes");
    s.recorder->awaitDisconnects(disconnectsBefore + 1);
    if (s.server->connectedSocketCount() != 0) fail("a closed connection stayed in the server's list");
    return 0;
}
