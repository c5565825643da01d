// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/commissioning.h"
#include "fake_link.h"
#include "monitor/debugview.h"
#include "monitor/diagnosis.h"
#include "support/fixture.h"

using namespace meridan;
using namespace meridan::test;

namespace {
struct Tick : BoardBench<Commissioning> {
    Tick()
    {
        plug("tessel");
        panel.timerEnabled = false; // the test ticks by hand
        panel.load = true;
    }
    void message(std::vector<uint8_t> m)
    {
        board.replies.push_back(std::move(m));
        ops.Timer1_Timer();
    }
};
} // namespace

TEST(StatusTick, modeDisplayFromE7AndA8)
{
    Tick t;
    t.st.record[3] = 0xC0;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart(), "Operate");
    EXPECT_TRUE(t.panel.run);
    EXPECT_EQ(t.st.record[3], 0xFF);
    // A second confirmation falls back to the bus-state byte on newer firmware...
    t.board.ram[0x3FF6] = 2;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart(), "Clear");
    // ...and changes nothing at 5.2.
    t.conn.link().firmwareVersion = 5.2;
    t.board.ram[0x3FF6] = 1;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart(), "Clear");
    t.message({0xA8, 0, 0, 0x40, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart(), "Stop");
    t.message({0xA8, 0, 0, 0x41, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart(), "Stop");
}

// What the marks show is the window's test; here: each list byte is read once
// per tick, however many rows share it.
TEST(StatusTick, marksReadEachListByteOnce)
{
    Tick t;
    t.panel.run = true;
    t.panel.listTopRow = 10; // station 20 at the top
    t.board.run[23] = t.board.diag[23] = true;
    t.ops.Timer1_Timer();
    EXPECT_EQ(t.panel.marks[3].colour, kMarkRed);
    // Rows 20..27 span list bytes 2 and 3; the look past the rows (29) keeps byte 3.
    EXPECT_EQ(t.board.listReads, (std::vector<int>{2, 102, 3, 103}));
    t.panel.run = false;
    t.ops.Timer1_Timer();
    EXPECT_FALSE(t.panel.debugEnabled);
}

TEST(StatusTick, aTallListMarksEveryRowItShows)
{
    Tick t;
    t.panel.run = true;
    t.panel.listRows = 43; // a maximised window: stations 10..52
    t.board.run[20] = t.board.run[40] = t.board.run[53] = t.board.diag[40] = true;
    t.st.image.slot(35)[0] = kSlaveMarker; // configured, not in the data exchange
    t.ops.Timer1_Timer();
    EXPECT_TRUE(t.panel.marks[10].visible && t.panel.marks[30].visible && t.panel.marks[30].colour == kMarkRed);
    EXPECT_TRUE(t.panel.marks[25].visible && t.panel.marks[25].colour == kMarkIdle);
    EXPECT_FALSE(t.panel.marks[24].visible);
    EXPECT_FALSE(t.panel.marks[43].visible); // 53 is below the last row
}

TEST(StatusTick, lostConnection_isReportedOnceAndFallsBackToNoBoard)
{
    const std::pair<const char *, const char *> cases[] = {{"tessel", "Communicationtimeout from Tessel"},
                                                           {"dromon:com2", "Communicationtimeout from Ravelin/Dromon"},
                                                           {"ravelin-tcp", "Communicationtimeout from TCP Port"}};
    for (auto [item, text] : cases) {
        Tick t;
        t.plug(item);
        t.panel.run = true;
        t.panel.mode = iface::BusMode::Operate;
        t.board.timeout = true;
        t.ops.Timer1_Timer();
        EXPECT_EQ(t.st.melde1, text);
        EXPECT_EQ(t.ui.statuses.size(), 1u);
        EXPECT_FALSE(t.conn.connected());
        EXPECT_TRUE(t.panel.betriebsart().isEmpty());
        EXPECT_FALSE(t.panel.run || t.panel.load);
        // Only a lost serial line takes the EEPROM menu with it.
        EXPECT_EQ(t.panel.eepromMenuEnabled, !QByteArray(item).contains("com")) << item;
    }
}

TEST(StatusTick, reentryIsRefused)
{
    Tick t;
    int inner = 0;
    t.panel.run = true;
    t.panel.changed = [&] { ++inner; };
    t.panel.timerBusy = true;
    t.ops.Timer1_Timer();
    EXPECT_EQ(inner, 0);
}

// The window's test decodes the bits, master and ident; here the extended
// data and the text meridan-cli diag prints.
TEST(Diagnosis, extendedDataAndText)
{
    Fixture f;
    f.st.currentStation = 12;
    const uint8_t msg[] = {0xE1, 0, 0, 12, 0, 0, 0, 8, 0x02, 0x0C, 0x00, 255, 0x80, 0xA0, 0x01, 0x2A};
    std::copy(std::begin(msg), std::end(msg), f.st.mbuf.begin());
    DiagView v;
    UpdateDiagView(f.st, v, true);
    EXPECT_EQ(v.extData, "01 2A ");
    const QString text = DiagnosisText(f.st).join('\n');
    EXPECT_TRUE(text.contains("Byte 1: Station not ready\nByte 2: Watchdog On, 1")) << text.toStdString();
    EXPECT_TRUE(text.contains("Extended Data: 01 2A")) << text.toStdString();
}

// Reading, clamping and writing through the window are the window's test.
TEST(DebugView, emptyEntries_readAndWriteZero)
{
    Tick t;
    DebugView d;
    t.board.ram[0] = 7;
    EXPECT_EQ(d.Text1_Change(t.ctx, t.conn.link(), "").text2, "7");
    EXPECT_FALSE(d.Text1_Change(t.ctx, t.conn.link(), "20000").scroll); // clamped beyond the scroll bar
    d.Text1_Change(t.ctx, t.conn.link(), "100");
    ASSERT_TRUE(d.Command2_Click(t.ctx, t.conn.link(), ""));
    EXPECT_EQ(t.board.writes.back(), (std::pair<uint32_t, uint8_t>{0x100, 0}));
}
