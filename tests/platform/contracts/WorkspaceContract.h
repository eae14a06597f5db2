#pragma once

#include "platform/contracts/ContractSuite.h"
#include "platform/contracts/WorkspaceDriver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tvi::test {

// What every workspace backend must do. A program instantiates the suite with a factory of
// drivers for its backend:
//   INSTANTIATE_TEST_SUITE_P(X11, WorkspaceContract, ::testing::Values(&makeX11WorkspaceDriver));
class WorkspaceContract : public ContractSuite<WorkspaceDriver> {
protected:
    void SetUp() override;

    // Window managers act when they get to it: polls until `condition` holds, for a while.
    static bool eventually(const std::function<bool()>& condition);

    std::shared_ptr<Workspace> workspace_;
};

}
