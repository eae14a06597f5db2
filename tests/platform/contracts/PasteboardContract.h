#pragma once

#include "platform/contracts/ContractSuite.h"
#include "platform/contracts/PasteboardDriver.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tvi::test {

// What every pasteboard backend must do. A program instantiates the suite with a factory of
// drivers for its backend:
//   INSTANTIATE_TEST_SUITE_P(X11, PasteboardContract, ::testing::Values(&makeX11PasteboardDriver));
class PasteboardContract : public ContractSuite<PasteboardDriver> {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `write` and waits until the change count moved and, where the backend signals
    // changes, a signal came after it; false when that took longer than the driver allows.
    bool changes(const std::function<void()>& write);

    std::shared_ptr<Pasteboard> pasteboard_;

private:
    Pasteboard::ListenerToken token_ = 0;
    std::mutex mutex_;
    std::condition_variable signalled_;
    int signals_ = 0; // under mutex_
};

}
