#pragma once

#include <gtest/gtest.h>

#include <memory>

namespace tvi::test {

// The part every backend contract shares: a program instantiates the suite with a factory of
// drivers for its backend, and each case starts from a fresh driver and its backend.
template <class Driver>
class ContractSuite : public ::testing::TestWithParam<std::unique_ptr<Driver> (*)()> {
protected:
    // Makes the case's driver and takes its backend into `backend`, which must be there and
    // available; a fatal failure otherwise (callers check HasFatalFailure() before going on).
    template <class Service>
    void openBackend(std::shared_ptr<Service> (Driver::*backendOf)(), std::shared_ptr<Service>& backend)
    {
        driver_ = this->GetParam()();
        ASSERT_TRUE(driver_);
        backend = (driver_.get()->*backendOf)();
        ASSERT_TRUE(backend);
        ASSERT_TRUE(backend->isAvailable());
    }

    std::unique_ptr<Driver> driver_;
};

}
