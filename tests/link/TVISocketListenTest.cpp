#include "link/LinkTestSupport.h"

#include "support/MainLoopThread.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace tvi::test {
namespace {

constexpr const char* kInOwnNetwork = "TELVORA_TEST_IN_OWN_NETWORK";

// Runs the named tests of this program again in a network namespace of their own,
// where the port range and the ports taken on IPv6 loopback can be arranged
// without disturbing anything else. Absent when namespaces are not available.
std::optional<int> rerunInOwnNetwork(const std::string& filter)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
    environment.push_back(std::string(kInOwnNetwork) + "=1");
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = "/proc/self/exe";
    std::string filterArgument = "--gtest_filter=" + filter;
    char* argv[] = {program.data(), filterArgument.data(), nullptr};
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (::unshare(CLONE_NEWNET) != 0) ::_exit(77);
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(78);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) ::close(fd);
    return up;
}

bool setPortRange(int low, int high)
{
    std::ofstream range("/proc/sys/net/ipv4/ip_local_port_range");
    range << low << ' ' << high;
    range.close();
    return !range.fail();
}

// Listens on [::1] at every port from low to high.
std::vector<int> takeIPv6Loopback(int low, int high)
{
    std::vector<int> taken;
    for (int port = low; port <= high; ++port) {
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<std::uint16_t>(port));
        address.sin6_addr = in6addr_loopback;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 1) == 0)
            taken.push_back(fd);
        else
            ::close(fd);
    }
    return taken;
}

void release(std::vector<int>& fds)
{
    for (const int fd : fds) ::close(fd);
    fds.clear();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TVISocketListenTest : public LinkServerTest {
protected:
    bool warnedOfIPv4Only() const
    {
        for (const auto& line : logger->lines())
            if (line.flag == 2 && line.text.rfind("TVISocket: Serving IPv4 loopback only", 0) == 0) return true;
        return false;
    }
};

TEST_F(TVISocketListenTest, AnIPv6LoopbackPortInUseGivesAFreshPortOrIPv4Alone)
{
    if (!std::getenv(kInOwnNetwork)) {
        if (::geteuid() != 0) GTEST_SKIP() << "a network namespace of its own needs root";
        const auto result = rerunInOwnNetwork("TVISocketListenTest.*");
        if (!result) GTEST_SKIP() << "no network namespaces here";
        EXPECT_EQ(*result, 0);
        return;
    }
    ASSERT_TRUE(bringLoopbackUp());

    // Some numbers the system may give IPv4 are taken on [::1]: another try finds a free one.
    ASSERT_TRUE(setPortRange(41100, 41103));
    std::vector<int> taken = takeIPv6Loopback(41100, 41102);
    ASSERT_EQ(taken.size(), 3u);
    start();
    EXPECT_EQ(server->port(), 41103);
    EXPECT_FALSE(warnedOfIPv4Only());
    ASSERT_TRUE(setPortRange(42000, 42999)); // room for the clients' own ports
    peer::CalvettoPeer v6;
    std::string why;
    ASSERT_TRUE(v6.connect("::1", server->port(), &why)) << why;
    EXPECT_EQ(receiveMessageBytes(v6), (Bytes{0x01, 0x34}));
    v6.close();
    MainLoopThread::runOnMain([this] { server->stopServer(); });
    release(taken);

    // Every number is taken on [::1]: the link is served over IPv4 alone, with a warning.
    logger->clear();
    ASSERT_TRUE(setPortRange(41000, 41015));
    taken = takeIPv6Loopback(41000, 41015);
    ASSERT_EQ(taken.size(), 16u);
    start();
    const std::uint16_t port = server->port();
    EXPECT_GE(port, 41000);
    EXPECT_LE(port, 41015);
    EXPECT_TRUE(warnedOfIPv4Only());
    ASSERT_TRUE(setPortRange(42000, 42999));
    EXPECT_EQ(readFile(*TVISocket::serverPortFilePath()), std::to_string(port));
    peer::CalvettoPeer v4;
    ASSERT_TRUE(v4.connect("127.0.0.1", port));
    EXPECT_EQ(receiveMessageBytes(v4), (Bytes{0x01, 0x34}));
    release(taken);
}

}
}
