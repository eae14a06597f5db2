#pragma once

#include "platform/contracts/ContractSuite.h"
#include "platform/contracts/HotKeysDriver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tvi::test {

// What every hot-keys backend must do, whatever desktop it runs on. A program instantiates
// the suite with a factory of drivers for its backend:
//   INSTANTIATE_TEST_SUITE_P(X11, HotKeysContract, ::testing::Values(&makeX11HotKeysDriver));
class HotKeysContract : public ContractSuite<HotKeysDriver> {
protected:
    void SetUp() override;

    // Serves the main queue at least once, then until `done` holds or the driver's delivery
    // time has passed; answers `done`.
    bool serveMainQueueUntil(const std::function<bool()>& done);
    // Serves the main queue as long as a stray press would take to arrive.
    void settle();

    std::shared_ptr<HotKeys> hotKeys_;
};

}
