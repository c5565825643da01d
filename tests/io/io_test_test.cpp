// SPDX-License-Identifier: GPL-3.0-or-later
// The I/O test on a scripted board: live values, and the rules around forcing
// (only in Operate, asked once, given back on release, on a mode change and
// before the board is let go).
#include "fake_link.h"
#include "io/io_test.h"
#include "io_support.h"

using namespace meridan;
using namespace meridan::io;
using namespace meridan::test;

namespace {

// The Tessel map: bus state at 0x3FF6; station 50's inputs at 0x2000 + 10,
// its outputs at 0x2800 + 3: QX1.x in 0x2803, QW3.0 in 0x2804..5.
constexpr uint32_t kBusState = 0x3FF6;
constexpr uint32_t kQX1 = 0x2803;
constexpr uint32_t kQW3 = 0x2804;

struct Bench : BoardBench<Commissioning> {
    std::unique_ptr<IoTest> test;
    Bench()
    {
        plug("tessel");
        board.answerLikeABoard();
        board.ram[kBusState] = 3; // Operate
        board.run[50] = true;
        panel.load = true; // the status poll takes the master's messages in
        panel.run = true;
        panel.mode = iface::BusMode::Operate;
        const Record rec = StoreSlave(ctx, 50, kLoopCfg, 10, 3);
        test = std::make_unique<IoTest>(ctx, ops, BuildIoStation(rec, conn.link().map()));
    }
    const IoChannel &ch(const char *name) const { return *test->station().find(QString::fromLatin1(name)); }
    size_t writesTo(uint32_t a) const
    {
        return size_t(std::count_if(board.writes.begin(), board.writes.end(), [a](const auto &w) { return w.first == a; }));
    }
};

} // namespace

TEST(IoTest, aRead_decodesBitsAndWords_andAFailedOneLeavesTheValuesStale)
{
    Bench b;
    b.board.ram[0x200A] = 0x2A;                                  // IX2.1, IX2.3, IX2.5
    b.board.ram[0x200B] = 0x01, b.board.ram[0x200C] = 0xF4;    // IW3.0 = 500
    ASSERT_EQ(b.test->Read(), IoTest::ReadResult::Done);
    EXPECT_TRUE(b.test->values().exchange);
    EXPECT_EQ(b.test->values().mode, iface::BusMode::Operate);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(b.test->value(b.ch(qPrintable(QStringLiteral("IX2.%1").arg(k)))), (0x2A >> k) & 1) << k;
    EXPECT_EQ(b.test->value(b.ch("IW3.0")), 500);
    EXPECT_FALSE(b.panel.timerBusy);

    // The board stops answering: the last good values stay, marked stale, not zeros.
    b.board.timeout = true;
    b.board.ram[0x200B] = 0;
    EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Failed);
    EXPECT_TRUE(b.test->values().stale);
    EXPECT_EQ(b.test->value(b.ch("IW3.0")), 500);
}

TEST(IoTest, aRead_waitsForTheTickAndForACommand)
{
    Bench b;
    for (bool Panel::*flag : {&Panel::timerBusy, &Panel::busy}) {
        b.panel.*flag = true;
        b.board.listReads.clear();
        EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Skipped);
        EXPECT_TRUE(b.board.listReads.empty());
        b.panel.*flag = false;
    }
    EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Done);
    EXPECT_FALSE(b.panel.timerBusy);
    EXPECT_EQ(b.board.listReads, std::vector<int>{6}); // station 50's running byte
}

TEST(IoTest, forcing_onlyInOperate_askedOnceInASession)
{
    Bench b;
    b.board.ram[kBusState] = 1; // Stop
    Outcome out = b.test->Force(b.ch("QX1.3"), 1);
    EXPECT_EQ(out.failure, Failure::Refused);
    EXPECT_TRUE(out.why.contains("Stop")) << out.why.toStdString();
    EXPECT_TRUE(b.ui.shown.empty());

    b.board.ram[kBusState] = 3;
    EXPECT_EQ(b.test->Force(b.ch("IX2.3"), 1).failure, Failure::Refused); // inputs come from the slave
    EXPECT_EQ(b.test->Force(b.ch("QX1.3"), 2).failure, Failure::BadInput);
    b.ui.answers = {No};
    EXPECT_EQ(b.test->Force(b.ch("QX1.3"), 1).failure, Failure::Cancelled);
    ASSERT_EQ(b.ui.shown.size(), 1u);
    EXPECT_TRUE(b.ui.lastText().startsWith("Outputs drive the machine")) << b.ui.lastText().toStdString();
    EXPECT_TRUE(b.board.writes.empty());

    EXPECT_TRUE(b.test->Force(b.ch("QX1.3"), 1)); // asked again, and yes
    EXPECT_TRUE(b.test->Force(b.ch("QW3.0"), 0xBEEF));
    EXPECT_EQ(b.ui.shown.size(), 2u); // not a third time
    EXPECT_EQ(b.board.ram[kQX1], 0x08);
    EXPECT_EQ(b.board.ram[kQW3], 0xBE); // high byte first
    EXPECT_EQ(b.board.ram[kQW3 + 1], 0xEF);
    EXPECT_TRUE(b.test->forced(b.ch("QX1.3")));
    EXPECT_FALSE(b.test->forced(b.ch("QX1.2")));
}

