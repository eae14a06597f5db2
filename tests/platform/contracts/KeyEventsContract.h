#pragma once

#include "platform/contracts/ContractSuite.h"
#include "platform/contracts/KeyEventsDriver.h"

#include <gtest/gtest.h>

#include <memory>

namespace tvi::test {

// What every key-events backend must do. A program instantiates the suite with a factory of
// drivers for its backend:
//   INSTANTIATE_TEST_SUITE_P(X11, KeyEventsContract, ::testing::Values(&makeX11KeyEventsDriver));
class KeyEventsContract : public ContractSuite<KeyEventsDriver> {
protected:
    void SetUp() override;

    std::shared_ptr<KeyEvents> keyEvents_;
};

}
