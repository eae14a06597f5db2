// Creation, configuration, delegate calls and closing; accepting, reading and writing
// have files of their own.
#include "link/GCDAsyncSocket.h"

#include "link/SocketIOService.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "link/GCDAsyncSocketSupport.h"

namespace tvi {

using namespace socket_support;

// ---------------------------------------------------------------------------
// Creation and configuration

std::shared_ptr<GCDAsyncSocket> GCDAsyncSocket::create(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                                       DispatchQueuePtr delegateQueue, DispatchQueuePtr socketQueue)
{
    return std::shared_ptr<GCDAsyncSocket>(
        new GCDAsyncSocket(std::move(delegate), std::move(delegateQueue), std::move(socketQueue)));
}

GCDAsyncSocket::GCDAsyncSocket(std::weak_ptr<GCDAsyncSocketDelegate> delegate, DispatchQueuePtr delegateQueue,
                               DispatchQueuePtr socketQueue)
    : socketQueue_(socketQueue ? std::move(socketQueue) : DispatchQueue::createSerial("GCDAsyncSocket")),
      delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)),
      readTimer_(SocketIOService::shared().context()), writeTimer_(SocketIOService::shared().context())
{
}

// The last owner is gone, so nothing else can touch the object: the descriptors
// close with their members and the delegate hears nothing.
GCDAsyncSocket::~GCDAsyncSocket() = default;

void GCDAsyncSocket::onSocketQueue(const std::function<void()>& task)
{
    if (socketQueue_->isCurrent())
        task();
    else
        socketQueue_->sync(task);
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate)
{
    onSocketQueue([&] { delegate_ = std::move(delegate); });
}

void GCDAsyncSocket::setDelegateQueue(DispatchQueuePtr delegateQueue)
{
    onSocketQueue([&] { delegateQueue_ = std::move(delegateQueue); });
}

std::uint16_t GCDAsyncSocket::localPort() const
{
    std::lock_guard lock(infoMutex_);
    return localPort_;
}

std::string GCDAsyncSocket::connectedHost() const
{
    std::lock_guard lock(infoMutex_);
    return connectedHost_;
}

std::uint16_t GCDAsyncSocket::connectedPort() const
{
    std::lock_guard lock(infoMutex_);
    return connectedPort_;
}

void GCDAsyncSocket::clearConnectionInfo()
{
    std::lock_guard lock(infoMutex_);
    localPort_ = 0;
    connectedHost_.clear();
    connectedPort_ = 0;
    localAddress_.clear();
    connectedAddress_.clear();
}

GCDAsyncSocket::Bytes GCDAsyncSocket::localAddress() const
{
    std::lock_guard lock(infoMutex_);
    return localAddress_;
}

GCDAsyncSocket::Bytes GCDAsyncSocket::connectedAddress() const
{
    std::lock_guard lock(infoMutex_);
    return connectedAddress_;
}

void GCDAsyncSocket::notifyDelegate(DelegateCall call)
{
    if (!delegateQueue_)
        return;
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, call = std::move(call)] {
        if (const auto receiver = delegate.lock())
            call(*receiver, self);
    });
}

// Called on the socket queue only.
void GCDAsyncSocket::onDelegateQueue(std::function<void()> task)
{
    if (delegateQueue_ == socketQueue_)
        deliverInline(std::move(task));
    else
        delegateQueue_->async(std::move(task));
}

// Runs on the socket queue, which is the delegate queue: no hand-off needed.
// A callback may cause further events (a disconnect() from a read callback);
// those are delivered after it returns, in order.
void GCDAsyncSocket::deliverInline(std::function<void()> task)
{
    inlineCallbacks_.push_back(std::move(task));
    if (deliveringInline_)
        return;
    // The delegate may drop its last reference to this socket in a callback.
    const std::shared_ptr<GCDAsyncSocket> self = shared_from_this();
    deliveringInline_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{deliveringInline_};
    while (!inlineCallbacks_.empty()) {
        const std::function<void()> next = std::move(inlineCallbacks_.front());
        inlineCallbacks_.pop_front();
        next();
    }
}

// ---------------------------------------------------------------------------
// Closing

void GCDAsyncSocket::disconnect()
{
    onSocketQueue([this] { closeWithError(std::nullopt); });
}

void GCDAsyncSocket::closeWithError(std::optional<Error> error)
{
    readQueue_.clear();
    writeQueue_.clear();
    if (!accepting_ && !connected_)
        return;
    ++generation_;
    cancelReadTimer();
    cancelWriteTimer();
    currentRead_.reset();
    currentWrite_.reset();
    Bytes().swap(preBuffer_);
    preBufferHead_ = 0;
    // Destroying the sources closes the descriptors and drops their pending waits.
    listeners_.clear();
    connection_.reset();
    accepting_ = connected_ = false;
    readWaiting_ = writeWaiting_ = false;
    hasReadEOF_ = readsPaused_ = writesPaused_ = discardingInput_ = false;
    clearConnectionInfo();
    notifyDelegate([error = std::move(error)](GCDAsyncSocketDelegate& delegate,
                                              const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidDisconnectWithError(sock, error);
    });
}


}