TEST(IoTest, releaseAll_givesTheForcedChannelsBackWhatTheyHeldBeforeTheFirstForce)
{
    Bench b;
    b.board.ram[kQX1] = 0x81;
    b.board.ram[kQW3] = 0x12, b.board.ram[kQW3 + 1] = 0x34;
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    ASSERT_TRUE(b.test->Force(b.ch("QX1.0"), 0));
    ASSERT_TRUE(b.test->Force(b.ch("QW3.0"), 7));
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 0)); // forced twice: the first value before is what goes back
    b.board.ram[kQX1] |= 0x40;                  // meanwhile another bit of the byte is set by the PLC
    EXPECT_TRUE(b.test->ReleaseAll());
    EXPECT_EQ(b.board.ram[kQX1], 0xC1);         // bits 0 and 3 as before, bit 6 left alone
    EXPECT_EQ(b.board.ram[kQW3], 0x12);
    EXPECT_EQ(b.board.ram[kQW3 + 1], 0x34);
    EXPECT_FALSE(b.test->anyForced());
    // A second release has nothing to write.
    const size_t writes = b.board.writes.size();
    EXPECT_TRUE(b.test->ReleaseAll());
    EXPECT_EQ(b.board.writes.size(), writes);
}

TEST(IoTest, aModeChangeOfOurs_releasesWhileTheBusIsStillInOperate)
{
    Bench b;
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    std::optional<uint8_t> atModeJob;
    const auto board = b.board.onJob;
    b.board.onJob = [&](const std::vector<uint8_t> &j) {
        if (j[0] == 0x27 && !atModeJob)
            atModeJob = b.board.ram[kQX1];
        board(j);
    };
    const BusOutcome changed = b.ops.SetMode(iface::BusMode::Clear);
    EXPECT_TRUE(changed) << changed.why.toStdString();
    EXPECT_EQ(atModeJob, 0x00);
    EXPECT_FALSE(b.test->anyForced());
    const size_t writes = b.board.writes.size();
    EXPECT_EQ(b.test->Force(b.ch("QX1.3"), 1).failure, Failure::Refused);
    EXPECT_EQ(b.board.writes.size(), writes);
}

TEST(IoTest, aModeChangeFromElsewhere_writesNothingUntilTheBusIsInOperateAgain)
{
    Bench b;
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    const size_t writes = b.board.writes.size();
    b.board.ram[kBusState] = 2; // auto-clear, or another program
    EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Done);
    EXPECT_TRUE(b.test->restorePending());
    EXPECT_EQ(b.test->ReleaseAll().failure, Failure::Refused);
    EXPECT_EQ(b.board.writes.size(), writes);
    EXPECT_EQ(b.board.ram[kQX1], 0x08);

    b.board.ram[kBusState] = 3;
    EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Done);
    EXPECT_FALSE(b.test->restorePending());
    EXPECT_EQ(b.board.ram[kQX1], 0x00);
}

TEST(IoTest, lettingTheBoardGo_releasesFirst_orForgetsWhatCannotGoBack)
{
    Bench b;
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    b.conn.NoHardwareItem();
    EXPECT_EQ(b.board.ram[kQX1], 0x00);
    EXPECT_EQ(b.board.closes.size(), 1u);
    EXPECT_FALSE(b.test->anyForced());

    // Outside Operate nothing goes back, and nothing of it reaches the next board.
    b.plug("tessel");
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    b.board.ram[kBusState] = 1;
    const size_t writes = b.board.writes.size();
    b.conn.NoHardwareItem();
    EXPECT_FALSE(b.test->anyForced());
    ASSERT_EQ(b.ui.shown.size(), 1u);
    EXPECT_TRUE(b.ui.lastText().contains("not given back")) << b.ui.lastText().toStdString();
    b.plug("tessel");
    b.board.ram[kBusState] = 3;
    EXPECT_EQ(b.test->Read(), IoTest::ReadResult::Done);
    EXPECT_EQ(b.board.writes.size(), writes);
    EXPECT_EQ(b.board.ram[kQX1], 0x08);
}

TEST(IoTest, closing_releases_andHoldLeavesTheOutputsForced)
{
    Bench b;
    ASSERT_TRUE(b.test->Force(b.ch("QX1.3"), 1));
    EXPECT_TRUE(b.test->Close());
    EXPECT_EQ(b.board.ram[kQX1], 0x00);
    EXPECT_EQ(b.test->Force(b.ch("QX1.3"), 1).failure, Failure::Refused);
    // Unhooked: a mode change now goes ahead without it.
    EXPECT_TRUE(b.ops.SetMode(iface::BusMode::Clear));

    Bench h;
    ASSERT_TRUE(h.test->Force(h.ch("QX1.3"), 1));
    h.test->Hold();
    h.test.reset();
    EXPECT_EQ(h.board.ram[kQX1], 0x08);
}
