#include "link/TVISocketMessage.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

TEST(TVISocketMessage, EncodesLengthTypeAndPayload)
{
    TVISocketMessage empty;
    empty.setMsgType(52);
    EXPECT_EQ(empty.convertToNSData(), (Bytes{0x01, 0x34}));

    TVISocketMessage withPayload;
    withPayload.setMsgType(7);
    withPayload.setMsgPayload(Bytes{0x01, 0x01, 0x0C});
    EXPECT_EQ(withPayload.convertToNSData(), (Bytes{0x04, 0x07, 0x01, 0x01, 0x0C}));
}

TEST(TVISocketMessage, LargestPayloadUsesLengthFF)
{
    TVISocketMessage message;
    message.setMsgType(11);
    message.setMsgPayload(Bytes(TVISocketMessage::maxPayloadLength, 0x41));
    const Bytes encoded = message.convertToNSData();
    ASSERT_EQ(encoded.size(), 256u);
    EXPECT_EQ(encoded[0], 0xFF);
    EXPECT_EQ(encoded[1], 11);
}

TEST(TVISocketMessage, LengthIsDerivedFromPayload)
{
    TVISocketMessage message;
    message.setMsgPayload(Bytes(255, 0));
    EXPECT_EQ(message.length(), 256u);
    EXPECT_EQ(message.packetLength(), 0); // wraps: the server refuses such payloads before encoding
    message.setMsgPayload(std::nullopt);
    EXPECT_EQ(message.packetLength(), 1);
}

TEST(TVISocketMessage, DecodesBody)
{
    const TVISocketMessage typeOnly = TVISocketMessage::initWithData(Bytes{0x35});
    EXPECT_EQ(typeOnly.msgType(), 53);
    ASSERT_TRUE(typeOnly.msgPayload().has_value());
    EXPECT_TRUE(typeOnly.msgPayload()->empty());

    const TVISocketMessage full = TVISocketMessage::initWithData(Bytes{0x35, 0x31, 0x32});
    EXPECT_EQ(full.msgType(), 53);
    EXPECT_EQ(*full.msgPayload(), (Bytes{0x31, 0x32}));
}

TEST(TVISocketMessageDeathTest, EmptyBodyIsAProgrammingError)
{
    EXPECT_DEATH(TVISocketMessage::initWithData(Bytes{}), "empty body");
}

}
}
