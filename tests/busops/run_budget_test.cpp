// SPDX-License-Identifier: GPL-3.0-or-later
// How long a download may take: the default time-out of "run" against the
// real step machine in virtual time, and a lost board ending the retries.
#include "busops/commissioning.h"
#include "busops/run_budget.h"
#include "config/demo.h"
#include "fake_link.h"

using namespace meridan;
using namespace meridan::test;

TEST(RunBudget, ninetySlavesOverTcp_fitTheDefaultTimeOutWithRoomToSpare)
{
    BoardBench<Commissioning> b;
    b.board.answerLikeABoard();
    b.plug("ravelin-tcp");
    BuildDemoConfiguration(b.ctx);
    EXPECT_EQ(RunTimeoutSeconds(b.st.image, b.conn.link()), 30); // a small download keeps the floor
    for (int s = 10; s < 100; ++s) {
        b.st.image.slot(s) = b.st.image.slot(12);
        b.st.image.slot(s)[3] = uint8_t(s);
    }
    const int seconds = RunTimeoutSeconds(b.st.image, b.conn.link());
    b.ops.F1_Run_Click();
    while (!b.panel.operating() && b.pump.nowMs() < seconds * 1000LL)
        b.pump.sleepMs(10);
    ASSERT_TRUE(b.panel.operating());
    EXPECT_GT(b.pump.nowMs(), 30000); // what a fixed 30 s cut short
    EXPECT_GE(seconds * 1000LL, b.pump.nowMs() * 3 / 2);
}

TEST(RunBudget, aLostBoard_endsTheJobRetriesAtOnce)
{
    BoardBench<Commissioning> b;
    b.plug("ravelin:com1");
    b.panel.timerEnabled = false; // no tick closes the lost link first
    BuildDemoConfiguration(b.ctx);
    b.board.refuse = 100000;
    b.board.timeout = true;
    b.ops.startupStep = 1;
    b.st.mbuf = {0xE7};
    b.ops.StepMachine(); // the master record is due
    EXPECT_FALSE(b.ops.SetMode(iface::BusMode::Stop));
    EXPECT_LE(b.board.putCalls, 1);
    EXPECT_LT(b.pump.nowMs(), 100);
}
