// Link server latency and throughput over loopback, against two references.
//   link_bench [seconds per figure, default 0.2] [rounds, default 3]
//
// Each server is measured the same way on a fresh connection: the echo round
// trip (01 00 -> 01 01, one request at a time, p50/p99), then pipelined echo
// requests with a bounded window of outstanding requests (replies per second).
//
// References:
// - "asio baseline": one thread, async reads of the header byte and the body,
//   replies coalesced into one write at a time. The floor for any server.
// - "design model": the same asio reads, but with the link server's threading:
//   read completions on an I/O thread standing in for the socket queue, the
//   processor on a separate main thread, and after every read completion a
//   synchronous wait until the main thread has run an empty task. This is the
//   cost the read cycle imposes by itself, whatever socket layer carries it.
//
// Where the time goes. User-space work per message is a few microseconds; the
// rest is thread hand-offs (a futex wake and a reschedule each, 7-15 us on this
// virtual machine, several times that when its two cores are busy). The baseline
// has none. The design model has four on an echo's path: the sync after the
// header read (two), the processor's hop to the main thread and the hop back to
// the I/O thread. TVISocket has five: accepted connections run on "socketQueue"
// itself and deliver their callbacks there at once, so what is left beyond the
// model is the socket layer's event thread handing the readiness to
// "socketQueue"; the body read is served from bytes already buffered, and the
// reply's write rides on the wake-up that ends the sync after the body. So the
// p50 cannot come near the baseline while the design demands a main-queue sync
// per read.
// Pipelined, every message costs two main-queue syncs (header and body), so the
// rate is bounded by about 1 / (2 x sync round trip) in every design-faithful server.
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "link/TVISocket.h"

#include <asio/read.hpp>
#include <asio/write.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tvi;
using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr std::uint8_t kEchoRequest[] = {0x01, 0x00};
constexpr std::uint8_t kEchoReply[] = {0x01, 0x01};
// Requests in flight in the pipelined run: enough to keep every stage busy,
// few enough that the backlog drains at once when the run ends.
constexpr int kWindow = 512;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// ---------------------------------------------------------------------------
// Client: a plain blocking socket, the same for every server.

int connectLoopback(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool receiveAll(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct Figures {
    double p50 = 0, p99 = 0;
    std::size_t samples = 0;
    double perSecond = 0;
    bool ok = false;
};

// One request at a time; microseconds per round trip.
bool measureRoundTrips(std::uint16_t port, double duration, Figures& out)
{
    const int fd = connectLoopback(port);
    if (fd < 0) return false;
    std::vector<double> samples;
    std::uint8_t reply[2];
    bool ok = true;
    for (int i = 0; i < 300 && ok; ++i)
        ok = sendAll(fd, kEchoRequest, 2) && receiveAll(fd, reply, 2);
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(duration));
    while (ok && Clock::now() < end && samples.size() < 200000) {
        const auto start = Clock::now();
        ok = sendAll(fd, kEchoRequest, 2) && receiveAll(fd, reply, 2);
        samples.push_back(seconds(Clock::now() - start) * 1e6);
        ok = ok && reply[0] == kEchoReply[0] && reply[1] == kEchoReply[1];
    }
    ::close(fd);
    if (!ok || samples.empty()) return false;
    std::sort(samples.begin(), samples.end());
    out.p50 = samples[samples.size() / 2];
    out.p99 = samples[std::size_t(0.99 * double(samples.size() - 1))];
    out.samples = samples.size();
    return true;
}

// Keeps kWindow requests outstanding for `duration`; replies per second.
bool measurePipelined(std::uint16_t port, double duration, Figures& out)
{
    const int fd = connectLoopback(port);
    if (fd < 0) return false;
    std::vector<std::uint8_t> burst;
    for (int i = 0; i < kWindow; ++i) burst.insert(burst.end(), kEchoRequest, kEchoRequest + 2);
    long sent = 0, received = 0;
    std::size_t partial = 0; // bytes of a reply received so far
    std::vector<std::uint8_t> input(64 * 1024);
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(duration));
    auto last = start;
    bool sending = true, ok = true;
    while (ok && (sending || received < sent)) {
        if (sending && Clock::now() >= end) sending = false;
        if (sending && sent - received < kWindow) {
            const long room = kWindow - (sent - received);
            ok = sendAll(fd, burst.data(), std::size_t(room) * 2);
            sent += room;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break; // a server that stopped answering
        const ssize_t n = ::recv(fd, input.data(), input.size(), 0);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            if (input[std::size_t(i)] != kEchoReply[partial]) ok = false;
            if (++partial == 2) {
                partial = 0;
                ++received;
            }
        }
        last = Clock::now();
    }
    ::close(fd);
    if (!ok || received != sent || received == 0) return false;
    out.perSecond = double(received) / seconds(last - start);
    return true;
}

