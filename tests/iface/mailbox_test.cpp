#include "fakes.h"
#include "iface/dpram.h"
#include "iface/mailbox.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

// Kind 1 on the Tessel card's DP-RAM file.
struct DirectFixture : BoardFixture {
    std::unique_ptr<DpramFile> ram = tesselFile();
    DirectFixture()
    {
        board->driver.PCI_Init();
        board->map = MapFor(MapVariant::Tessel);
        st.interfaceKind = 1;
    }
    DpramFile &r() { return *ram; }
};

constexpr uint32_t kJobToggle = 0x3FF0, kMasterToggle = 0x3FF8, kJobArea = 0x3125, kMsgArea = 0x3025;

} // namespace

TEST(Mailbox, jobPending_putKommReturns0AndWritesNothing)
{
    DirectFixture f;
    f.r()[kJobToggle] = 0x03;
    f.r()[kMasterToggle] = 0x02;
    f.st.record[0] = 0x27;
    EXPECT_EQ(PutKomm(f.ctx), 0);
    EXPECT_EQ(f.r()[kJobArea], 0);
    EXPECT_EQ(f.r()[kJobToggle], 0x03);
}

TEST(Mailbox, jobTaken_nextJobIsWrittenAndToggled)
{
    DirectFixture f;
    f.r()[kJobToggle] = 0x03;
    f.r()[kMasterToggle] = 0x03;
    f.r()[kJobArea + 8] = 0xAA; // past a job without data
    f.st.record[0] = 0x27;
    f.st.record[3] = 0xC0;
    f.st.record[8] = 0x55;
    EXPECT_EQ(PutKomm(f.ctx), 1);
    EXPECT_EQ(f.r()[kJobArea], 0x27);
    EXPECT_EQ(f.r()[kJobArea + 3], 0xC0);
    EXPECT_EQ(f.r()[kJobArea + 8], 0xAA); // n = 0: 8 bytes, no more
    EXPECT_EQ(f.r()[kJobToggle], 0x02);   // bit 1 (message acknowledge) kept
}

TEST(Mailbox, messageWaiting_isCopiedAndAcknowledged)
{
    DirectFixture f;
    f.r()[kJobToggle] = 0x01;
    f.r()[kMasterToggle] = 0x03;
    f.r().put(kMsgArea, QByteArray("\xE7\x00\x00\xC0\x00\x00\x00\x00\x99\x77", 10));
    f.st.mbuf[9] = 0x42;
    EXPECT_EQ(GetMeld(f.ctx), 1);
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0xC0);
    EXPECT_EQ(f.st.mbuf[8], 0x99); // n = 0 copies 9 bytes
    EXPECT_EQ(f.st.mbuf[9], 0x42);
    EXPECT_EQ(f.r()[kJobToggle], 0x03);
    EXPECT_EQ(GetMeld(f.ctx), 0);
}

TEST(Mailbox, noInterface_putKommSucceedsSilentlyAndNothingArrives)
{
    BoardFixture f;
    f.st.interfaceKind = 0;
    f.st.mbuf[0] = 0x11;
    EXPECT_EQ(PutKomm(f.ctx), 1);
    EXPECT_EQ(GetMeld(f.ctx), 0);
    EXPECT_EQ(f.st.mbuf[0], 0x11);
    EXPECT_EQ(GetByte(f.ctx, 0x400), 0);
    SetByte(f.ctx, 0x400, 1);

    // Without any board object at all the same holds.
    f.ctx.board = nullptr;
    EXPECT_EQ(PutKomm(f.ctx), 1);
    EXPECT_EQ(GetMeld(f.ctx), 0);
    EXPECT_EQ(StationDia(f.ctx, 12), kBlue);
}

TEST(Mailbox, stationDia_usesItsOneByteCache)
{
    DirectFixture f;
    f.r()[0x3010] = 0x08; // station 3 has diagnosis
    f.r()[0x3011] = 0x10; // station 12
    // First call for stations 0..7: the cached byte 0 (value 0) is used unread.
    EXPECT_EQ(StationDia(f.ctx, 3), kBlue);
    EXPECT_EQ(StationDia(f.ctx, 12), kRed);
    f.r()[0x3011] = 0x00;
    EXPECT_EQ(StationDia(f.ctx, 12), kRed); // same byte: cached
    EXPECT_EQ(StationDia(f.ctx, 3), kRed);  // another byte: read
    EXPECT_EQ(StationDia(f.ctx, 12), kBlue);
    // The running list has a cache of its own.
    f.r()[0x3001] = 0x10;
    EXPECT_EQ(StationRun(f.ctx, 12), 1);
    EXPECT_EQ(StationRun(f.ctx, 13), 0);
}

