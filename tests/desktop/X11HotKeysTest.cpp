#include "platform/linux/X11HotKeys.h"

#include "DesktopTools.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

// What every backend does with combinations and presses, lock keys included, is in
// HotKeysContract (X11BackendsContractTest); this is X's own.
TEST(X11HotKeysTest, XHasNoListOfSystemWideShortcuts)
{
    ASSERT_TRUE(test::requireDisplay());
    std::string why;
    std::shared_ptr<X11HotKeys> hotKeys = X11HotKeys::create(why);
    ASSERT_TRUE(hotKeys) << why;
    const auto symbolic = hotKeys->copySymbolicHotKeys();
    ASSERT_TRUE(symbolic.has_value());
    EXPECT_TRUE(symbolic->empty());
}

}
}
