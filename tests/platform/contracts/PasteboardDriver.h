#pragma once

#include "platform/Pasteboard.h"

#include <chrono>
#include <memory>
#include <string>

namespace tvi::test {

// The world around one pasteboard backend, for PasteboardContract: other programs that copy.
class PasteboardDriver {
public:
    virtual ~PasteboardDriver() = default;

    // The backend under test, fresh for each case.
    virtual std::shared_ptr<Pasteboard> pasteboard() = 0;
    // Another program copies text, or content without a text form (an image).
    virtual void writeText(const std::string& text) = 0;
    virtual void writeNonText() = 0;
    // How long another program's copy may take to show.
    virtual std::chrono::milliseconds changeTime() const = 0;
};

}
