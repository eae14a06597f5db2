#pragma once

// What the parts of GCDAsyncSocket (accepting, reading, writing, closing) share.
#include "foundation/DispatchQueue.h"
#include "foundation/Error.h"
#include "link/GCDAsyncSocket.h"

#include <asio/error.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace tvi::socket_support {

// Most bytes handed to one send, or read in one readiness event while discarding:
// the kernel takes no more than its socket buffer anyway.
constexpr std::size_t transferLimit = 1024 * 1024;

inline Error socketError(GCDAsyncSocketError code, std::string text)
{
    return Error{GCDAsyncSocketErrorDomain, static_cast<long>(code), std::move(text), {}};
}

// Must be called right after the failing call, before errno changes.
inline Error errnoError(const std::string& text)
{
    const int code = errno;
    return Error{GCDAsyncSocketPOSIXErrorDomain, code, text, {{"NSLocalizedFailureReason", std::strerror(code)}}};
}

inline void report(Error* errPtr, Error error)
{
    if (errPtr)
        *errPtr = std::move(error);
}

inline asio::steady_timer::duration secondsToDuration(double seconds)
{
    // Cap absurd time-outs instead of overflowing the clock.
    constexpr double maximumSeconds = 365.0 * 24 * 3600;
    const std::chrono::duration<double> span(std::clamp(seconds, 0.0, maximumSeconds));
    return std::chrono::duration_cast<asio::steady_timer::duration>(span);
}

// Hops an asio completion onto the socket queue; aborted waits belong to a closed
// descriptor or cancelled timer and are dropped right here. Only the value is
// compared: this also runs during exit, when asio's error categories are gone.
template <typename Handler>
auto hop(DispatchQueuePtr queue, std::weak_ptr<GCDAsyncSocket> socket, Handler handler)
{
    return [queue = std::move(queue), socket = std::move(socket),
            handler = std::move(handler)](const asio::error_code& error) {
        if (error.value() == asio::error::operation_aborted)
            return;
        queue->async([socket, handler, error] {
            if (const auto self = socket.lock())
                handler(*self, error);
        });
    };
}

}
