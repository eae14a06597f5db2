// The main of every test program: each test process runs in a throw-away HOME of its own.
#include "platform/memory/MemoryBackends.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

namespace {
// Before any static initialiser of the program, so nothing can read the user's HOME first.
__attribute__((constructor(101))) void enterTestHomeEarly()
{
    tvi::test::enterTestHome();
}

// A test that points HOME elsewhere and leaves it so would let the next tests write there.
class HomeGuard : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { tvi::test::expectHomeUnchanged(); }
};
}

int main(int argc, char** argv)
{
    tvi::test::enterTestHome();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new HomeGuard);
    // The desktop services get their in-memory backends, as in a headless run; tests swap
    // in their own with Platform::Scoped.
    tvi::MemoryBackends::installAll();
    return RUN_ALL_TESTS();
}
