#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tvi {

using Bytes = std::vector<std::uint8_t>;

// One link message: a length byte, a type byte, then the payload.
class TVISocketMessage {
public:
    // Largest payload whose length byte does not wrap.
    static constexpr std::size_t maxPayloadLength = 254;

    TVISocketMessage() = default;
    // From a body as read from the wire (type byte then payload, no length byte).
    // The body must hold at least the type byte.
    static TVISocketMessage initWithData(const Bytes& body);

    std::uint8_t msgType() const { return msgType_; }
    void setMsgType(std::uint8_t type) { msgType_ = type; }
    const std::optional<Bytes>& msgPayload() const { return msgPayload_; }
    void setMsgPayload(std::optional<Bytes> payload) { msgPayload_ = std::move(payload); }

    // (payload length + 1) modulo 256, always derived from the payload.
    std::uint8_t packetLength() const { return static_cast<std::uint8_t>(length()); }
    // payload length + 1, not truncated.
    std::size_t length() const { return payloadLength() + 1; }

    // Length byte, type, payload.
    Bytes convertToNSData() const;

private:
    std::size_t payloadLength() const { return msgPayload_ ? msgPayload_->size() : 0; }

    std::uint8_t msgType_ = 0;
    std::optional<Bytes> msgPayload_;
};

}
