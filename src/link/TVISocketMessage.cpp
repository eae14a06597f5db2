#include "link/TVISocketMessage.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>

namespace tvi {

TVISocketMessage TVISocketMessage::initWithData(const Bytes& body)
{
    if (body.empty()) {
        // Callers only pass bodies of at least one byte; anything else is a programming error.
        std::fputs("TVISocketMessage: initWithData called with an empty body\n", stderr);
        std::abort();
    }
    TVISocketMessage message;
    message.msgType_ = body.front();
    message.msgPayload_ = Bytes(body.begin() + 1, body.end());
    return message;
}

Bytes TVISocketMessage::convertToNSData() const
{
    Bytes encoded;
    encoded.reserve(length() + 1);
    encoded.push_back(packetLength());
    encoded.push_back(msgType_);
    if (msgPayload_) encoded.insert(encoded.end(), msgPayload_->begin(), msgPayload_->end());
    return encoded;
}

}
