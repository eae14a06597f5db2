#pragma once

#include "link/TVISocket.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tvi {

class TVIMakeCallWindow;

// Captured text to Calvetto: what the user copied in a make-call window, pasteboard text
// with the marker, and text from the companions, sent for dialling.
class TVICapturedText {
public:
    explicit TVICapturedText(std::shared_ptr<TVIMakeCallWindow> window);

    // The link server, once it runs; read from the pasteboard observer's thread too.
    void setSocket(std::shared_ptr<TVISocket> socket);

    // A pasteboard change (the observer's thread).
    void pasteboardUpdated(const std::optional<std::string>& text);
    // Text from a companion (main thread).
    void getSelectedTextFromService(const std::optional<std::string>& text);
    void sendCapturedTextToClient(const std::optional<std::string>& text);
    // The payload for captured text: at most 100 UTF-16 units, never half a
    // character, and never more than a message can carry.
    static Bytes capturedTextPayload(const std::string& text);

private:
    std::shared_ptr<TVISocket> socket() const;

    std::shared_ptr<TVIMakeCallWindow> window_;
    mutable std::mutex socketMutex_;
    std::shared_ptr<TVISocket> socket_;
};

}
