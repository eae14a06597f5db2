// Reading: the read queue, the pre-buffer and the read time-outs.
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

namespace {

// Most bytes taken from the descriptor at once, through the shared read buffer;
// also the most buffered while no read is pending.
constexpr std::size_t readChunk = 64 * 1024;
// A drained pre-buffer keeps at most this much room; link messages are tiny,
// and an idle connection should hold no memory for data it may never get.
constexpr std::size_t keptPreBufferCapacity = 1024;

// Every recv lands here first: one buffer per thread that serves socket queues,
// instead of a chunk per connection that stays allocated while it idles.
std::uint8_t* sharedReadBuffer()
{
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    if (!buffer)
        buffer = std::make_unique<std::uint8_t[]>(readChunk);
    return buffer.get();
}

}

// ---------------------------------------------------------------------------
// Reading

void GCDAsyncSocket::readDataToLength(std::size_t length, double timeout, long tag)
{
    if (length == 0)
        return;
    auto request = std::make_shared<ReadRequest>(ReadRequest{length, timeout, tag});
    socketQueue_->async([self = shared_from_this(), request] { self->enqueueRead(request); });
}

void GCDAsyncSocket::enqueueRead(ReadPtr request)
{
    if (!connected_ || discardingInput_)
        return;
    readQueue_.push_back(std::move(request));
    dequeueRead();
    doReadData();
}

void GCDAsyncSocket::discardIncomingData()
{
    socketQueue_->async([self = shared_from_this()] { self->startDiscarding(); });
}

void GCDAsyncSocket::startDiscarding()
{
    if (!connected_ || discardingInput_)
        return;
    discardingInput_ = true;
    cancelReadTimer();
    readsPaused_ = false;
    readQueue_.clear();
    currentRead_.reset();
    Bytes().swap(preBuffer_);
    preBufferHead_ = 0;
    doReadData();
}

// Drains the descriptor into a scratch buffer until it would block or the peer
// closes; at most transferLimit bytes per readiness event, so a flooding peer
// cannot hold the queue.
void GCDAsyncSocket::discardFromDescriptor()
{
    std::uint8_t sink[16 * 1024];
    std::size_t total = 0;
    while (connected_ && !readWaiting_) {
        if (hasReadEOF_) {
            closeWithError(socketError(GCDAsyncSocketError::ClosedError, "Socket closed by remote peer"));
            return;
        }
        if (total >= transferLimit) {
            armReadWait();
            return;
        }
        const ssize_t count = ::recv(connection_->native_handle(), sink, sizeof sink, 0);
        if (count > 0) {
            total += static_cast<std::size_t>(count);
        } else if (count == 0) {
            hasReadEOF_ = true;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            armReadWait();
        } else if (errno != EINTR) {
            closeWithError(errnoError("Error in read() function"));
        }
    }
}

void GCDAsyncSocket::dequeueRead()
{
    if (currentRead_ || readQueue_.empty())
        return;
    currentRead_ = readQueue_.front();
    readQueue_.pop_front();
    if (currentRead_->timeout >= 0)
        startReadTimer(currentRead_->timeout);
}

// Serves reads from the pre-buffer, refilling it from the descriptor. While no
// read is pending it still buffers a little, so a peer's close is noticed.
void GCDAsyncSocket::doReadData()
{
    if (discardingInput_) {
        discardFromDescriptor();
        return;
    }
    while (connected_) {
        if (canCompleteCurrentRead()) {
            completeCurrentRead();
            continue;
        }
        if (hasReadEOF_) {
            handleEndOfFile();
            return;
        }
        if (readWaiting_ || buffered() >= wantedBytes())
            return;
        switch (readFromDescriptor()) {
        case ReadStatus::Got:
            break;
        case ReadStatus::EndOfFile:
            hasReadEOF_ = true;
            break;
        case ReadStatus::WouldBlock:
            armReadWait();
            return;
        case ReadStatus::Failed:
            return;
        }
    }
}

bool GCDAsyncSocket::canCompleteCurrentRead() const
{
    return currentRead_ && !readsPaused_ && buffered() >= currentRead_->length;
}

void GCDAsyncSocket::completeCurrentRead()
{
    cancelReadTimer();
    const ReadPtr request = std::move(currentRead_);
    currentRead_.reset();
    notifyDelegate([data = takeFromPreBuffer(request->length), tag = request->tag](
                       GCDAsyncSocketDelegate& delegate, const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidReadDataWithTag(sock, data, tag);
    });
    dequeueRead();
}

