// The main of every test program: the desktop services get their in-memory backends, as in
// a headless run, before the first test; tests swap in their own with Platform::Scoped.
#include "platform/memory/MemoryBackends.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    tvi::MemoryBackends::installAll();
    return RUN_ALL_TESTS();
}
