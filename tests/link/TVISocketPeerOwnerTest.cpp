// Who may talk to the link server when the kernel's socket diagnostics cannot be asked and
// the /proc TCP tables alone decide.
#include "link/LinkTestSupport.h"
#include "link/TVISocketPeerOwner.h"

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tvi::test {
namespace {

constexpr uid_t kNobody = 65534;
constexpr int kSourceAddresses = 8;

// Run in a forked child (system calls only): connects from 127.0.0.<host> with the
// listener's own port to the listener at 127.0.0.1. Reports 'c' when the server closed it
// without sending anything, 'd' when data came, 't' when it stayed open, 'n' when the
// connection could not be made.
char connectFromListenersPort(std::uint8_t host, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(port);
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + host - 1);
    sockaddr_in to = from;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return 'n';
    const timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char byte;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    ::close(fd);
    if (got > 0) return 'd';
    return got == 0 || errno == ECONNRESET ? 'c' : 't';
}

class TVISocketPeerOwnerTest : public LinkServerTest {};

TEST_F(TVISocketPeerOwnerTest, AnotherUserOnTheListenersPortOfAnotherLoopbackAddressIsRefused)
{
    if (::geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
    const TVISocketPeerOwner::WithoutSocketDiagnostics onlyTheProcTables;
    start();
    const std::uint16_t port = server->port();
    int verdicts[2];
    ASSERT_EQ(::pipe(verdicts), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(verdicts[0]);
        char verdict[kSourceAddresses];
        for (char& v : verdict) v = 'u';
        if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) {
            // Each source address puts the two sockets of its connection into other slots of
            // the table: matched by the ports alone, Telvora's own accepted socket came first
            // in about half of them.
            for (int i = 0; i < kSourceAddresses; ++i)
                verdict[i] = connectFromListenersPort(static_cast<std::uint8_t>(2 + i), port);
        }
        (void)!::write(verdicts[1], verdict, sizeof verdict);
        ::_exit(0);
    }
    ::close(verdicts[1]);
    char verdict[kSourceAddresses] = {};
    EXPECT_EQ(::read(verdicts[0], verdict, sizeof verdict), kSourceAddresses);
    ::close(verdicts[0]);
    ::waitpid(child, nullptr, 0);

    for (int i = 0; i < kSourceAddresses; ++i) EXPECT_EQ(verdict[i], 'c') << "from 127.0.0." << 2 + i;
    const std::string refusal = "of user id 65534: only user id " + std::to_string(::geteuid()) + " may connect";
    int refusals = 0;
    for (const auto& line : logger->lines()) {
        refusals += line.flag == 1 && line.text.rfind("TVISocket: Refused client 127.0.0.", 0) == 0 &&
                    line.text.find(refusal) != std::string::npos;
        EXPECT_EQ(line.text.find("Accepted client"), std::string::npos) << line.text;
    }
    EXPECT_EQ(refusals, kSourceAddresses);
    MainLoopThread::drain();
    EXPECT_EQ(controller->askCount, 0);
    EXPECT_EQ(server->connectedSocketCount(), 0u);

    // The user's own connection is still found, and served (over IPv6, whose table the
    // refusals above did not read).
    peer::CalvettoPeer own;
    if (!own.connect("::1", port)) GTEST_SKIP() << "no IPv6 loopback";
    EXPECT_EQ(receiveMessageBytes(own), (Bytes{0x01, 0x34}));
}

}
}
