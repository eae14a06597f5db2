#pragma once

#include "platform/Pasteboard.h"
#include "platform/PasteboardChangeListeners.h"
#include "platform/memory/PasteboardTestInterface.h"

#include <mutex>

namespace tvi {

// A pasteboard held in memory: empty, change count 0 at first. It signals every write and
// availability change to its listeners on the writing thread.
class MemoryPasteboard : public Pasteboard, public PasteboardTestInterface {
public:
    bool isAvailable() const override;
    std::int64_t changeCount() const override;
    std::optional<std::string> plainText() const override;
    bool canSignalChanges() const override;
    ListenerToken addChangeListener(ChangeListener listener) override;
    void removeChangeListener(ListenerToken token) override;

    void writeText(std::string text) override;
    void writeNonText() override;
    std::optional<std::string> content() const override;
    void setAvailable(bool available) override;

private:
    void write(std::optional<std::string> text);

    PasteboardChangeListeners listeners_;
    mutable std::mutex mutex_;
    std::optional<std::string> text_;
    std::int64_t changeCount_ = 0;
    bool available_ = true;
};

}
