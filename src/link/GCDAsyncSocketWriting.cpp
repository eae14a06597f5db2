// Writing: the write queue and the write time-outs.
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
// Writing

void GCDAsyncSocket::writeData(Bytes data, double timeout, long tag)
{
    if (data.empty())
        return;
    auto request = std::make_shared<WriteRequest>(WriteRequest{std::move(data), 0, timeout, tag});
    socketQueue_->async([self = shared_from_this(), request] { self->enqueueWrite(request); });
}

void GCDAsyncSocket::enqueueWrite(WritePtr request)
{
    if (!connected_)
        return;
    writeQueue_.push_back(std::move(request));
    dequeueWrite();
    doWriteData();
}

void GCDAsyncSocket::dequeueWrite()
{
    if (currentWrite_ || writeQueue_.empty())
        return;
    currentWrite_ = writeQueue_.front();
    writeQueue_.pop_front();
    if (currentWrite_->timeout >= 0)
        startWriteTimer(currentWrite_->timeout);
}

void GCDAsyncSocket::doWriteData()
{
    while (connected_ && currentWrite_ && !writesPaused_ && !writeWaiting_) {
        WriteRequest& request = *currentWrite_;
        const std::size_t length = std::min(request.data.size() - request.done, transferLimit);
        const ssize_t count =
            ::send(connection_->native_handle(), request.data.data() + request.done, length, MSG_NOSIGNAL);
        if (count >= 0) {
            request.done += static_cast<std::size_t>(count);
            if (request.done == request.data.size())
                completeCurrentWrite();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            armWriteWait();
        } else if (errno != EINTR) {
            closeWithError(errnoError("Error in write() function"));
        }
    }
}

void GCDAsyncSocket::completeCurrentWrite()
{
    cancelWriteTimer();
    const long tag = currentWrite_->tag;
    currentWrite_.reset();
    notifyDelegate([tag](GCDAsyncSocketDelegate& delegate, const std::shared_ptr<GCDAsyncSocket>& sock) {
        delegate.socketDidWriteDataWithTag(sock, tag);
    });
    dequeueWrite();
}

void GCDAsyncSocket::armWriteWait()
{
    writeWaiting_ = true;
    connection_->async_wait(asio::posix::descriptor_base::wait_write,
                            hop(socketQueue_, weak_from_this(),
                                [generation = generation_](GCDAsyncSocket& self, const asio::error_code& error) {
                                    if (generation != self.generation_)
                                        return;
                                    self.writeWaiting_ = false;
                                    if (error)
                                        self.closeWithError(socketError(GCDAsyncSocketError::OtherError,
                                                                        error.message()));
                                    else
                                        self.doWriteData();
                                }));
}

void GCDAsyncSocket::startWriteTimer(double seconds)
{
    const std::uint64_t timerGeneration = ++writeTimerGeneration_;
    writeTimer_.expires_after(secondsToDuration(seconds));
    writeTimer_.async_wait(hop(socketQueue_, weak_from_this(), [timerGeneration](GCDAsyncSocket& self, auto) {
        self.onWriteTimerFired(timerGeneration);
    }));
}

void GCDAsyncSocket::cancelWriteTimer()
{
    ++writeTimerGeneration_;
    writeTimer_.cancel();
}

void GCDAsyncSocket::onWriteTimerFired(std::uint64_t timerGeneration)
{
    if (timerGeneration != writeTimerGeneration_ || !currentWrite_)
        return;
    writesPaused_ = true;
    const WritePtr request = currentWrite_;
    auto answer = [request](GCDAsyncSocket& self, std::optional<double> extension) {
        self.onWriteTimeoutAnswer(request, extension);
    };
    if (!delegateQueue_) {
        answer(*this, std::nullopt);
        return;
    }
    onDelegateQueue([self = shared_from_this(), delegate = delegate_, request, done = request->done, answer] {
        std::optional<double> extension;
        if (const auto receiver = delegate.lock())
            extension = receiver->socketShouldTimeoutWriteWithTagElapsedBytesDone(self, request->tag,
                                                                                  request->timeout, done);
        self->socketQueue_->async([self, answer, extension] { answer(*self, extension); });
    });
}

void GCDAsyncSocket::onWriteTimeoutAnswer(const WritePtr& request, std::optional<double> extension)
{
    if (request != currentWrite_ || !connected_)
        return;
    if (!extension || *extension <= 0) {
        closeWithError(socketError(GCDAsyncSocketError::WriteTimeoutError, "Write operation timed out"));
        return;
    }
    request->timeout += *extension;
    startWriteTimer(*extension);
    writesPaused_ = false;
    doWriteData();
}

}
