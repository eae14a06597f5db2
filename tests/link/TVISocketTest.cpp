#include "link/LinkTestSupport.h"

#include "foundation/Bundle.h"
#include "support/MainLoopThread.h"
#include "support/TcpQueues.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

// Run in a forked child: connects to the loopback address of the family and
// reports 'c' when the server closed it without sending anything, 'd' when data
// came, 't' when it stayed open, 'n' when there is no such loopback address.
char connectAndListen(int family, std::uint16_t port)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t length;
    if (family == AF_INET) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof v4;
    } else {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        v6.sin6_addr = in6addr_loopback;
        length = sizeof v6;
    }
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) return 'n';
    return serversFirstMove(fd);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class TVISocketTest : public LinkServerTest {
protected:
    // A connected peer that has received the Ip_Address_Request every client gets first.
    void connectFirst(CalvettoPeer& peer, const std::string& host = "127.0.0.1")
    {
        ASSERT_TRUE(peer.connect(host, server->port()));
        EXPECT_EQ(receiveMessageBytes(peer), (Bytes{0x01, 0x34}));
    }

    void waitForConnections(std::size_t count)
    {
        for (int i = 0; i < 300 && server->connectedSocketCount() != count; ++i) std::this_thread::sleep_for(10ms);
        ASSERT_EQ(server->connectedSocketCount(), count);
    }
};

TEST_F(TVISocketTest, PublishesThePortAndAnswersOnBothLoopbackAddresses)
{
    start();
    const std::uint16_t port = server->port();
    ASSERT_NE(port, 0);
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(port));
    EXPECT_TRUE(logger->contains("TVISocket: Telvora server started on port " + std::to_string(port), 4));

    CalvettoPeer v4;
    connectFirst(v4);
    CalvettoPeer v6;
    if (!v6.connect("::1", port)) GTEST_SKIP() << "no IPv6 loopback here";
    // The address request is unsolicited: it goes to the first client only.
    EXPECT_EQ(receiveMessageBytes(v4), (Bytes{0x01, 0x34}));
    EXPECT_TRUE(receiveMessageBytes(v6, 300ms).empty());
    logger->waitFor("never", 200ms);
    bool sawV6 = false;
    for (const auto& text : logger->texts()) sawV6 |= text.rfind("TVISocket: Accepted client ::1:", 0) == 0;
    EXPECT_TRUE(sawV6);
}

TEST_F(TVISocketTest, IsNotReachableOnOtherAddressesOfTheMachine)
{
    start();
    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    std::optional<std::string> external;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        if (std::string(text).rfind("127.", 0) != 0) external = text;
    }
    freeifaddrs(list);
    if (!external) GTEST_SKIP() << "this machine has only loopback addresses";
    CalvettoPeer outsider;
    EXPECT_FALSE(outsider.connect(*external, server->port()));
}

TEST_F(TVISocketTest, StartingTwiceOnlyWarns)
{
    start();
    const std::uint16_t port = server->port();
    MainLoopThread::runOnMain([this] { server->startServer(); });
    EXPECT_TRUE(logger->contains("TVISocket: Telvora is already running", 2));
    EXPECT_EQ(server->port(), port);
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(port));
}

TEST_F(TVISocketTest, RewritesALongerOldPortFileAndAfterARestart)
{
    const std::string path = *TVISocket::serverPortFilePath();
    {
        std::ofstream old(path, std::ios::trunc);
        old << "1234567890";
    }
    // Calvetto reading while the server starts: the file it opened must stay whole,
    // so the new port comes as a new file renamed over the old one.
    const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    start();
    char seen[16] = {};
    EXPECT_EQ(::pread(reader, seen, sizeof seen - 1, 0), 10);
    EXPECT_STREQ(seen, "1234567890");
    ::close(reader);
    EXPECT_EQ(readFile(path), std::to_string(server->port()));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path.substr(0, path.rfind('/')))) ++files;
    EXPECT_EQ(files, 1u); // nothing left beside it
    EXPECT_TRUE(logger->contains("TVISocket: => createServerPortFile port: " + std::to_string(server->port())));

    MainLoopThread::runOnMain([this] { server->stopServer(); });
    EXPECT_TRUE(logger->contains("TVISocket: Stopped Telvora server"));
    server->writeData(server->constructResponse(20, std::nullopt));
    EXPECT_TRUE(logger->contains("TVISocket: Tried to send message through socket but TVISocket is not running", 1));

    start();
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(server->port()));
    CalvettoPeer peer;
    connectFirst(peer);
}

