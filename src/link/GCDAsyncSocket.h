#pragma once

#include "foundation/DispatchQueue.h"
#include "foundation/Error.h"
#include "link/GCDAsyncSocketDelegate.h"

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sockaddr;

namespace tvi {

inline constexpr const char* GCDAsyncSocketErrorDomain = "GCDAsyncSocketErrorDomain";
// Domain of failed system calls; the code is the errno value.
inline constexpr const char* GCDAsyncSocketPOSIXErrorDomain = "NSPOSIXErrorDomain";

enum class GCDAsyncSocketError : long {
    NoError = 0,
    BadConfigError = 1,
    BadParamError = 2,
    ConnectTimeoutError = 3,
    ReadTimeoutError = 4,
    WriteTimeoutError = 5,
    ReadMaxedOutError = 6,
    ClosedError = 7,
    OtherError = 8,
};

// Event-driven TCP socket: listens and accepts, reads exact lengths, writes,
// each request queued and completed in order with the caller's tag. All state
// lives on the object's serial socket queue; the delegate hears about every
// event on its delegate queue, at once when that is the socket queue itself.
// Public operations may be called from any thread; disconnect() and the accept
// calls wait for the socket queue, so callers must not hold that queue busy.
class GCDAsyncSocket : public std::enable_shared_from_this<GCDAsyncSocket> {
public:
    using Bytes = std::vector<std::uint8_t>;

    // The socket keeps only a weak reference to its delegate. Without a socket
    // queue it creates its own, labelled "GCDAsyncSocket".
    static std::shared_ptr<GCDAsyncSocket> create(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                                  DispatchQueuePtr delegateQueue,
                                                  DispatchQueuePtr socketQueue = nullptr);
    ~GCDAsyncSocket();
    GCDAsyncSocket(const GCDAsyncSocket&) = delete;
    GCDAsyncSocket& operator=(const GCDAsyncSocket&) = delete;

    void setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate);
    void setDelegateQueue(DispatchQueuePtr delegateQueue);
    bool isIPv4Enabled() const { return ipv4Enabled_; }
    void setIPv4Enabled(bool enabled) { ipv4Enabled_ = enabled; }
    bool isIPv6Enabled() const { return ipv6Enabled_; }
    void setIPv6Enabled(bool enabled) { ipv6Enabled_ = enabled; }

    // Listens on every local address (IPv4 and IPv6, one port number); port 0 = any.
    bool acceptOnPort(std::uint16_t port, Error* errPtr);
    // interface: "" = every address; "localhost" or "loopback" = 127.0.0.1 and ::1;
    // a numeric IPv4 or IPv6 address; or an interface name such as "lo".
    bool acceptOnInterface(const std::string& interface, std::uint16_t port, Error* errPtr);

    // 0 / "" when not listening or connected.
    std::uint16_t localPort() const;
    std::string connectedHost() const;
    std::uint16_t connectedPort() const;
    // The sockaddr bytes of a connected socket's own end and of its peer; empty otherwise.
    Bytes localAddress() const;
    Bytes connectedAddress() const;

    // timeout in seconds; negative = none. A length of 0 is ignored.
    void readDataToLength(std::size_t length, double timeout, long tag);
    // No more reads will be issued: pending reads are dropped, and what is buffered
    // or arrives later is thrown away unread, so a peer cannot make the socket hold
    // data nobody will take. Once the peer closes, the socket closes with the
    // closed-by-peer error. Writes go on as before.
    void discardIncomingData();
    // Empty data is ignored.
    void writeData(Bytes data, double timeout, long tag);
    // Drops pending reads and writes and closes; the delegate hears
    // socketDidDisconnectWithError with no error (unless it was never started).
    void disconnect();

private:
    struct ReadRequest {
        std::size_t length;
        double timeout;
        long tag;
    };
    struct WriteRequest {
        Bytes data;
        std::size_t done;
        double timeout;
        long tag;
    };
    struct Listener {
        std::unique_ptr<asio::posix::stream_descriptor> source;
        std::unique_ptr<asio::steady_timer> retryTimer;
    };
    using ReadPtr = std::shared_ptr<ReadRequest>;
    using WritePtr = std::shared_ptr<WriteRequest>;
    using DelegateCall = std::function<void(GCDAsyncSocketDelegate&, const std::shared_ptr<GCDAsyncSocket>&)>;
    enum class ReadStatus { Got, WouldBlock, EndOfFile, Failed };