void GCDAsyncSocket::handleEndOfFile()
{
    // Buffered bytes stay available to reads still to come; the socket closes
    // once what is left cannot satisfy the read at hand, or nothing is left.
    if (currentRead_ ? buffered() >= currentRead_->length : buffered() > 0)
        return;
    closeWithError(socketError(GCDAsyncSocketError::ClosedError, "Socket closed by remote peer"));
}

std::size_t GCDAsyncSocket::wantedBytes() const
{
    if (!currentRead_)
        return readChunk;
    return std::max(currentRead_->length, readChunk);
}

GCDAsyncSocket::ReadStatus GCDAsyncSocket::readFromDescriptor()
{
    std::uint8_t* const buffer = sharedReadBuffer();
    const std::size_t room = std::min(wantedBytes() - buffered(), readChunk);
    ssize_t count;
    do {
        count = ::recv(connection_->native_handle(), buffer, room, 0);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        appendToPreBuffer(buffer, static_cast<std::size_t>(count));
        return ReadStatus::Got;
    }
    if (count == 0)
        return ReadStatus::EndOfFile;
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return ReadStatus::WouldBlock;
    closeWithError(errnoError("Error in read() function"));
    return ReadStatus::Failed;
}

// The pre-buffer holds only bytes no read has taken yet.
void GCDAsyncSocket::appendToPreBuffer(const std::uint8_t* data, std::size_t length)
{
    if (preBufferHead_ > 0) {
        preBuffer_.erase(preBuffer_.begin(), preBuffer_.begin() + static_cast<std::ptrdiff_t>(preBufferHead_));
        preBufferHead_ = 0;
    }
    preBuffer_.insert(preBuffer_.end(), data, data + length);
}

GCDAsyncSocket::Bytes GCDAsyncSocket::takeFromPreBuffer(std::size_t length)
{
    const auto begin = preBuffer_.begin() + static_cast<std::ptrdiff_t>(preBufferHead_);
    Bytes data(begin, begin + static_cast<std::ptrdiff_t>(length));
    preBufferHead_ += length;
    if (preBufferHead_ == preBuffer_.size()) {
        preBuffer_.clear();
        preBufferHead_ = 0;
        if (preBuffer_.capacity() > keptPreBufferCapacity)
            Bytes().swap(preBuffer_);
    }
    return data;
}

void GCDAsyncSocket::armReadWait()
{
    readWaiting_ = true;
    connection_->async_wait(asio::posix::descriptor_base::wait_read,
                            hop(socketQueue_, weak_from_this(),
                                [generation = generation_](GCDAsyncSocket& self, const asio::error_code& error) {
                                    if (generation != self.generation_)
                                        return;
                                    self.readWaiting_ = false;
                                    if (error)
                                        self.closeWithError(socketError(GCDAsyncSocketError::OtherError,
                                                                        error.message()));
                                    else
                                        self.doReadData();
                                }));
}

void GCDAsyncSocket::startReadTimer(double seconds)
{
    const std::uint64_t timerGeneration = ++readTimerGeneration_;
    readTimer_.expires_after(secondsToDuration(seconds));
    readTimer_.async_wait(hop(socketQueue_, weak_from_this(), [timerGeneration](GCDAsyncSocket& self, auto) {
        self.onReadTimerFired(timerGeneration);
    }));
}

void GCDAsyncSocket::cancelReadTimer()
{
    ++readTimerGeneration_;
    readTimer_.cancel();
}

void GCDAsyncSocket::onReadTimerFired(std::uint64_t timerGeneration)
{
    if (timerGeneration != readTimerGeneration_ || !currentRead_)
        return;
    readsPaused_ = true;
    const ReadPtr request = currentRead_;
    const std::size_t done = std::min(buffered(), request->length);
    auto answer = [request](GCDAsyncSocket& self, std::optional<double> extension) {
        self.onReadTimeoutAnswer(request, extension);
    };
    if (!delegateQueue_) {
        answer(*this, std::nullopt);
        return;
    }
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, request, done, answer] {
        std::optional<double> extension;
        if (const auto receiver = delegate.lock())
            extension = receiver->socketShouldTimeoutReadWithTagElapsedBytesDone(self, request->tag, request->timeout,
                                                                                 done);
        self->socketQueue_->async([self, answer, extension] { answer(*self, extension); });
    });
}

void GCDAsyncSocket::onReadTimeoutAnswer(const ReadPtr& request, std::optional<double> extension)
{
    if (request != currentRead_ || !connected_)
        return;
    if (!extension || *extension <= 0) {
        closeWithError(socketError(GCDAsyncSocketError::ReadTimeoutError, "Read operation timed out"));
        return;
    }
    request->timeout += *extension;
    startReadTimer(*extension);
    readsPaused_ = false;
    doReadData();
}

}
