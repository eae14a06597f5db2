#pragma once

#include <optional>
#include <string>

namespace tvi {

// What tests may change and look at in the in-memory pasteboard. Every write moves the
// change count, as another application's copy would.
class PasteboardTestInterface {
public:
    virtual ~PasteboardTestInterface() = default;
    virtual void writeText(std::string text) = 0;
    // Content without a text form (an image, a file reference).
    virtual void writeNonText() = 0;
    // What is there now as text; absent after writeNonText or before any write.
    virtual std::optional<std::string> content() const = 0;
    virtual void setAvailable(bool available) = 0;
};

}
