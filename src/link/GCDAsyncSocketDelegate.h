#pragma once

#include "foundation/DispatchQueue.h"
#include "foundation/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tvi {

class GCDAsyncSocket;

// Receiver of a socket's events. Every callback arrives on the socket's delegate
// queue, one at a time and in the order the events happened on that socket:
// asynchronously, or at once when the delegate queue is the socket's own queue.
// The defaults do nothing, so a delegate overrides only what it needs.
class GCDAsyncSocketDelegate {
public:
    using SocketPtr = std::shared_ptr<GCDAsyncSocket>;

    virtual ~GCDAsyncSocketDelegate() = default;

    // A listening socket accepted a connection. newSocket reports to the same
    // delegate; the delegate must keep it (it closes when the last owner drops it).
    virtual void socketDidAcceptNewSocket(const SocketPtr& sock, const SocketPtr& newSocket)
    {
        (void)sock;
        (void)newSocket;
    }

    // The serial queue an accepted socket should run on; nullptr (the default)
    // gives it a queue of its own. Returning the delegate queue saves a thread
    // hand-off per event: callbacks are then delivered at once on that queue.
    // Asked on the listening socket's queue, so it must neither block nor wait
    // for the delegate queue. address: the peer's sockaddr bytes.
    virtual DispatchQueuePtr newSocketQueueForConnectionFromAddress(const std::vector<std::uint8_t>& address,
                                                                    const SocketPtr& sock)
    {
        (void)address;
        (void)sock;
        return nullptr;
    }

    virtual void socketDidReadDataWithTag(const SocketPtr& sock, const std::vector<std::uint8_t>& data, long tag)
    {
        (void)sock;
        (void)data;
        (void)tag;
    }

    virtual void socketDidWriteDataWithTag(const SocketPtr& sock, long tag)
    {
        (void)sock;
        (void)tag;
    }

    // A read's time-out passed. Return the extension in seconds (> 0 keeps the
    // read going); 0, a negative value or nullopt ("not implemented") closes
    // the socket with the read time-out error.
    virtual std::optional<double> socketShouldTimeoutReadWithTagElapsedBytesDone(const SocketPtr& sock, long tag,
                                                                                double elapsed, std::size_t bytesDone)
    {
        (void)sock;
        (void)tag;
        (void)elapsed;
        (void)bytesDone;
        return std::nullopt;
    }

    // The same question for a write; without an answer the write times out.
    virtual std::optional<double> socketShouldTimeoutWriteWithTagElapsedBytesDone(const SocketPtr& sock, long tag,
                                                                                 double elapsed, std::size_t bytesDone)
    {
        (void)sock;
        (void)tag;
        (void)elapsed;
        (void)bytesDone;
        return std::nullopt;
    }

    // The socket closed: nullopt after a local disconnect, else the cause.
    virtual void socketDidDisconnectWithError(const SocketPtr& sock, const std::optional<Error>& error)
    {
        (void)sock;
        (void)error;
    }
};

}
