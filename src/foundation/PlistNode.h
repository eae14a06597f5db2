#pragma once

#include "foundation/PlistValue.h"

#include <plist/plist.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvi {

// Owns one libplist node tree and converts between it and PlistValue.
// Only the property-list classes of this folder use it.
class PlistNode {
public:
    PlistNode() = default;
    explicit PlistNode(plist_t node) : node_(node) {}
    PlistNode(const PlistNode&) = delete;
    PlistNode& operator=(const PlistNode&) = delete;
    PlistNode(PlistNode&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
    PlistNode& operator=(PlistNode&& other) noexcept;
    ~PlistNode();

    plist_t get() const { return node_; }
    plist_t release() { return std::exchange(node_, nullptr); }
    explicit operator bool() const { return node_ != nullptr; }

    // An empty node when the value cannot be stored: absent anywhere inside, a text
    // with a NUL byte or invalid UTF-8, or a date outside 1932-12-13 … 2069-01-19 (whole seconds since 2001 must fit 32 bits).
    static PlistNode fromValue(const PlistValue& value);
    // A dictionary whose entries keep the given order (the binary writer keeps it).
    static PlistNode orderedDictionary(std::vector<std::pair<std::string, PlistNode>> entries);
    // Absent for a node that has no property-list meaning.
    static std::optional<PlistValue> toValue(plist_t node);

    // XML or binary, told apart by the binary header; empty on malformed input.
    static PlistNode parse(const PlistData& data);
    // Empty data when the tree cannot be written.
    PlistData toBinary() const;
    PlistData toXml() const;

private:
    plist_t node_ = nullptr;
};

}
