// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/commissioning.h"
#include "core/bytes.h"
#include "fake_link.h"
#include "app/demo_config.h"
#include "support/fixture.h"
#include "config/image.h"

using namespace meridan;
using namespace meridan::test;

namespace {

struct Bench : BoardBench<Commissioning> {
    explicit Bench(const char *hw = nullptr)
    {
        if (hw)
            plug(hw);
    }
    void master12and40()
    {
        PutDemoMaster(st, 6);
        for (int s : {12, 40}) {
            Record &r = st.image.slot(s);
            r[0] = kSlaveMarker;
            r[3] = uint8_t(s);
            r[7] = 123;
            putBe16(r.span(), 8, 123);
        }
    }
};

} // namespace

TEST(Run, noInterface_changesOnlyTheMessageLine)
{
    Bench b;
    b.ops.F1_Run_Click();
    EXPECT_EQ(b.st.melde1, "no hardware ! Choose the board in the Hardware menu.");
    EXPECT_TRUE(b.board.jobs.empty());
    EXPECT_FALSE(b.panel.load);
    EXPECT_TRUE(b.panel.runEnabled);
    EXPECT_EQ(b.ops.startupStep, 0);
}

TEST(Run, slavesAt12And40_exchangeInOrderUpToOperateWhateverTheUserSelects)
{
    Bench b("tessel");
    b.master12and40();
    b.board.answerLikeABoard();
    const auto board = b.board.onJob;
    b.board.onJob = [&](const std::vector<uint8_t> &j) {
        board(j);
        if (j[0] == 0x25)
            b.st.currentStation = 55; // the user selects another line meanwhile: no slave is skipped
    };
    b.ops.F1_Run_Click();
    EXPECT_EQ(b.st.melde1, "init");
    EXPECT_TRUE(b.panel.load);
    b.runFor(2000);
    const std::vector<std::pair<int, int>> want = {{0x27, 0x00}, {0x24, 0}, {0x25, 12}, {0x25, 40},
                                                   {0x27, 0x40}, {0x27, 0x80}, {0x27, 0xC0}};
    EXPECT_EQ(b.jobCodes(), want);
    EXPECT_EQ(b.panel.betriebsart(), "Operate");
    EXPECT_TRUE(b.panel.run);
    EXPECT_EQ(b.ops.startupStep, 6); // the Operate confirmation is taken by the mode display
    // The record jobs are the records themselves.
    EXPECT_EQ(b.board.jobs[1].size(), 8u + 66u);
    EXPECT_TRUE(std::equal(b.board.jobs[2].begin(), b.board.jobs[2].end(), b.st.image.slot(12).bytes.begin()));
}

TEST(Run, noMasterOrNoSlave_isSaidBeforeARunningBusIsTouched)
{
    for (const bool withMaster : {false, true}) {
        Bench b;
        b.master12and40();
        b.st.image.slot(12).clear();
        b.st.image.slot(40).clear();
        if (!withMaster)
            b.st.image.slot(0).clear(); // File -> New
        b.plug("ravelin-tcp");
        b.board.answerLikeABoard();
        b.panel.mode = iface::BusMode::Operate;
        b.panel.load = b.panel.run = true;
        b.ops.F1_Run_Click();
        b.runFor(1000);
        EXPECT_EQ(b.ui.lastText(), withMaster ? "missing Slave recods !" : "missing Master record !");
        EXPECT_EQ(b.ui.lastTitle(), "DP-Configurator");
        EXPECT_EQ(b.ops.startupStep, 0);
        EXPECT_TRUE(b.board.jobs.empty());
        EXPECT_TRUE(b.panel.operating());
        EXPECT_TRUE(b.panel.runEnabled);
    }
}

TEST(Run, failedReplyOrWrongMessage_leavesStep)
{
    Bench b;
    b.master12and40();
    b.ops.startupStep = 1;
    b.st.mbuf[0] = 0xE7;
    b.st.mbuf[2] = 1; // refused
    b.ops.StepMachine();
    EXPECT_EQ(b.ops.startupStep, 1);
    b.st.mbuf[0] = 0xE4;
    b.st.mbuf[2] = 0;
    b.ops.StepMachine();
    EXPECT_EQ(b.ops.startupStep, 1);
    EXPECT_TRUE(b.board.jobs.empty());
}

TEST(Run, fiftyRefusals_commandErrorAndStepOneBack)
{
    Bench b("tessel");
    b.master12and40();
    b.panel.timerEnabled = false;
    b.ops.startupStep = 1;
    b.st.mbuf[0] = 0xE7;
    b.board.refuse = 1000;
    const qint64 before = b.pump.nowMs();
    b.ops.StepMachine();
    EXPECT_EQ(b.board.putCalls, 50);
    EXPECT_GE(b.pump.nowMs() - before, 500);
    EXPECT_EQ(b.st.melde1, "Command error");
    EXPECT_EQ(b.ops.startupStep, 1);
}

