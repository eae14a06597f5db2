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
    return serversFirstMove(fd);
}

class TVISocketPeerOwnerTest : public LinkServerTest {};

TEST_F(TVISocketPeerOwnerTest, AnotherUserOnTheListenersPortOfAnotherLoopbackAddressIsRefused)
{
    if (::geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
    const TVISocketPeerOwner::WithoutSocketDiagnostics onlyTheProcTables;
    start();
    const std::uint16_t port = server->port();
    std::string verdict;
    // Each source address puts the two sockets of its connection into other slots of the
    // table: matched by the ports alone, Telvora's own accepted socket came first in about
    // half of them.
    ASSERT_NO_FATAL_FAILURE(connectAsNobody(
        kSourceAddresses,
        [port](int i) { return connectFromListenersPort(static_cast<std::uint8_t>(2 + i), port); }, verdict));

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
