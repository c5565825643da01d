// SPDX-License-Identifier: GPL-3.0-or-later
// What a bus command reports when it ends: done only when the board says
// so, otherwise why not and what the board reports instead, never decided
// by the message line's text.
#include "busops/eeprom.h"
#include "config/demo.h"
#include "core/bytes.h"
#include "fake_link.h"

using namespace meridan;
using namespace meridan::test;
using iface::BusMode;

namespace {

struct Ops {
    Commissioning com;
    Eeprom ee;
    Ops(Context &ctx, Connection &conn) : com(ctx, conn), ee(ctx, com) {}
    void Timer1_Timer() { com.Timer1_Timer(); }
};

struct Bench : BoardBench<Ops> {
    static constexpr uint32_t kBusState = 0x3FF6; // the Tessel map's bus-state byte
    explicit Bench(const char *hw = "tessel")
    {
        BuildDemoConfiguration(ctx);
        plug(hw);
        panel.load = true;
    }
    void boardIn(BusMode m) { board.ram[kBusState] = uint8_t(iface::Code(m) >> 6); }
};

// Nobody in front of the program: no question can be answered.
struct Unattended : CliPrompts {};

} // namespace

TEST(Outcomes, modeChange_refusedOrConfirmed_namesTheModeTheBoardReports)
{
    // A master without configuration refuses Operate: the answer says so and
    // the bus stays where it was.
    Bench b;
    b.boardIn(BusMode::Offline);
    b.panel.mode = BusMode::Offline;
    b.board.onJob = [&](const std::vector<uint8_t> &j) { b.board.replies.push_back({0xE7, 0, 2, j[3], 0, 0, 0, 0}); };
    const BusOutcome refused = b.ops.com.SetMode(BusMode::Operate);
    EXPECT_EQ(refused.failure, Failure::BoardError);
    EXPECT_EQ(refused.boardCode, 2);
    EXPECT_EQ(refused.mode, BusMode::Offline);
    EXPECT_EQ(b.panel.betriebsart(), "Offline");
    EXPECT_FALSE(b.panel.run);
    EXPECT_EQ(b.st.melde1, "Changing profibus state: the master refused Operate (code 2): the board reports Offline, not Operate");

    Bench ok;
    ok.board.answerLikeABoard();
    const BusOutcome done = ok.ops.com.SetMode(BusMode::Clear);
    EXPECT_TRUE(done.done());
    EXPECT_EQ(done.mode, BusMode::Clear);
    EXPECT_EQ(ok.st.melde1, "Changing profibus state: OK");

    // Confirmed, yet the board's own byte says otherwise (auto-clear at once).
    Bench cleared;
    cleared.board.onJob = [&](const std::vector<uint8_t> &j) {
        cleared.board.replies.push_back({0xE7, 0, 0, j[3], 0, 0, 0, 0});
        cleared.boardIn(BusMode::Clear);
    };
    const BusOutcome other = cleared.ops.com.SetMode(BusMode::Operate);
    EXPECT_EQ(other.failure, Failure::BoardError);
    EXPECT_EQ(other.mode, BusMode::Clear);
}

TEST(Outcomes, eepromStart_isDoneOnlyWhenTheBoardRunsFromItsEeprom)
{
    Bench empty("ravelin-tcp");
    empty.boardIn(BusMode::Offline); // an erased EEPROM: the master stays Offline
    const BusOutcome stayed = empty.ops.com.EEStart_Click();
    EXPECT_EQ(stayed.failure, Failure::BoardError);
    EXPECT_EQ(stayed.mode, BusMode::Offline);
    EXPECT_TRUE(stayed.why.startsWith("the master did not start from its EEPROM: the board reports Offline"));
    EXPECT_EQ(empty.st.melde1, "Start from local Configurationfile"); // the window's texts as before

    Bench full("ravelin-tcp");
    full.board.onJob = nullptr;
    full.boardIn(BusMode::Operate);
    EXPECT_TRUE(full.ops.com.EEStart_Click().done());
    EXPECT_TRUE(full.ops.com.EEStop_Click().failure == Failure::BoardError); // still Operate: the stop did not take
    full.boardIn(BusMode::Offline);
    EXPECT_TRUE(full.ops.com.EEStop_Click().done());

    Bench tessel; // no EEPROM to start from
    EXPECT_EQ(tessel.ops.com.EEStart_Click().failure, Failure::Refused);
}

