#include "iface/netproto.h"

#include <gtest/gtest.h>

using namespace meridan::iface;

namespace {
QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

TEST(NetProto, requestFrames_matchTheWireExamples)
{
    EXPECT_EQ(net::Encode(net::Hello, Hex("00 01")), Hex("00 00 00 03 01 00 01"));
    EXPECT_EQ(net::Encode(net::GetByte, Hex("00 00 04 00")), Hex("00 00 00 05 02 00 00 04 00"));
    EXPECT_EQ(net::Encode(net::Bye, {}), Hex("00 00 00 01 0A"));
}

TEST(NetProto, replyArrivingInPieces_isTakenWhenComplete)
{
    QByteArray buf = Hex("00 00 00 02");
    net::Frame f;
    EXPECT_EQ(net::TakeFrame(buf, f), net::Take::NeedMore);
    buf += Hex("82");
    EXPECT_EQ(net::TakeFrame(buf, f), net::Take::NeedMore);
    buf += Hex("52 00 00 00 01 83");
    ASSERT_EQ(net::TakeFrame(buf, f), net::Take::Frame);
    EXPECT_EQ(f.type, 0x82);
    EXPECT_EQ(f.payload, Hex("52"));
    ASSERT_EQ(net::TakeFrame(buf, f), net::Take::Frame);
    EXPECT_EQ(f.type, 0x83);
    EXPECT_TRUE(f.payload.isEmpty());
    EXPECT_TRUE(buf.isEmpty());
}

TEST(NetProto, zeroOrOversizedLength_isMalformed)
{
    net::Frame f;
    QByteArray zero = Hex("00 00 00 00 82");
    EXPECT_EQ(net::TakeFrame(zero, f), net::Take::Malformed);
    QByteArray huge = Hex("00 01 00 01 82");
    EXPECT_EQ(net::TakeFrame(huge, f), net::Take::Malformed);
    QByteArray largest = Hex("00 01 00 00");
    EXPECT_EQ(net::TakeFrame(largest, f), net::Take::NeedMore);
}

TEST(NetProto, helloReply_givesVariantFirmwareAndName)
{
    QByteArray buf = Hex("00 00 00 16 81 00 01 00 53 00 00 40 00 00 01 00 00 4F 53 39 54 61 72 67 65 74");
    net::Frame f;
    ASSERT_EQ(net::TakeFrame(buf, f), net::Take::Frame);
    const auto h = net::ParseHello(f.payload);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, 1);
    EXPECT_EQ(h->mapVariant, 0);
    EXPECT_EQ(h->firmware, 0x53);
    EXPECT_EQ(h->dpramSize, 0x4000u);
    EXPECT_EQ(h->maxFrame, 65536u);
    EXPECT_EQ(h->boardName, "OS9Target");
    EXPECT_FALSE(net::ParseHello(Hex("00 01 00 53")));
}
