// How long a download may take: the default time-out of "run" against the
// real step machine in virtual time, and a lost board ending the retries.
#include "busops/commissioning.h"
#include "busops/run_budget.h"
#include "config/demo.h"
#include "fake_link.h"

using namespace meridan;
using namespace meridan::test;

namespace {

// The demo master with `slaves` copies of its slave at stations 10 and up.
void PutSlaves(Context &ctx, int slaves)
{
    BuildDemoConfiguration(ctx);
    for (int s = 10; s < 10 + slaves; ++s) {
        Record r = ctx.st.image.slot(12);
        r[3] = uint8_t(s);
        ctx.st.image.slot(s) = r;
    }
}

} // namespace

TEST(RunBudget, ninetySlavesOverTcp_fitTheDefaultTimeOutWithRoomToSpare)
{
    BoardBench<Commissioning> b;
    b.board.answerLikeABoard();
    b.plug("ravelin-tcp");
    PutSlaves(b.ctx, 90);
    ASSERT_EQ(DownloadSlaves(b.st.image), 90);
    const int seconds = RunTimeoutSeconds(b.st.image, b.conn.link());
    const qint64 start = b.pump.nowMs();
    b.ops.F1_Run_Click();
    while (!b.panel.operating() && b.pump.nowMs() - start < seconds * 1000LL)
        b.pump.sleepMs(10);
    ASSERT_TRUE(b.panel.operating());
    const qint64 took = b.pump.nowMs() - start;
    EXPECT_GT(took, 30000); // what a fixed 30 s cut short
    EXPECT_GE(seconds * 1000LL, took * 3 / 2);

    PutSlaves(b.ctx, 0);
    EXPECT_EQ(RunTimeoutSeconds(b.st.image, b.conn.link()), 30); // a small download keeps the floor
}

TEST(RunBudget, aLostBoard_endsTheJobRetriesAtOnce)
{
    BoardBench<Commissioning> b;
    b.plug("ravelin:com1");
    b.panel.timerEnabled = false; // no tick closes the lost link first
    PutSlaves(b.ctx, 0);
    b.board.refuse = 100000;
    b.board.timeout = true;
    b.ops.startupStep = 1;
    b.st.mbuf = {0xE7};
    b.ops.StepMachine(); // the master record is due
    EXPECT_FALSE(b.ops.SetMode(iface::BusMode::Stop));
    EXPECT_LE(b.board.putCalls, 2);
    EXPECT_LT(b.pump.nowMs(), 100);
}