TEST(Outcomes, runToOperate_endsDoneOrSaysHowFarTheDownloadGot)
{
    Bench b("corvet-dpram");
    b.board.answerLikeABoard();
    const BusOutcome done = b.ops.com.RunToOperate(b.pump.nowMs() + 60000);
    EXPECT_TRUE(done.done()) << done.why.toStdString();
    EXPECT_EQ(done.mode, BusMode::Operate);
    EXPECT_EQ(done.loaded, 4);

    // The board falls silent after the second slave record: the time-out
    // ends it half-way, and says what the master holds.
    for (const bool lineDies : {false, true}) {
        Bench h("corvet-dpram");
        h.board.answerLikeABoard();
        const auto honest = h.board.onJob;
        int slaves = 0;
        h.board.onJob = [&](const std::vector<uint8_t> &j) {
            if (j[0] != 0x25 || ++slaves <= 2)
                honest(j);
        };
        const qint64 deadline = h.pump.nowMs() + 20000;
        if (lineDies) // a serial line whose wait the deadline cuts short reads as lost
            h.pump.onPump = [&, tick = h.pump.onPump] {
                h.board.timeout = h.board.timeout || h.pump.nowMs() >= deadline;
                tick();
            };
        const BusOutcome cut = h.ops.com.RunToOperate(deadline);
        EXPECT_EQ(cut.failure, Failure::NoAnswer) << lineDies;
        EXPECT_EQ(cut.loaded, 2);
        EXPECT_EQ(cut.total, 4);
        EXPECT_TRUE(cut.why.contains("the time-out ended the download half-way: 2 of 4 slave records loaded")) << cut.why.toStdString();
        EXPECT_LE(h.pump.nowMs(), deadline + 1000);
    }

    Bench dead("corvet-dpram"); // a DP-RAM file left behind: nothing answers
    const BusOutcome none = dead.ops.com.RunToOperate(dead.pump.nowMs() + 60000);
    EXPECT_EQ(none.failure, Failure::NoAnswer);
    EXPECT_TRUE(dead.board.writes.empty()); // the master was not stopped for nothing
}

TEST(Outcomes, eraseAndBurnOverARunningBus_askFirst)
{
    for (const std::optional<int> answer : {std::optional<int>(No), std::optional<int>()}) {
        Bench b("ravelin:com1");
        Unattended nobody;
        Context unattended{b.st, nobody, b.pump, b.root};
        Connection conn(answer ? b.ctx : unattended, b.panel, b.board.opener());
        Ops ops(answer ? b.ctx : unattended, conn);
        conn.ConnectItem(*iface::ParseHwName("ravelin:com1"));
        if (answer)
            b.ui.answers.push_back(*answer);
        const BusOutcome erase = ops.ee.EE_Erase_Click();
        EXPECT_EQ(erase.failure, answer ? Failure::Cancelled : Failure::NeedsConfirmation);
        EXPECT_TRUE(b.board.jobs.empty());

        // The job way burns what the master runs: the download comes first
        // and restarts a master in Operate.
        Connection corvet(answer ? b.ctx : unattended, b.panel, b.board.opener());
        Ops job(answer ? b.ctx : unattended, corvet);
        corvet.ConnectItem(*iface::ParseHwName("corvet-dpram"));
        b.board.answerLikeABoard();
        b.boardIn(BusMode::Operate);
        if (answer)
            b.ui.answers.push_back(*answer);
        const BusOutcome burn = job.ee.StoreConfiguration(b.pump.nowMs() + 60000);
        EXPECT_EQ(burn.failure, answer ? Failure::Cancelled : Failure::NeedsConfirmation);
        for (const auto &j : b.board.jobs)
            EXPECT_EQ(j[0], 0x22); // only asked whether the master answers
        EXPECT_TRUE(b.board.writes.empty());
    }
}

TEST(Outcomes, networkBurnWithoutAnAnswer_isUnknownNotRefused)
{
    Bench b("ketch-tcp");
    b.board.burnFile = [&](const QString &) { return b.board.replyMissing = true, -1; };
    const BusOutcome out = b.ops.ee.Burn_Click();
    EXPECT_EQ(out.failure, Failure::NoAnswer);
    EXPECT_EQ(b.st.melde1, "the board did not confirm within 10 s; it may still store the configuration; read it back to check");

    Bench r("ketch-tcp");
    r.board.burnFile = [](const QString &) { return 6; };
    EXPECT_EQ(r.ops.ee.Burn_Click().boardCode, 6);
}

// A job carries 244 bytes of a record: a longer one is never cut silently.
TEST(Outcomes, recordsLongerThanAJob_refusedOrWarnedOnDownload_refusedOnRead)
{
    // Station 12 grows to 300 bytes: first only its name and module list
    // lie beyond the job's 244, then its identifier bytes too.
    for (const bool identifiersCut : {false, true}) {
        Bench b("corvet-dpram");
        b.board.answerLikeABoard();
        Record &r = b.st.image.slot(12);
        putBe16(r.span(), 8, 300);
        r[7] = 244;
        if (identifiersCut)
            r[25] = 9 + 240; // user parameters up to byte 273
        b.ui.shown.clear();
        const BusOutcome out = b.ops.com.F1_Run_Click();
        ASSERT_FALSE(b.ui.shown.empty());
        EXPECT_TRUE(b.ui.shown.back().text.contains("station 12 (300 bytes)")) << b.ui.shown.back().text.toStdString();
        EXPECT_EQ(out.failure, identifiersCut ? Failure::Refused : Failure::None);
        EXPECT_EQ(b.board.jobs.empty(), identifiersCut);
    }
    // Read back over the job way: the master has 244 of station 12's 300 bytes.
    Bench r("dromon:com2");
    std::vector<uint8_t> twelve = RecordBytes(r.st.image, 12);
    twelve[7] = 244;
    putBe16(std::span<uint8_t>(twelve), 8, 300);
    twelve.resize(8 + 244, 0);
    r.board.masterHolds({{0, RecordBytes(r.st.image, 0)}, {12, twelve}});
    const BusOutcome read = r.ops.ee.Upload_Click();
    EXPECT_EQ(read.failure, Failure::BoardError);
    EXPECT_EQ(r.st.melde1, "Error loading Slave 12 - configuration unchanged: the master holds 244 of its 300 bytes");
}