Figures measure(std::uint16_t port, double duration)
{
    Figures f;
    f.ok = measureRoundTrips(port, duration, f) && measurePipelined(port, duration, f);
    return f;
}

// ---------------------------------------------------------------------------
// References: the asio baseline and the design model share the connection.


class EchoConnection : public std::enable_shared_from_this<EchoConnection> {
public:
    // Called on the I/O thread after every read completion.
    using AfterRead = std::function<void()>;
    // Hands a body over; `answer` queues the reply (to be run on the I/O thread).
    using Processor = std::function<void(const std::shared_ptr<EchoConnection>&, std::vector<std::uint8_t>)>;

    EchoConnection(tcp::socket socket, Processor processor, AfterRead afterRead)
        : socket_(std::move(socket)), processor_(std::move(processor)), afterRead_(std::move(afterRead))
    {
        socket_.set_option(tcp::no_delay(true));
    }

    void start() { readHeader(); }

    // I/O thread only.
    void answer(const std::uint8_t* bytes, std::size_t size)
    {
        pending_.insert(pending_.end(), bytes, bytes + size);
        if (!writing_) flush();
    }

    asio::any_io_executor executor() { return socket_.get_executor(); }

private:
    void readHeader()
    {
        asio::async_read(socket_, asio::buffer(&header_, 1), [self = shared_from_this()](auto error, std::size_t) {
            if (error) return;
            if (self->header_ != 0) self->readBody();
            if (self->afterRead_) self->afterRead_();
        });
    }

    void readBody()
    {
        body_.resize(header_);
        asio::async_read(socket_, asio::buffer(body_), [self = shared_from_this()](auto error, std::size_t) {
            if (error) return;
            self->processor_(self, self->body_);
            self->readHeader();
            if (self->afterRead_) self->afterRead_();
        });
    }

    void flush()
    {
        writing_ = true;
        inFlight_.swap(pending_);
        pending_.clear();
        asio::async_write(socket_, asio::buffer(inFlight_), [self = shared_from_this()](auto error, std::size_t) {
            self->writing_ = false;
            if (!error && !self->pending_.empty()) self->flush();
        });
    }

    tcp::socket socket_;
    Processor processor_;
    AfterRead afterRead_;
    std::uint8_t header_ = 0;
    std::vector<std::uint8_t> body_;
    std::vector<std::uint8_t> pending_, inFlight_;
    bool writing_ = false;
};

// A minimal main queue: one thread running posted tasks in order.
class MainThreadModel {
public:
    MainThreadModel() : thread_([this] { serve(); }) {}
    ~MainThreadModel()
    {
        post({});
        thread_.join();
    }

    void post(std::function<void()> task)
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake_.notify_one();
    }

    void syncEmpty()
    {
        std::mutex doneMutex;
        std::condition_variable doneSignal;
        bool done = false;
        post([&] {
            std::lock_guard lock(doneMutex);
            done = true;
            doneSignal.notify_one();
        });
        std::unique_lock lock(doneMutex);
        doneSignal.wait(lock, [&] { return done; });
    }

private:
    void serve()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            if (!task) return;
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::thread thread_;
};

bool isEcho(const std::vector<std::uint8_t>& body)
{
    return !body.empty() && body[0] == kEchoRequest[1];
}