TEST_F(TVISocketTest, MissingPortFileIsCreatedAndAFailureIsReported)
{
    std::remove(TVISocket::serverPortFilePath()->c_str());
    start();
    EXPECT_TRUE(logger->contains("TVISocket: Failed to open file. Will try creating it", 2));
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(server->port()));

    // A folder where the file should be: neither opening nor creating works.
    const std::string path = *TVISocket::serverPortFilePath();
    std::remove(path.c_str());
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    logger->clear();
    server->createServerPortFile(4242);
    bool reported = false;
    for (const auto& line : logger->lines())
        reported |= line.flag == 1 && line.text.rfind("TVISocket: Failed to create port file " + path, 0) == 0;
    EXPECT_TRUE(reported);
    rmdir(path.c_str());
}

TEST_F(TVISocketTest, SendingWithoutClientsWarnsAndDrops)
{
    start();
    server->writeData(server->constructResponse(20, std::nullopt));
    EXPECT_TRUE(logger->waitFor("TVISocket: Tried to send message through socket but no clients are connected"));
}

TEST_F(TVISocketTest, RefusesPayloadsThatWouldWrapTheLengthByte)
{
    EXPECT_EQ(server->constructResponse(11, Bytes(254, 'a')).size(), 256u);
    EXPECT_TRUE(server->constructResponse(11, Bytes(255, 'a')).empty());
    bool reported = false;
    for (const auto& line : logger->lines()) reported |= line.flag == 1 && line.text.find("Refused") != std::string::npos;
    EXPECT_TRUE(reported);
}

class RecordingServerTest : public TVISocketTest {
protected:
    void SetUp() override
    {
        TVISocketTest::SetUp();
        server->setCommandProcessor([this](const TVISocket::SocketPtr& connection, const Bytes& body) {
            std::lock_guard lock(mutex);
            bodies.push_back(body);
            connections.push_back(connection.get());
        });
    }

    std::vector<Bytes> received(std::size_t atLeast)
    {
        for (int i = 0; i < 300; ++i) {
            {
                std::lock_guard lock(mutex);
                if (bodies.size() >= atLeast) return bodies;
            }
            std::this_thread::sleep_for(10ms);
        }
        std::lock_guard lock(mutex);
        return bodies;
    }

    std::mutex mutex;
    std::vector<Bytes> bodies;
    std::vector<const void*> connections;
};

TEST_F(RecordingServerTest, TwoMessagesInOneSegmentArriveSeparatelyInOrder)
{
    start();
    CalvettoPeer peer;
    connectFirst(peer);
    ASSERT_TRUE(peer.sendRaw({0x01, 0x00, 0x04, 0x07, 0x01, 0x01, 0x0C}));
    EXPECT_EQ(received(2), (std::vector<Bytes>{{0x00}, {0x07, 0x01, 0x01, 0x0C}}));
}

TEST_F(RecordingServerTest, ABodySplitAcrossSegmentsIsReadWhole)
{
    start();
    CalvettoPeer peer;
    connectFirst(peer);
    ASSERT_TRUE(peer.sendRaw({0x04, 0x07}));
    ASSERT_TRUE(waitUntilServerTookEverything(server->port()));
    ASSERT_TRUE(peer.sendRaw({0x01}));
    ASSERT_TRUE(waitUntilServerTookEverything(server->port()));
    ASSERT_TRUE(peer.sendRaw({0x01, 0x0C, 0x01}));
    ASSERT_TRUE(peer.sendRaw({0x02}));
    EXPECT_EQ(received(2), (std::vector<Bytes>{{0x07, 0x01, 0x01, 0x0C}, {0x02}}));
}

TEST_F(RecordingServerTest, HeaderZeroStopsOnlyThatConnection)
{
    start();
    CalvettoPeer broken;
    connectFirst(broken);
    CalvettoPeer healthy;
    ASSERT_TRUE(healthy.connect("127.0.0.1", server->port()));
    waitForConnections(2);

    ASSERT_TRUE(broken.sendRaw({0x00, 0x01, 0x02}));
    EXPECT_TRUE(logger->waitFor("TVISocket: Error processing Header!"));
    ASSERT_TRUE(healthy.sendRaw({0x01, 0x05}));
    EXPECT_EQ(received(1), (std::vector<Bytes>{{0x05}}));
    // Whatever the broken connection sent was read before this second message, so nothing of it was processed.
    ASSERT_TRUE(waitUntilServerTookEverything(server->port()));
    ASSERT_TRUE(healthy.sendRaw({0x01, 0x06}));
    EXPECT_EQ(received(2), (std::vector<Bytes>{{0x05}, {0x06}}));
    EXPECT_EQ(server->connectedSocketCount(), 2u); // the broken one stays open
}

