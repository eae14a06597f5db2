#pragma once

#include "CalvettoPeer.h"
#include "link/TVISocket.h"
#include "foundation/Bundle.h"
#include "support/CollectingLogger.h"
#include "support/MainLoopThread.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace tvi::test {

// Stands in for the application controller: records what the server asks of it
// and answers a new connection with Ip_Address_Request, as the controller does.
class FakeController : public TVISocketController {
public:
    std::weak_ptr<TVISocket> server;

    void askForIpAddress() override
    {
        ++askCount;
        if (auto s = server.lock()) s->writeData(s->constructResponse(52, std::nullopt));
    }
    void disableAllShortcuts() override { ++disableAllCount; }
    bool holdsShortcut(TVICallAction, std::uint64_t, std::uint64_t) override { return true; }
    void setShortcutEnabled(TVICallAction action, bool e) override { set(switchIndex(action), e); }
    // Numbered in the order monitoring start and stop switch them.
    static int switchIndex(TVICallAction action)
    {
        switch (action) {
        case TVICallAction::MakeCall: return 0;
        case TVICallAction::CancelAction: return 1;
        case TVICallAction::TransferCall: return 2;
        case TVICallAction::ClearConnection: return 3;
        case TVICallAction::DeflectCall: return 4;
        case TVICallAction::AnswerCall: return 5;
        case TVICallAction::HoldCall: return 6;
        case TVICallAction::RetrieveCall: return 7;
        }
        return -1;
    }
    void setLastSavedIpString(const std::optional<std::string>& address) override
    {
        std::lock_guard lock(mutex);
        lastIp = address;
        ++ipCount;
    }

    // make, cancel, transfer, clear, deflect, answer, hold, retrieve
    std::array<std::optional<bool>, 8> enabled() const
    {
        std::lock_guard lock(mutex);
        return flags;
    }
    std::string order() const
    {
        std::lock_guard lock(mutex);
        return calls;
    }

    mutable std::mutex mutex;
    std::array<std::optional<bool>, 8> flags;
    std::string calls;
    std::optional<std::string> lastIp;
    int ipCount = 0;
    std::atomic<int> askCount{0};
    std::atomic<int> disableAllCount{0};

private:
    void set(int index, bool value)
    {
        std::lock_guard lock(mutex);
        flags[index] = value;
        calls += char('0' + index);
    }
};

inline Bytes receiveMessageBytes(peer::CalvettoPeer& peer, std::chrono::milliseconds timeout = std::chrono::seconds(3))
{
    auto message = peer.receive(timeout);
    if (!message) return {};
    return message->convertToNSData();
}

// A link server with a stand-in controller, its main queue served on a thread of its own,
// and every log line collected.
class LinkServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Bundle::setMainBundle(Bundle(TELVORA_APP_DIR));
        loop = new MainLoopThread;
    }
    static void TearDownTestSuite()
    {
        delete loop;
        loop = nullptr;
    }

    void SetUp() override
    {
        logger = CollectingLogger::install();
        controller = std::make_shared<FakeController>();
        server = TVISocket::create();
        server->setController(controller);
        controller->server = server;
    }

    void TearDown() override
    {
        MainLoopThread::runOnMain([this] { server->stopServer(); });
        MainLoopThread::drain();
        server.reset();
        CollectingLogger::uninstall(logger);
    }

    void start()
    {
        MainLoopThread::runOnMain([this] { server->startServer(); });
        ASSERT_TRUE(server->isRunning());
    }

    // Makes `count` connections as user nobody from a forked child, connect(i) making the i-th
    // and telling what the server did with it; `verdicts` gets what each told, 'u' for each when
    // the child could not become nobody. connect runs after fork in a process with other
    // threads: system calls only.
    template <class Connect>
    static void connectAsNobody(int count, Connect connect, std::string& verdicts)
    {
        constexpr uid_t kNobody = 65534;
        char verdict[16];
        ASSERT_LE(count, static_cast<int>(sizeof verdict));
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            for (char& v : verdict) v = 'u';
            if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0)
                for (int i = 0; i < count; ++i) verdict[i] = connect(i);
            (void)!::write(pipeEnds[1], verdict, count);
            ::_exit(0);
        }
        ::close(pipeEnds[1]);
        verdicts.assign(count, '\0');
        EXPECT_EQ(::read(pipeEnds[0], verdicts.data(), count), count);
        ::close(pipeEnds[0]);
        ::waitpid(child, nullptr, 0);
    }

    static inline MainLoopThread* loop = nullptr;
    std::shared_ptr<CollectingLogger> logger;
    std::shared_ptr<FakeController> controller;
    std::shared_ptr<TVISocket> server;
};

// For a forked child (system calls only) holding a connection to the server: waits a few
// seconds for the server's first move, closes the connection and reports 'c' when the server
// closed it without sending anything, 'd' when data came, 't' when it stayed open.
inline char serversFirstMove(int fd)
{
    const timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char byte;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    ::close(fd);
    if (got > 0) return 'd';
    return got == 0 || errno == ECONNRESET ? 'c' : 't';
}

}