TEST(FastDownload, sameExchangeInAFractionOfTheTicksAndThePollGoesBackToItsPace)
{
    std::vector<std::pair<int, int>> jobs[2];
    qint64 took[2];
    for (const bool fast : {false, true}) {
        Bench b("tessel");
        b.master12and40();
        b.board.answerLikeABoard();
        b.st.fastDownload = fast;
        b.ops.F1_Run_Click();
        const qint64 start = b.pump.nowMs(); // the master restarted, the first job out
        EXPECT_EQ(b.panel.timerInterval, fast ? Commissioning::kFastPollMs : 100);
        for (int ms = 0; ms < 3000 && !b.panel.run; ++ms)
            b.pump.sleepMs(1);
        took[fast] = b.pump.nowMs() - start;
        jobs[fast] = b.jobCodes();
        EXPECT_EQ(b.st.melde1, "Message : E7->0");
        b.runFor(200);
        EXPECT_EQ(b.panel.timerInterval, 100) << fast; // the download is over
    }
    EXPECT_EQ(jobs[true], jobs[false]);
    EXPECT_LT(took[true] * 5, took[false]);
}

TEST(FastDownload, silentBoard_slowsThePollAfterASecondAndAReplyBringsThePaceBack)
{
    Bench b("tessel");
    b.master12and40();
    b.st.fastDownload = true;
    b.ops.F1_Run_Click(); // the Offline job goes out; nothing answers
    b.runFor(Commissioning::kFastIdleMs + 50);
    EXPECT_EQ(b.panel.timerInterval, 100);
    EXPECT_EQ(b.ops.startupStep, 1); // still waiting, as the paced download would
    // A burst: a diagnosis and the reply at once, taken in the order they came.
    b.board.replies.push_back({0xE1, 0, 0, 12, 0, 0, 0, 0});
    b.board.replies.push_back({0xE7, 0, 0, 0, 0, 0, 0, 0});
    b.ui.statuses.clear();
    b.runFor(250);
    EXPECT_EQ(b.ops.startupStep, 2);
    ASSERT_GE(b.ui.statuses.size(), 3u);
    EXPECT_EQ(b.ui.statuses[1], QString::fromUtf8("Diagnosis  0 Byte´s :"));
    EXPECT_EQ(b.ui.statuses[2], "Message : E7->0");
    EXPECT_EQ(b.panel.timerInterval, Commissioning::kFastPollMs);
    EXPECT_EQ(b.jobCodes().back(), (std::pair<int, int>{0x24, 0}));
}

TEST(HaltGo, fromOperate_clearThenStop)
{
    Bench b("tessel");
    b.panel.load = true;
    b.panel.run = true;
    b.panel.mode = iface::BusMode::Operate;
    b.board.answerLikeABoard();
    b.ops.F1_Halt_Click();
    EXPECT_EQ(b.jobCodes(), (std::vector<std::pair<int, int>>{{0x27, 0x80}, {0x27, 0x40}}));
    EXPECT_EQ(b.panel.betriebsart(), "Stop");
    EXPECT_FALSE(b.panel.busy);
    EXPECT_TRUE(b.panel.runEnabled);
}

TEST(HaltGo, noConfirmation_timesOutInVirtualTime)
{
    Bench b("tessel");
    b.panel.load = true;
    b.panel.mode = iface::BusMode::Stop;
    b.ops.F1_Halt_Click(); // jobs are taken, nothing answers
    EXPECT_EQ(b.st.melde1, "Timeout changing state");
    EXPECT_EQ(b.board.jobs.size(), 1u); // Operate is never tried after the Clear time-out
    EXPECT_GE(b.pump.nowMs(), 2000);
}

TEST(HaltGo, neverTaken_timesOutAfterThousandAttempts)
{
    Bench b("tessel");
    b.board.refuse = 100000;
    b.ops.F1_Halt_Click();
    EXPECT_EQ(b.board.putCalls, 1000);
    EXPECT_EQ(b.st.melde1, "Timeout changing state");
}

TEST(HaltGo, secondCommandInsideAWait_isTurnedAwayWithoutUnlocking)
{
    Bench b("tessel");
    b.panel.load = true;
    b.panel.mode = iface::BusMode::Clear;
    bool nestedSeenLocked = false;
    b.board.onJob = [&](const std::vector<uint8_t> &) {
        b.ops.Command1_Click(); // a click let through by the wait
        nestedSeenLocked = !b.panel.runEnabled;
    };
    b.ops.F1_Halt_Click();
    EXPECT_TRUE(nestedSeenLocked);
    EXPECT_EQ(b.board.jobs.size(), 1u);
}

TEST(Eeprom, startOverNetwork_runsWithoutWaitingForTheMaster)
{
    Bench b("ravelin-tcp");
    b.ops.EEStart_Click();
    EXPECT_EQ(b.ui.statuses.front(), "Start from local Configurationfile");
    EXPECT_TRUE(b.panel.run);
    EXPECT_EQ(b.panel.betriebsart(), "Operate");
    EXPECT_EQ(b.board.writes, (std::vector<std::pair<uint32_t, uint8_t>>{{0x0400, 0}}));
    EXPECT_TRUE(b.panel.timerEnabled);
}

TEST(Eeprom, startDromon_stopsFirstAndStopWritesOne)
{
    Bench b;
    b.board.variant = true;
    b.plug("dromon:com1");
    b.ops.EEStart_Click();
    EXPECT_EQ(b.board.writes, (std::vector<std::pair<uint32_t, uint8_t>>{{0x0400, 1}, {0x0400, 0}}));
    EXPECT_EQ(b.st.melde1, "Start Dromon from Flash");
    EXPECT_EQ(b.board.quietWaited, 6000);
    b.ops.EEStop_Click();
    EXPECT_EQ(b.board.writes.back(), (std::pair<uint32_t, uint8_t>{0x0400, 1}));
    EXPECT_FALSE(b.panel.run);
    EXPECT_EQ(b.panel.betriebsart(), "Offline");
}
