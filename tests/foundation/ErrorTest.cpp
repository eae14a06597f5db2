#include "foundation/Error.h"

#include <gtest/gtest.h>

TEST(ErrorTest, DescriptionShowsDomainCodeTextAndUserInfo)
{
    tvi::Error error;
    error.domain = "GCDAsyncSocketErrorDomain";
    error.code = 1;
    error.localizedDescription = "Attempting to accept without a delegate. Set a delegate first.";
    EXPECT_EQ(error.description(),
              "Error Domain=GCDAsyncSocketErrorDomain Code=1 \"Attempting to accept without a delegate. Set a delegate "
              "first.\" UserInfo={NSLocalizedDescription=Attempting to accept without a delegate. Set a delegate first.}");

    error.userInfo["NSSearchPathDirectory"] = "14";
    error.userInfo["NSSearchPathDomainMask"] = "1";
    EXPECT_EQ(error.description(),
              "Error Domain=GCDAsyncSocketErrorDomain Code=1 \"Attempting to accept without a delegate. Set a delegate "
              "first.\" UserInfo={NSLocalizedDescription=Attempting to accept without a delegate. Set a delegate first., "
              "NSSearchPathDirectory=14, NSSearchPathDomainMask=1}");
}

TEST(ErrorTest, DescriptionWithoutTextOrUserInfo)
{
    tvi::Error error{"DirectoryLocationDomain", 0, "", {}};
    EXPECT_EQ(error.description(), "Error Domain=DirectoryLocationDomain Code=0 \"(null)\"");
    error.code = -9;
    EXPECT_EQ(error.description(), "Error Domain=DirectoryLocationDomain Code=-9 \"(null)\"");
}