TEST_F(RecordingServerTest, AConnectionStoppedByAZeroHeaderLeavesWhenItsPeerCloses)
{
    start();
    CalvettoPeer broken;
    connectFirst(broken);
    // One message, the 00 header, then whole messages and far more than any read
    // buffer holds: none of it may be processed, and the close must still be seen.
    Bytes stream{0x01, 0x00, 0x00, 0x01, 0x00};
    stream.resize(stream.size() + 512 * 1024, 0x01);
    ASSERT_TRUE(broken.sendRaw(stream));
    EXPECT_TRUE(logger->waitFor("TVISocket: Error processing Header!"));
    EXPECT_EQ(server->connectedSocketCount(), 1u);
    EXPECT_EQ(controller->disableAllCount, 0);

    broken.close();
    waitForConnections(0);
    for (int i = 0; i < 300 && controller->disableAllCount < 1; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 1);
    EXPECT_TRUE(logger->contains("TVISocket: Client Disconnected", 1));
    MainLoopThread::drain();
    EXPECT_EQ(received(1), (std::vector<Bytes>{{0x00}}));
}

TEST_F(RecordingServerTest, StoppingWhileAClientKeepsSendingClosesEveryClient)
{
    start();
    CalvettoPeer busy;
    connectFirst(busy);
    CalvettoPeer idle;
    ASSERT_TRUE(idle.connect("127.0.0.1", server->port()));
    waitForConnections(2);
    // Every read completion waits for the main queue, so the stop (on the main
    // queue) comes while the connections' queue is waiting for it.
    std::thread flood([&busy] {
        Bytes burst;
        for (int i = 0; i < 64; ++i) burst.insert(burst.end(), {0x01, 0x05});
        while (busy.sendRaw(burst)) {
        }
    });
    received(100);
    auto stopped = std::async(std::launch::async, [this] { MainLoopThread::runOnMain([this] { server->stopServer(); }); });
    if (stopped.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "stopServer deadlocked with the read cycle";
        std::abort();
    }
    waitForConnections(0);
    flood.join();
    for (int i = 0; i < 300 && controller->disableAllCount < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 2);
    EXPECT_TRUE(idle.receiveBytes(1, 3s).empty());
    EXPECT_TRUE(idle.closedByPeer());
}

TEST_F(TVISocketTest, OnlyTheFirstClientLeavingSwitchesTheShortcutsOff)
{
    start();
    auto first = std::make_unique<CalvettoPeer>();
    connectFirst(*first);
    CalvettoPeer probe;
    ASSERT_TRUE(probe.connect("127.0.0.1", server->port()));
    waitForConnections(2);

    // A later connection leaving changes nothing for the first one's shortcuts.
    probe.close();
    EXPECT_TRUE(logger->waitFor("TVISocket: Client Disconnected"));
    waitForConnections(1);
    MainLoopThread::drain();
    EXPECT_EQ(controller->disableAllCount, 0);
    EXPECT_EQ(receiveMessageBytes(*first), (Bytes{0x01, 0x34})); // asked again when the probe came

    auto second = std::make_unique<CalvettoPeer>();
    ASSERT_TRUE(second->connect("127.0.0.1", server->port()));
    waitForConnections(2);
    EXPECT_EQ(receiveMessageBytes(*first), (Bytes{0x01, 0x34}));
    first.reset();
    waitForConnections(1);
    for (int i = 0; i < 300 && controller->disableAllCount < 1; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 1);

    // The remaining client is first now: it gets the unsolicited messages, and its leaving counts.
    server->writeData(server->constructResponse(32, std::nullopt));
    EXPECT_EQ(receiveMessageBytes(*second), (Bytes{0x01, 0x20}));
    second.reset();
    waitForConnections(0);
    for (int i = 0; i < 300 && controller->disableAllCount < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 2);
}

