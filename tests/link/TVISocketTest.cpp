#include "link/LinkTestSupport.h"

#include "foundation/Bundle.h"
#include "support/MainLoopThread.h"
#include "support/TcpQueues.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace tvi::test {
namespace {

using namespace std::chrono_literals;
using peer::CalvettoPeer;

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
    {
        std::ofstream old(*TVISocket::serverPortFilePath(), std::ios::trunc);
        old << "1234567890";
    }
    start();
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(server->port()));
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

TEST_F(TVISocketTest, EveryLeavingClientSwitchesTheShortcutsOff)
{
    start();
    auto first = std::make_unique<CalvettoPeer>();
    connectFirst(*first);
    CalvettoPeer second;
    ASSERT_TRUE(second.connect("127.0.0.1", server->port()));
    waitForConnections(2);

    second.close();
    EXPECT_TRUE(logger->waitFor("TVISocket: Client Disconnected"));
    waitForConnections(1);
    EXPECT_EQ(controller->disableAllCount, 1);
    EXPECT_EQ(receiveMessageBytes(*first), (Bytes{0x01, 0x34})); // asked again when the second came

    // Unsolicited messages still go to the remaining (first) client.
    server->writeData(server->constructResponse(32, std::nullopt));
    EXPECT_EQ(receiveMessageBytes(*first), (Bytes{0x01, 0x20}));

    first.reset();
    waitForConnections(0);
    for (int i = 0; i < 300 && controller->disableAllCount < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(controller->disableAllCount, 2);
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
