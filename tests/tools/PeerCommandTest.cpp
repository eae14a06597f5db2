#include "PeerCommand.h"

#include <gtest/gtest.h>

namespace tvi::peer {
namespace {

TEST(PeerCommand, CombinationsEncodeClientCodesInBase100)
{
    EXPECT_EQ(combinationPayload("F1"), (Bytes{0x01, 0x01, 0x0C}));
    EXPECT_EQ(combinationPayload("Ctrl+F5"), (Bytes{0x02, 0x01, 0x3E, 0x01, 0x10}));
    EXPECT_EQ(combinationPayload("win+a"), (Bytes{0x02, 0x00, 0x5B, 0x00, 0x41}));
    EXPECT_EQ(combinationPayload("Esc"), (Bytes{0x01, 0x00, 0x1B}));
    EXPECT_EQ(combinationPayload("F24"), (Bytes{0x01, 0x01, 0x23}));
    EXPECT_FALSE(combinationPayload("F25"));
    EXPECT_FALSE(combinationPayload("Ctrl+Nope"));
}

TEST(PeerCommand, ParsesEveryVerb)
{
    EXPECT_EQ(parsePeerCommand("make-call=F1", nullptr)->bytes, (Bytes{0x04, 0x07, 0x01, 0x01, 0x0C}));
    EXPECT_EQ(parsePeerCommand("hold=Ctrl+F5", nullptr)->bytes, (Bytes{0x06, 0x1C, 0x02, 0x01, 0x3E, 0x01, 0x10}));
    EXPECT_EQ(parsePeerCommand("start", nullptr)->bytes, (Bytes{0x01, 0x02}));
    EXPECT_EQ(parsePeerCommand("stop", nullptr)->bytes, (Bytes{0x01, 0x05}));
    EXPECT_EQ(parsePeerCommand("delete=transfer", nullptr)->bytes, (Bytes{0x01, 0x4F}));
    EXPECT_EQ(parsePeerCommand("pressed-response=make-call", nullptr)->bytes, (Bytes{0x01, 0x0C}));
    EXPECT_EQ(parsePeerCommand("ip-update=", nullptr)->bytes, (Bytes{0x01, 0x55}));
    EXPECT_EQ(parsePeerCommand("raw=0100 0100", nullptr)->bytes, (Bytes{0x01, 0x00, 0x01, 0x00}));
    EXPECT_EQ(parsePeerCommand("send=53:3132", nullptr)->bytes, (Bytes{0x03, 0x35, 0x31, 0x32}));
    EXPECT_EQ(parsePeerCommand("expect=Echo_Response", nullptr)->expectedType, 1);
    EXPECT_EQ(parsePeerCommand("sleep=20", nullptr)->milliseconds, 20u);
}

TEST(PeerCommand, RejectsBadInputWithAReason)
{
    std::string error;
    EXPECT_FALSE(parsePeerCommand("raw=0", &error));
    EXPECT_NE(error.find("hexadecimal"), std::string::npos);
    EXPECT_FALSE(parsePeerCommand("delete=nothing", &error));
    EXPECT_FALSE(parsePeerCommand("send=300", &error));
    EXPECT_FALSE(parsePeerCommand("frobnicate", &error));
    EXPECT_FALSE(parsePeerCommand("expect=No_Such_Type", &error));
}

}
}
