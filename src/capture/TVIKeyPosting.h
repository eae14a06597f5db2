#pragma once

#include <cstdint>

namespace tvi {

// The copy keystroke the make-call shortcut sends to the application in front.
inline constexpr std::uint16_t kCopyKeyCode = 8; // the key labelled C
inline constexpr std::uint64_t kCGEventFlagMaskCommand = 0x100000;

// Posts one key press of `keyCode` carrying exactly `flags`, then its release, to the
// application in front, as if typed. Nothing is posted when the front process cannot be
// found; the release is not posted when the press could not be.
void postKeyWithModifiers(std::uint16_t keyCode, std::uint64_t flags);

}