    GCDAsyncSocket(std::weak_ptr<GCDAsyncSocketDelegate> delegate, DispatchQueuePtr delegateQueue,
                   DispatchQueuePtr socketQueue);

    void onSocketQueue(const std::function<void()>& task);

    // Listening and accepting.
    bool doAccept(const std::string& interface, std::uint16_t port, Error* errPtr);
    bool checkAcceptConfiguration(Error* errPtr) const;
    void startListener(int fd);
    void armAccept(std::size_t index);
    void onAcceptReady(std::size_t index, std::uint64_t generation);
    void acceptConnections(std::size_t index);
    void retryAcceptLater(std::size_t index);
    void handOver(int fd, const sockaddr* peer);
    bool adoptConnection(int fd, const sockaddr* peer);

    // Reading.
    void enqueueRead(ReadPtr request);
    void startDiscarding();
    void discardFromDescriptor();
    void dequeueRead();
    void doReadData();
    bool canCompleteCurrentRead() const;
    void completeCurrentRead();
    void handleEndOfFile();
    ReadStatus readFromDescriptor();
    std::size_t buffered() const { return preBuffer_.size() - preBufferHead_; }
    std::size_t wantedBytes() const;
    Bytes takeFromPreBuffer(std::size_t length);
    void appendToPreBuffer(const std::uint8_t* data, std::size_t length);
    void armReadWait();
    void startReadTimer(double seconds);
    void cancelReadTimer();
    void onReadTimerFired(std::uint64_t timerGeneration);
    void onReadTimeoutAnswer(const ReadPtr& request, std::optional<double> extension);

    // Writing.
    void enqueueWrite(WritePtr request);
    void dequeueWrite();
    void doWriteData();
    void completeCurrentWrite();
    void armWriteWait();
    void startWriteTimer(double seconds);
    void cancelWriteTimer();
    void onWriteTimerFired(std::uint64_t timerGeneration);
    void onWriteTimeoutAnswer(const WritePtr& request, std::optional<double> extension);

    void closeWithError(std::optional<Error> error);
    void clearConnectionInfo();
    void notifyDelegate(DelegateCall call);
    void onDelegateQueue(std::function<void()> task);
    void deliverInline(std::function<void()> task);

    // Immutable after construction.
    const DispatchQueuePtr socketQueue_;

    // Socket-queue state.
    std::weak_ptr<GCDAsyncSocketDelegate> delegate_;
    DispatchQueuePtr delegateQueue_;
    std::vector<Listener> listeners_;
    std::unique_ptr<asio::posix::stream_descriptor> connection_;
    asio::steady_timer readTimer_;
    asio::steady_timer writeTimer_;
    std::uint64_t generation_ = 0;
    std::uint64_t readTimerGeneration_ = 0;
    std::uint64_t writeTimerGeneration_ = 0;
    bool accepting_ = false;
    bool connected_ = false;
    bool readWaiting_ = false;
    bool writeWaiting_ = false;
    bool hasReadEOF_ = false;
    bool readsPaused_ = false;
    bool writesPaused_ = false;
    bool discardingInput_ = false;
    std::deque<ReadPtr> readQueue_;
    ReadPtr currentRead_;
    std::deque<WritePtr> writeQueue_;
    WritePtr currentWrite_;
    Bytes preBuffer_;
    std::size_t preBufferHead_ = 0;
    // Callbacks delivered at once (delegate queue == socket queue) wait here while
    // another one runs, so they never nest and keep their order.
    std::deque<std::function<void()>> inlineCallbacks_;
    bool deliveringInline_ = false;

    std::atomic<bool> ipv4Enabled_{true};
    std::atomic<bool> ipv6Enabled_{true};

    // Address snapshot, readable from any thread without a queue hop.
    mutable std::mutex infoMutex_;
    std::uint16_t localPort_ = 0;
    std::string connectedHost_;
    std::uint16_t connectedPort_ = 0;
    Bytes localAddress_;
    Bytes connectedAddress_;
};

}
