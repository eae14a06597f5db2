#pragma once

#include "platform/HotKeys.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace tvi::test {

// Lock keys lit while a combination is held or pressed.
enum LockKeys : unsigned { kNoLocks = 0, kCapsLock = 1, kNumLock = 2 };

struct KeyCombination {
    std::uint32_t keyCode = 0;   // the design's key code
    std::uint32_t modifiers = 0; // Carbon modifier bits
};

// The world around one hot-keys backend, for HotKeysContract: another program beside this
// one, and the user's keyboard.
class HotKeysDriver {
public:
    virtual ~HotKeysDriver() = default;

    // The backend under test, fresh for each case.
    virtual std::shared_ptr<HotKeys> hotKeys() = 0;
    // Every state of lock keys the keyboard can be in: kNoLocks alone when it has none.
    virtual std::vector<unsigned> lockStates() const = 0;
    // Another program takes the combination for itself, in one state of the lock keys.
    virtual void occupy(KeyCombination combination, unsigned locks) = 0;
    // Whether that other program could take the combination now, in every lock state.
    virtual bool otherProgramCanTake(KeyCombination combination) = 0;
    // The user presses and releases the combination with the lock keys `locks` lit.
    virtual void press(KeyCombination combination, unsigned locks) = 0;
    // How long a press may take to reach the main queue, and how long to wait for one that
    // must not come.
    virtual std::chrono::milliseconds deliveryTime() const = 0;
    virtual std::chrono::milliseconds settleTime() const = 0;
};

}