// An asio server on one I/O thread; `model` adds the link server's threading.
class ReferenceServer {
public:
    explicit ReferenceServer(MainThreadModel* model)
        : model_(model), acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0))
    {
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~ReferenceServer()
    {
        asio::post(io_, [this] { io_.stop(); });
        thread_.join();
    }

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    void accept()
    {
        acceptor_.async_accept([this](auto error, tcp::socket socket) {
            if (error) return;
            std::make_shared<EchoConnection>(std::move(socket), processor(), afterRead())->start();
            accept();
        });
    }

    EchoConnection::Processor processor()
    {
        if (!model_)
            return [](const auto& connection, std::vector<std::uint8_t> body) {
                if (isEcho(body)) connection->answer(kEchoReply, 2);
            };
        return [model = model_](const auto& connection, std::vector<std::uint8_t> body) {
            model->post([connection, body = std::move(body)] {
                if (!isEcho(body)) return;
                asio::post(connection->executor(), [connection] { connection->answer(kEchoReply, 2); });
            });
        };
    }

    EchoConnection::AfterRead afterRead()
    {
        if (!model_) return {};
        return [model = model_] { model->syncEmpty(); };
    }

    MainThreadModel* model_;
    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::thread thread_;
};

// ---------------------------------------------------------------------------

void printRow(const char* name, const Figures& f)
{
    if (!f.ok) {
        std::printf("%-34s  FAILED (no or wrong replies)\n", name);
        return;
    }
    std::printf("%-34s %8.1f %8.1f %9zu %12.0f\n", name, f.p50, f.p99, f.samples, f.perSecond);
}

// The link server with the given processor, served by a main loop on its own thread.
Figures measureLinkServer(const TVISocket::CommandProcessor* processor, double duration)
{
    auto server = TVISocket::create();
    if (processor) server->setCommandProcessor(*processor);
    DispatchQueue::main()->sync([&] { server->startServer(); });
    Figures f;
    if (server->isRunning()) f = measure(server->port(), duration);
    DispatchQueue::main()->sync([&] { server->stopServer(); });
    DispatchQueue::main()->sync([] {});
    return f;
}

// ---------------------------------------------------------------------------
// Memory held by idle connections.

constexpr int kIdleConnections = 1000;

// The resident set of this process in KiB, 0 when unknown.
long residentKiB()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
    std::fclose(status);
    return kib;
}

// The growth of the resident set once kIdleConnections clients are connected and
// waiting, each with its header read outstanding; negative when it failed.
double idleConnectionsMiB()
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t needed = 2 * kIdleConnections + 64;
    if (limit.rlim_cur < needed && limit.rlim_max >= needed) {
        limit.rlim_cur = needed;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    auto server = TVISocket::create();
    DispatchQueue::main()->sync([&] { server->startServer(); });
    if (!server->isRunning()) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long before = residentKiB();
    std::vector<int> clients;
    for (int i = 0; i < kIdleConnections; ++i) {
        const int fd = connectLoopback(server->port());
        if (fd < 0) break;
        clients.push_back(fd);
    }
    for (int i = 0; i < 500 && server->connectedSocketCount() < clients.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const bool allConnected = server->connectedSocketCount() == kIdleConnections;
    const long after = residentKiB();
    for (const int fd : clients) ::close(fd);
    DispatchQueue::main()->sync([&] { server->stopServer(); });
    for (int i = 0; i < 500 && server->connectedSocketCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DispatchQueue::main()->sync([] {});
    return allConnected ? (after - before) / 1024.0 : -1;
}

// ---------------------------------------------------------------------------
// Where the time goes: the cost of the hops the read cycle is made of.

double medianOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0 : samples[samples.size() / 2];
}

// A task queued onto an idle serial queue from a plain thread: queueing to start.
double serialQueueHop(int count)
{
    auto queue = DispatchQueue::createSerial("hop");
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        std::atomic<Clock::time_point::rep> started{0};
        const auto queued = Clock::now();
        queue->async([&started] { started = Clock::now().time_since_epoch().count(); });
        queue->sync([] {});
        samples.push_back(seconds(Clock::time_point(Clock::duration(started.load())) - queued) * 1e6);
        std::this_thread::sleep_for(std::chrono::microseconds(50)); // let the worker fall asleep again
    }
    return medianOf(samples);
}

// sync() of an empty task onto the main queue from a serial queue, as every read completion does.
double mainQueueSync(int count)
{
    auto queue = DispatchQueue::createSerial("sync");
    std::vector<double> samples;
    queue->sync([&] {
        for (int i = 0; i < count; ++i) {
            const auto start = Clock::now();
            DispatchQueue::main()->sync([] {});
            samples.push_back(seconds(Clock::now() - start) * 1e6);
        }
    });
    return medianOf(samples);
}

