#pragma once

#include "foundation/NonCopyable.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace tvi {

// Finds the user account that owns the other end of a loopback TCP connection,
// so the link server can turn away every process but the user's own. The kernel
// is asked through its socket diagnostics (netlink), with the TCP tables in /proc
// as a fallback; each must find the socket by both whole ends (address and port), and
// a connection whose owner neither finds is refused.
class TVISocketPeerOwner {
public:
    using Address = std::vector<std::uint8_t>;

    // localAddress and peerAddress: the sockaddr bytes of an accepted connection
    // as this side sees it. Absent when the peer's socket cannot be found (it is
    // gone already, or was never on this machine).
    static std::optional<uid_t> uidOfPeer(const Address& localAddress, const Address& peerAddress);

    // While one lives, the netlink question is not asked, as on a kernel or in a sandbox
    // without socket diagnostics: the /proc tables alone decide.
    class WithoutSocketDiagnostics : NonCopyable {
    public:
        WithoutSocketDiagnostics();
        ~WithoutSocketDiagnostics();

    private:
        bool previous_;
    };
};

}