TEST(Mailbox, frameModeLiveList_isRequestedEachRoundAndMissesCount)
{
    BoardFixture f;
    f.serial->open("com2", 19200);
    f.st.interfaceKind = 3;
    f.board->frameMode = true;
    f.board->runList[1] = 0x10;
    EXPECT_EQ(StationRun(f.ctx, 12), 1); // index 1 > cached 0: no request
    EXPECT_TRUE(f.serial->tx.isEmpty());
    EXPECT_EQ(StationRun(f.ctx, 0), 0);  // a new round: request byte 0
    EXPECT_EQ(f.serial->tx, QByteArray("D\0\1\0", 4));
    EXPECT_EQ(f.board->liveRequestCounter, kRequestRounds);

    // No live list ever comes back: four rounds of 200 later, time-out.
    for (int round = 0; round < 5 * kRequestRounds && !f.board->serialTimeout; ++round) {
        StationRun(f.ctx, 12);
        StationRun(f.ctx, 0);
    }
    EXPECT_TRUE(f.board->serialTimeout);
    EXPECT_EQ(f.board->liveMissCounter, kLiveMissLimit + 1);
}

TEST(Mailbox, connectionLost_dropsTheConnectionWithItsText)
{
    const struct {
        uint8_t kind;
        const char *text;
    } cases[] = {{1, "Communicationtimeout from Tessel"},
                 {2, "Communicationtimeout from Ravelin/Dromon"},
                 {3, "Communicationtimeout from Ravelin/Dromon"},
                 {4, "Communicationtimeout from TCP Port"}};
    for (const auto &c : cases) {
        BoardFixture f;
        f.st.language = kGerman;
        f.serial->open("com", 9600);
        f.st.interfaceKind = c.kind;
        f.board->serialTimeout = true;
        Panel &v = f.board->view;
        v.hwText = "5.3";
        v.betriebsart = "Operate";
        v.load = v.run = v.eepromMenuEnabled = v.eraseEnabled = true;
        v.eepromMenuState = -1;
        ConnectionLost(f.ctx);
        EXPECT_EQ(f.st.melde1, c.text);
        EXPECT_EQ(f.st.interfaceKind, 0);
        EXPECT_FALSE(f.board->serialTimeout);
        EXPECT_TRUE(f.board->view.hwText.isEmpty());
        EXPECT_TRUE(f.board->view.betriebsart.isEmpty());
        EXPECT_FALSE(f.board->view.load || f.board->view.run);
        const bool serial = c.kind == 2 || c.kind == 3;
        EXPECT_EQ(f.serial->isOpen(), !serial);
        EXPECT_EQ(f.board->view.eepromMenuState, serial ? 0 : -1);
    }
}

TEST(DpramAccess, networkReadWhileLocked_waitsWithEventsThenProceeds)
{
    BoardFixture f;
    f.st.interfaceKind = 4;
    f.board->accessLock = true;
    int pumps = 0;
    f.pump.onPump = [&] {
        if (++pumps == 5)
            f.board->accessLock = false;
    };
    GetByte(f.ctx, 0x400);
    EXPECT_GE(pumps, 5);
    EXPECT_FALSE(f.board->accessLock);
    // Nothing is connected: the read fails and says so.
    EXPECT_TRUE(f.board->serialTimeout);
}

TEST(DpramAccess, lockNeverGivenBack_waitEndsAfterItsBound)
{
    BoardFixture f;
    f.st.interfaceKind = 4;
    f.board->accessLock = true;
    EXPECT_EQ(GetByte(f.ctx, 0x400), 0);
    EXPECT_GE(f.pump.nowMs(), kLockWaitMs);
    EXPECT_LT(f.pump.nowMs(), kLockWaitMs + 10);
    EXPECT_TRUE(f.board->accessLock); // still the other access's lock
}

TEST(DpramAccess, blockRead_staysInsideTheMessageBuffer)
{
    BoardFixture f;
    f.st.interfaceKind = 4;
    f.st.mbuf.fill(0x5A);
    EXPECT_EQ(GetMultiByteToMbuf(f.ctx, 0x2000, 600, 500), 0);
    EXPECT_EQ(GetMultiByteToMbuf(f.ctx, 0x2000, 1, 512), 0);
    EXPECT_FALSE(f.board->accessLock);
}
