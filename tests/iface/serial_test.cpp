#include "fakes.h"
#include "iface/dpram.h"
#include "iface/mailbox.h"
#include "iface/serial.h"

#include <random>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray a;
    for (int v : b)
        a.append(char(v));
    return a;
}

struct SerialFixture : BoardFixture {
    FakeMonitor mon{*serial};
    SerialFixture()
    {
        serial->open("com1", 9600);
        st.interfaceKind = 2;
        board->map = MapFor(MapVariant::Serial);
    }
};

} // namespace

TEST(SerialLink, read0x400_sendsR400CrAndDecodesTheReply)
{
    SerialFixture f;
    f.mon.ram[0x400] = 0x52;
    EXPECT_EQ(SerRead(f.ctx, 0x400), 0x52);
    EXPECT_EQ(f.serial->tx, "R400\r");
    EXPECT_FALSE(f.board->serialTimeout);
    EXPECT_TRUE(f.ui.shown.empty());
}

TEST(SerialLink, dpramAccessOnSerialKinds_narrowsTheAddressTo16Bits)
{
    SerialFixture f;
    f.mon.ram[0x2345] = 0xA7;
    EXPECT_EQ(GetByte(f.ctx, 0x12345), 0xA7);
    SetByte(f.ctx, 0x13FF6, 0x3);
    EXPECT_EQ(f.serial->tx, "R2345\rW3FF6,3\r");
    EXPECT_EQ(f.mon.ram[0x3FF6], 3);
}

TEST(SerialLink, noReply_timesOutWithMessageAndFlagInVirtualTime)
{
    SerialFixture f;
    f.mon.mute = true;
    EXPECT_EQ(SerRead(f.ctx, 0x400), 0);
    EXPECT_TRUE(f.board->serialTimeout);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), "timeout");
    EXPECT_EQ(f.pump.nowMs(), kReplyPolls * kPollMs);

    // The next answered command clears the flag again.
    f.mon.mute = false;
    SerWrite(f.ctx, 0x10, 0xFF);
    EXPECT_FALSE(f.board->serialTimeout);
}

TEST(SerialLink, eepromWriteTimeout_setsFlagWithoutMessage)
{
    SerialFixture f;
    f.mon.mute = true;
    EEWrite(f.ctx, 0x7F00, 0x24);
    EXPECT_EQ(f.serial->tx, "P7F00,24\r");
    EXPECT_TRUE(f.board->serialTimeout);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(f.pump.nowMs(), kEepromWritePolls * kPollMs);
    f.mon.mute = false;
    f.mon.ram[0x100] = 0x25;
    EXPECT_EQ(EERead(f.ctx, 0x100), 0x25);
    EXPECT_TRUE(f.serial->tx.endsWith("L100\r"));
}

TEST(SerialLink, messageWaitingBeforeRead_isKeptForTheNextGetMeld)
{
    SerialFixture f;
    f.board->frameMode = true;
    f.board->msgRequestCounter = 5; // no request due on the next GetMeld
    f.mon.ram[0x2FF6] = 3;
    // A mode-change reply with two data bytes, then some line noise.
    f.serial->rx = Bytes({0x15, 0xE7, 0x00, 0xC0, 0x02, 0x11, 0x22}) + "xy";
    EXPECT_EQ(SerRead(f.ctx, 0x2FF6), 3);
    EXPECT_EQ(f.board->msgPending, 1);
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0xC0);
    EXPECT_EQ(f.st.mbuf[9], 0x22);

    EXPECT_EQ(GetMeld(f.ctx), 1);
    EXPECT_EQ(f.board->msgPending, 0);
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(GetMeld(f.ctx), 0);
}

