#pragma once

#include "link/TVISocketMessage.h"

#include <optional>
#include <string>
#include <vector>

namespace tvi::peer {

// Windows virtual-key codes (Calvetto's key codes) of readable key names such
// as "F1", "Ctrl", "Shift", "Alt", "Win", "Esc", "A", "5"; nullopt when unknown.
std::optional<unsigned> clientKeyCode(const std::string& name);
// "Ctrl+F5" -> payload 02 01 3E 01 10 (count, then each code in base 100).
std::optional<Bytes> combinationPayload(const std::string& combination);
// "01 0c", "010c" -> bytes; nullopt for odd length or non-hex characters.
std::optional<Bytes> parseHex(const std::string& text);
std::string toHex(const Bytes& bytes);

// One command line word of calvetto-peer turned into the bytes to send.
struct PeerCommand {
    enum class Kind { Send, Sleep, Expect, Linger } kind = Kind::Send;
    Bytes bytes;                // Send: whole encoded message(s)
    unsigned milliseconds = 0;  // Sleep, Linger
    int expectedType = -1;      // Expect: wait for this type
};

// Parses "make-call=F1", "hold=Ctrl+F5", "start", "stop", "echo", "delete=hold",
// "ip-update=10.0.0.1", "terminate", "pressed-response=make-call", "raw=0100",
// "send=53:31302e302e302e31", "sleep=200", "expect=Echo_Response".
std::optional<PeerCommand> parsePeerCommand(const std::string& word, std::string* error);

}
