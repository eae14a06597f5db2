#include "support/TcpQueues.h"

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace tvi::test {
namespace {

constexpr unsigned listenState = 0x0A;

unsigned portOf(const std::string& address)
{
    return static_cast<unsigned>(std::stoul(address.substr(address.find(':') + 1), nullptr, 16));
}

// True while some connection to serverPort still has bytes (or a close) in flight or unread.
// In the kernel's table, tx_queue counts what the peer has not acknowledged and rx_queue what the
// owner has not read; a close counts as one more byte on both.
bool somethingPending(std::uint16_t serverPort)
{
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues;
            if (!(fields >> slot >> local >> remote >> state >> queues)) continue;
            if (std::stoul(state, nullptr, 16) == listenState) continue;
            const unsigned long tx = std::stoul(queues.substr(0, queues.find(':')), nullptr, 16);
            const unsigned long rx = std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16);
            if (portOf(local) == serverPort && rx != 0) return true;   // the server has not read it all
            if (portOf(remote) == serverPort && tx != 0) return true;  // a client's bytes are still in flight
        }
    }
    return false;
}
}

bool waitUntilServerTookEverything(std::uint16_t serverPort, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (somethingPending(serverPort)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}