// Two plain threads handing a turn back and forth with a condition variable: one wake-up.
double threadWake(int count)
{
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0;
    std::thread other([&] {
        for (int i = 0; i < count; ++i) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return turn == 1; });
            turn = 0;
            changed.notify_one();
        }
    });
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::unique_lock lock(mutex);
        turn = 1;
        changed.notify_one();
        changed.wait(lock, [&] { return turn == 0; });
    }
    const double perWake = seconds(Clock::now() - start) * 1e6 / (2.0 * count);
    other.join();
    return perWake;
}

// The median of each figure over the rounds: the machine is shared, so single
// runs swing with other processes' load; interleaving spreads it evenly.
Figures median(std::vector<Figures> rounds)
{
    Figures result;
    result.ok = std::all_of(rounds.begin(), rounds.end(), [](const Figures& f) { return f.ok; });
    if (!result.ok) return result;
    auto pick = [&rounds](double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : rounds) values.push_back(f.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    result.p50 = pick(&Figures::p50);
    result.p99 = pick(&Figures::p99);
    result.perSecond = pick(&Figures::perSecond);
    for (const Figures& f : rounds) result.samples += f.samples;
    return result;
}

}

int main(int argc, char** argv)
{
    const double duration = argc > 1 ? std::atof(argv[1]) : 0.2;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // The server writes its port file under $HOME: keep it out of the user's.
    char home[] = "/tmp/link-bench-XXXXXX";
    if (!mkdtemp(home)) return 1;
    setenv("HOME", home, 1);
    std::thread mainLoop([] { MainRunLoop::shared().run(); });

    const TVISocket::CommandProcessor trivial = [](const TVISocket::SocketPtr& connection, const Bytes& body) {
        if (!body.empty() && body[0] == kEchoRequest[1])
            connection->writeData(Bytes(kEchoReply, kEchoReply + 2), -1, TVISocket::kReplyTag);
    };
    std::vector<Figures> baselines, models, links, linkCommandRuns;
    for (int round = 0; round < rounds; ++round) {
        {
            ReferenceServer server(nullptr);
            baselines.push_back(measure(server.port(), duration));
        }
        {
            MainThreadModel mainThread;
            ReferenceServer server(&mainThread);
            models.push_back(measure(server.port(), duration));
        }
        links.push_back(measureLinkServer(&trivial, duration));
        linkCommandRuns.push_back(measureLinkServer(nullptr, duration));
    }
    const Figures baseline = median(baselines), model = median(models), link = median(links),
                  linkCommands = median(linkCommandRuns);

    std::printf("echo over loopback, one connection; pipelined: %d requests in flight;\n"
                "median of %d rounds of %.2f s per figure\n",
                kWindow, rounds, duration);
    std::printf("%-34s %8s %8s %9s %12s\n", "server", "p50 us", "p99 us", "samples", "pipelined/s");
    printRow("asio baseline (1 thread)", baseline);
    printRow("design model (io + main, sync)", model);
    printRow("TVISocket (trivial processor)", link);
    printRow("TVISocket (processCommand)", linkCommands);
    if (baseline.ok && model.ok && link.ok) {
        std::printf("p50 TVISocket / baseline:              %.2fx (goal <= 1.30x)\n", link.p50 / baseline.p50);
        std::printf("p50 TVISocket / design model:          %.2fx\n", link.p50 / model.p50);
        std::printf("pipelined TVISocket / design model:    %.2fx (goal >= 1.00x)\n", link.perSecond / model.perSecond);
        std::printf("pipelined TVISocket / baseline:        %.2fx\n", link.perSecond / baseline.perSecond);
    }

    const double wake = threadWake(2000), hop = serialQueueHop(1000), sync = mainQueueSync(2000);
    std::printf("hop costs (median us): thread wake-up %.1f, serial-queue hop %.1f, main-queue sync round trip %.1f\n",
                wake, hop, sync);

    const double idle = idleConnectionsMiB();
    if (idle < 0)
        std::printf("%d idle connections: FAILED (not all connected)\n", kIdleConnections);
    else
        std::printf("%d idle connections: RSS +%.1f MB above idle (goal < 10 MB)\n", kIdleConnections, idle);

    MainRunLoop::shared().stop();
    mainLoop.join();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return baseline.ok && model.ok && link.ok && linkCommands.ok && idle >= 0 ? 0 : 1;
}
