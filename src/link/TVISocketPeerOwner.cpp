#include "link/TVISocketPeerOwner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace tvi {
namespace {

std::atomic<bool> socketDiagnosticsOff{false};

struct Endpoint {
    int family = AF_UNSPEC;
    std::uint16_t port = 0; // host order
    std::uint8_t address[16] = {};
};

std::optional<Endpoint> endpointOf(const TVISocketPeerOwner::Address& bytes)
{
    Endpoint endpoint;
    sockaddr_storage storage{};
    if (bytes.size() < sizeof(sa_family_t) || bytes.size() > sizeof storage) return std::nullopt;
    std::memcpy(&storage, bytes.data(), bytes.size());
    if (storage.ss_family == AF_INET && bytes.size() >= sizeof(sockaddr_in)) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(storage);
        endpoint.port = ntohs(v4.sin_port);
        std::memcpy(endpoint.address, &v4.sin_addr, 4);
    } else if (storage.ss_family == AF_INET6 && bytes.size() >= sizeof(sockaddr_in6)) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(storage);
        endpoint.port = ntohs(v6.sin6_port);
        std::memcpy(endpoint.address, &v6.sin6_addr, 16);
    } else {
        return std::nullopt;
    }
    endpoint.family = storage.ss_family;
    return endpoint;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// One exact lookup of the socket whose own end is `owner` and whose other end is `other`.
std::optional<uid_t> askSocketDiagnostics(const Endpoint& owner, const Endpoint& other)
{
    const Descriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (fd.get() < 0) return std::nullopt;
    const timeval patience{1, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = static_cast<std::uint8_t>(owner.family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = htons(owner.port);
    message.request.id.idiag_dport = htons(other.port);
    const std::size_t length = owner.family == AF_INET ? 4 : 16;
    std::memcpy(message.request.id.idiag_src, owner.address, length);
    std::memcpy(message.request.id.idiag_dst, other.address, length);
    message.request.id.idiag_cookie[0] = message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0)
        return std::nullopt;
    alignas(nlmsghdr) char answer[8192];
    ssize_t received = ::recv(fd.get(), answer, sizeof answer, 0);
    if (received <= 0) return std::nullopt;
    for (auto* header = reinterpret_cast<nlmsghdr*>(answer); NLMSG_OK(header, received);
         header = NLMSG_NEXT(header, received)) {
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;
        const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
        // A socket in TIME_WAIT has no owner any more (it reads as root).
        if (found->idiag_state == TCP_TIME_WAIT) return std::nullopt;
        return found->idiag_uid;
    }
    return std::nullopt;
}

// An endpoint as the kernel prints it in /proc/net/tcp and tcp6: the address as 32-bit
// words in host order, then the port, all in upper-case hex ("0100007F:1F90").
std::string procTableText(const Endpoint& endpoint)
{
    const std::size_t words = endpoint.family == AF_INET ? 1 : 4;
    std::string text;
    char piece[16];
    for (std::size_t i = 0; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, endpoint.address + 4 * i, sizeof word);
        std::snprintf(piece, sizeof piece, "%08X", static_cast<unsigned>(word));
        text += piece;
    }
    std::snprintf(piece, sizeof piece, ":%04X", static_cast<unsigned>(endpoint.port));
    return text + piece;
}

// The same question put to /proc/net/tcp or tcp6. Both whole ends must match: ports alone
// would let another user's socket bound to 127.0.0.2 with the listener's port pass for
// Telvora's own accepted one.
std::optional<uid_t> askProcTable(const Endpoint& owner, const Endpoint& other)
{
    std::ifstream table(owner.family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6");
    const std::string ownEnd = procTableText(owner);
    const std::string otherEnd = procTableText(other);
    std::string line;
    std::getline(table, line); // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        uid_t uid = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid)) continue;
        // A socket in TIME_WAIT has no owner any more (it reads as root).
        if (local == ownEnd && remote == otherEnd && state != "06") return uid;
    }
    return std::nullopt;
}

}

std::optional<uid_t> TVISocketPeerOwner::uidOfPeer(const Address& localAddress, const Address& peerAddress)
{
    const auto local = endpointOf(localAddress);
    const auto peer = endpointOf(peerAddress);
    if (!local || !peer || local->family != peer->family) return std::nullopt;
    // The peer's socket is the one whose own end is the peer address.
    if (!socketDiagnosticsOff.load())
        if (const auto uid = askSocketDiagnostics(*peer, *local)) return uid;
    return askProcTable(*peer, *local);
}

TVISocketPeerOwner::WithoutSocketDiagnostics::WithoutSocketDiagnostics()
    : previous_(socketDiagnosticsOff.exchange(true))
{
}

TVISocketPeerOwner::WithoutSocketDiagnostics::~WithoutSocketDiagnostics()
{
    socketDiagnosticsOff.store(previous_);
}

}