TEST(SerialLink, frameKinds_landAtTheirBufferPositions)
{
    SerialFixture f;
    QByteArray text;
    int16_t flag = 0;
    f.st.mbuf.fill(0xEE);
    f.serial->rx = Bytes({0x15, 0xB0, 0x04, 0x05, 0x00});
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(f.st.mbuf[0], 0xB0);
    EXPECT_EQ(f.st.mbuf[4], 0x04);
    EXPECT_EQ(f.st.mbuf[5], 0x05);
    EXPECT_EQ(f.st.mbuf[7], 0x00);
    EXPECT_EQ(f.st.mbuf[2], 0xEE);

    f.serial->rx = Bytes({0x15, 0xAA, 0x03, 0x04, 0x00});
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(f.st.mbuf[3], 0x03);
    EXPECT_EQ(f.st.mbuf[4], 0x04);
    EXPECT_TRUE(text.isEmpty());

    // A live list is no message: reply text around it is collected.
    f.board->liveRequestCounter = 7;
    f.board->liveMissCounter = 2;
    f.serial->rx = "ab" + Bytes({0x15, 0x00, 0x01, 0x02, 0x04, 0x10, 0x20, 0x01, 0x00}) + "c";
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(f.board->runList[2], 0x10);
    EXPECT_EQ(f.board->runList[3], 0x20);
    EXPECT_EQ(f.board->diaList[2], 0x01);
    EXPECT_EQ(f.board->liveRequestCounter, 0);
    EXPECT_EQ(f.board->liveMissCounter, 0);

    // The last list byte: its neighbour lies beyond the 17-byte lists.
    f.serial->rx = Bytes({0x15, 0x00, 0x01, 0x10, 0x04, 0x0F, 0xFF, 0x00, 0xFF});
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(f.board->runList[16], 0x0F);
}

TEST(SerialLink, frameCutShort_isAbandonedAfter500ms)
{
    SerialFixture f;
    QByteArray text;
    int16_t flag = 1;
    f.serial->rx = Bytes({0x15, 0xE1, 0x00, 0x0C, 0x06, 0x00, 0x0C});
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(f.pump.nowMs(), kFrameWaitMs);
    f.serial->rx = Bytes({0x15, 0xE1});
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 0);
}

TEST(SerialLink, jobWithThreeDataBytes_isASevenByteDFrame)
{
    SerialFixture f;
    Record &r = f.st.record;
    r[0] = 0x27;
    r[1] = 0x11; // bytes 1, 2, 4, 5, 6 stay home
    r[3] = 0xC0;
    r[7] = 3;
    r[8] = 0xA;
    r[9] = 0xB;
    r[10] = 0xC;
    r[11] = 0xD;
    SendJob(f.ctx);
    EXPECT_EQ(f.serial->tx, Bytes({'D', 0x27, 0xC0, 0x03, 0x0A, 0x0B, 0x0C}));
}

TEST(SerialLink, requestsOnAClosedPort_sendNothing)
{
    SerialFixture f;
    EXPECT_EQ(OrderMeld(f.ctx, 0), 1);
    EXPECT_EQ(OrderLiveDiag(f.ctx, 4), 1);
    EXPECT_EQ(f.serial->tx, Bytes({'D', 0, 0, 0, 'D', 0, 1, 4}));
    f.serial->close();
    f.serial->tx.clear();
    EXPECT_EQ(OrderMeld(f.ctx, 0), 0);
    EXPECT_EQ(OrderLiveDiag(f.ctx, 0), 0);
    SendJob(f.ctx);
    EXPECT_TRUE(f.serial->tx.isEmpty());
    // Nothing new can come from a closed port.
    QByteArray text;
    int16_t flag = 1;
    ReceiveMeld(f.ctx, text, flag);
    EXPECT_EQ(flag, 0);
}

TEST(SerialLink, serialWait_discardsChatterAndEndsEvenIfItNeverStops)
{
    SerialFixture f;
    int pumps = 0;
    f.pump.onPump = [&] {
        if (++pumps < 50)
            f.serial->rx += "x";
    };
    SerialWait(f.ctx, 100);
    EXPECT_TRUE(f.serial->rx.isEmpty());
    EXPECT_GE(f.pump.nowMs(), 100);

    f.pump.onPump = [&] { f.serial->rx += "noise"; };
    const qint64 start = f.pump.nowMs();
    SerialWait(f.ctx, 100);
    EXPECT_LE(f.pump.nowMs() - start, 4 * 100 + 2 * kPollMs);
}

TEST(SerialLink, junkOnTheLine_neverCrashesOrHangs)
{
    SerialFixture f;
    f.mon.mute = true;
    f.board->frameMode = true;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 40);
    for (int round = 0; round < 300; ++round) {
        QByteArray junk;
        for (int i = len(rng); i > 0; --i)
            junk.append(char(byte(rng) % 3 == 0 ? 0x15 : byte(rng)));
        f.serial->rx = junk;
        QByteArray text;
        int16_t flag = 0;
        ReceiveMeld(f.ctx, text, flag);
        f.serial->rx += junk;
        SerRead(f.ctx, uint16_t(byte(rng)));
        GetMeld(f.ctx);
    }
    SUCCEED();
}