// A client that resets its connection while a backlog of messages and a reply
// waits to be written to it.
TEST_F(TVISocketTest, AFirstClientResettingWithRepliesQueuedLeavesTheList)
{
    start();
    std::atomic<int> processed{0};
    server->setCommandProcessor([this, &processed](const TVISocket::SocketPtr& connection, const Bytes& body) {
        server->processCommand(connection, body);
        ++processed;
    });
    const int resetting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(resetting, 0);
    const int smallBuffer = 4096;
    ASSERT_EQ(setsockopt(resetting, SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server->port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(resetting, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    waitForConnections(1);
    CalvettoPeer second;
    ASSERT_TRUE(second.connect("127.0.0.1", server->port()));
    waitForConnections(2);

    // Far more than both socket buffers hold, then a request whose reply queues behind it all.
    for (int i = 0; i < 20000; ++i) server->writeData(server->constructResponse(11, Bytes(254, 'x')));
    const std::uint8_t echo[] = {0x01, 0x00};
    ASSERT_EQ(::send(resetting, echo, sizeof echo, MSG_NOSIGNAL), 2);
    for (int i = 0; i < 300 && processed < 1; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(processed, 1);
    const linger reset{1, 0};
    ASSERT_EQ(setsockopt(resetting, SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    ::close(resetting);

    waitForConnections(1);
    for (int i = 0; i < 300 && controller->disableAllCount < 1; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 1);
    EXPECT_TRUE(logger->contains("TVISocket: Client Disconnected", 1));
    server->writeData(server->constructResponse(32, std::nullopt));
    EXPECT_EQ(receiveMessageBytes(second), (Bytes{0x01, 0x20}));
}

TEST_F(TVISocketTest, AConnectionOfAnotherUserIsClosedUnheard)
{
    if (::geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
    start();
    const std::uint16_t port = server->port();
    std::string verdict;
    ASSERT_NO_FATAL_FAILURE(connectAsNobody(
        2, [port](int i) { return connectAndListen(i == 0 ? AF_INET : AF_INET6, port); }, verdict));

    // Closed, nothing sent to it (not even the address request), over IPv4 and IPv6.
    EXPECT_EQ(verdict[0], 'c');
    EXPECT_TRUE(verdict[1] == 'c' || verdict[1] == 'n') << verdict[1];
    const std::string refusal = "of user id 65534: only user id " + std::to_string(::geteuid()) + " may connect";
    int refusals = 0;
    for (const auto& line : logger->lines()) {
        refusals += line.flag == 1 && line.text.rfind("TVISocket: Refused client ", 0) == 0 &&
                    line.text.find(refusal) != std::string::npos;
        EXPECT_EQ(line.text.find("Accepted client"), std::string::npos);
        EXPECT_EQ(line.text.find("Client Disconnected"), std::string::npos);
    }
    EXPECT_EQ(refusals, verdict[1] == 'c' ? 2 : 1);
    MainLoopThread::drain();
    EXPECT_EQ(controller->askCount, 0);
    EXPECT_EQ(controller->disableAllCount, 0);
    EXPECT_EQ(server->connectedSocketCount(), 0u);

    // The user's own connections are served as ever.
    CalvettoPeer own;
    connectFirst(own);
}

TEST_F(TVISocketTest, RepliesGoToTheAskingClientAndUnsolicitedToTheFirst)
{
    start();
    CalvettoPeer first;
    connectFirst(first);
    CalvettoPeer second;
    ASSERT_TRUE(second.connect("127.0.0.1", server->port()));
    waitForConnections(2);
    EXPECT_EQ(receiveMessageBytes(first), (Bytes{0x01, 0x34})); // asked again for the second client

    ASSERT_TRUE(second.send(0x00));
    EXPECT_EQ(receiveMessageBytes(second), (Bytes{0x01, 0x01}));
    EXPECT_TRUE(receiveMessageBytes(first, 200ms).empty());
    server->writeData(server->constructResponse(50, std::nullopt));
    EXPECT_EQ(receiveMessageBytes(first), (Bytes{0x01, 0x32}));
    EXPECT_TRUE(receiveMessageBytes(second, 200ms).empty());
}

TEST_F(TVISocketTest, ReadTimeOutIsExtendedOnceWithinFifteenSeconds)
{
    auto sock = std::shared_ptr<GCDAsyncSocket>();
    EXPECT_EQ(server->socketShouldTimeoutReadWithTagElapsedBytesDone(sock, 1113, 5.0, 0), 10.0);
    EXPECT_TRUE(logger->contains("TVISocket: A read request from the socket has timed-out", 2));
    EXPECT_TRUE(logger->contains("TVISocket: Extending timeout for another 10 sec before disconnecting", 2));
    EXPECT_EQ(server->socketShouldTimeoutReadWithTagElapsedBytesDone(sock, 1113, 15.0, 0), 10.0);
    EXPECT_EQ(server->socketShouldTimeoutReadWithTagElapsedBytesDone(sock, 1113, 15.5, 0), 0.0);
}

}
}
