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

TEST(StatusTick, hardwareTextIsTheLinksOwnName)
{
    Tick t;
    const std::pair<const char *, const char *> cases[] = {
        {"ravelin:com1", "Ravelin COM1"}, {"dromon:com2", "Ravelin COM2"}, {"ketch-tcp", "TCP/IP"},
        {"corvet-dpram", "Corvet"},       {"vme:3", "Tessel/DPX"}};
    for (auto [item, text] : cases) {
        t.plug(item);
        t.ops.Timer1_Timer();
        EXPECT_EQ(t.panel.hwText, text);
    }
    t.st.language = kGerman;
    t.conn.NoHardwareItem();
    t.ops.Timer1_Timer();
    EXPECT_EQ(t.panel.hwText, "ohne Hardware");
    EXPECT_FALSE(t.panel.timerBusy);
}

TEST(StatusTick, logLinesKeepTheirExactForm)
{
    Tick t;
    t.panel.run = true; // no step machine
    t.message({0xE7, 0, 0, 0x55, 0, 0, 0, 0});
    EXPECT_EQ(t.ui.statuses.front(), "Message : E7->0");
    t.message({0xE1, 0, 0, 12, 0, 0, 0, 3, 0x08, 0x0C, 0x00});
    EXPECT_EQ(t.st.melde1, QString::fromUtf8("Diagnosis  3 Byte´s :08 0C 00 "));
    t.message({0xE1, 0, 0, 12, 0, 0, 0, 0});
    EXPECT_EQ(t.st.melde1, QString::fromUtf8("Diagnosis  0 Byte´s :"));
    t.panel.run = false;
    t.st.record[3] = 12;
    t.message({0xE5, 0, 0, 12, 0, 0, 0, 0});
    EXPECT_EQ(t.st.melde1, "Slave  12 record loaded");
}

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

TEST(StatusTick, operateConfirmationDuringDownload_doesNotRunStepMachine)
{
    Tick t;
    t.ops.startupStep = 6;
    t.st.record[3] = 0xC0;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(t.panel.run);
    EXPECT_EQ(t.ops.startupStep, 6);
    EXPECT_EQ(t.st.melde1, "Message : E7->0");
}

TEST(StatusTick, marksFollowTheVisibleRowsReadingEachListByteOnce)
{
    Tick t;
    t.panel.run = true;
    t.panel.listTopRow = 10; // station 20 at the top
    t.board.run[20] = t.board.run[23] = true;
    t.board.diag[23] = true;
    t.ops.Timer1_Timer();
    EXPECT_TRUE(t.panel.marks[0].visible);
    EXPECT_EQ(t.panel.marks[0].colour, kMarkBlue);
    EXPECT_FALSE(t.panel.marks[1].visible);
    EXPECT_TRUE(t.panel.marks[3].visible);
    EXPECT_EQ(t.panel.marks[3].colour, kMarkRed);
    // Rows 20..27 span list bytes 2 and 3; the look past the rows (29) keeps byte 3.
    EXPECT_EQ(t.board.listReads, (std::vector<int>{2, 102, 3, 103}));
    EXPECT_TRUE(t.panel.haltEnabled);
    t.panel.run = false;
    t.ops.Timer1_Timer();
    for (const auto &m : t.panel.marks)
        EXPECT_FALSE(m.visible);
    EXPECT_FALSE(t.panel.haltEnabled);
    EXPECT_FALSE(t.panel.debugEnabled);
}

TEST(StatusTick, aTallListMarksEveryRowItShows)
{
    Tick t;
    t.panel.run = true;
    t.panel.listRows = 43; // a maximised window: stations 10..52
    t.board.run[20] = t.board.run[40] = t.board.run[53] = t.board.diag[40] = true;
    t.ops.Timer1_Timer();
    EXPECT_TRUE(t.panel.marks[10].visible && t.panel.marks[30].visible && t.panel.marks[30].colour == kMarkRed);
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

TEST(Diagnosis, decodesStatusBytesMasterIdentAndExtendedData)
{
    Fixture f;
    f.st.currentStation = 12;
    const uint8_t msg[] = {0xE1, 0, 0, 12, 0, 0, 0, 8, 0x02, 0x0C, 0x00, 255, 0x80, 0xA0, 0x01, 0x2A};
    std::copy(std::begin(msg), std::end(msg), f.st.mbuf.begin());
    DiagView v;
    UpdateDiagView(f.st, v, true);
    EXPECT_EQ(v.caption, "Station 12 Diagnose");
    EXPECT_TRUE(v.bits[0][1]);  // Station not ready
    EXPECT_TRUE(v.bits[1][3]);  // Watchdog On
    EXPECT_TRUE(v.bits[1][2]);  // "1"
    int set = 0;
    for (auto &byte : v.bits)
        for (bool b : byte)
            set += b;
    EXPECT_EQ(set, 3);
    EXPECT_EQ(v.masterAdr, "255");
    EXPECT_EQ(v.identNr, "80A0");
    EXPECT_EQ(v.extData, "01 2A ");
    const QStringList text = DiagnosisText(f.st);
    EXPECT_TRUE(text.join('\n').contains("Byte 1: Station not ready"));
    EXPECT_TRUE(text.join('\n').contains("Byte 2: Watchdog On, 1"));

    f.st.mbuf[7] = 6;
    UpdateDiagView(f.st, v, true);
    EXPECT_EQ(v.extData, "");
    EXPECT_EQ(v.identNr, "80A0");

    f.st.mbuf[7] = 5;
    UpdateDiagView(f.st, v, true);
    EXPECT_TRUE(v.masterAdr.isEmpty());
    EXPECT_FALSE(v.bits[0][1]);
}

TEST(DebugView, addressClampsReadsAndWrites)
{
    Tick t;
    Fixture &f = t;
    FakeBoard &m = t.board;
    iface::Link &link = t.conn.link();
    m.ram[0x2FF6] = 3;
    DebugView d;
    DebugShown s = d.Text1_Change(link, "2FF6");
    EXPECT_EQ(s.text2, "3");
    EXPECT_FALSE(s.text1);
    EXPECT_EQ(s.scroll, 0x2FF6);
    s = d.Text1_Change(link, "20000");
    EXPECT_EQ(s.text1, "1FFFC");
    EXPECT_EQ(d.address, 0x1FFFCu);
    EXPECT_FALSE(s.scroll);
    d.Text1_Change(link, "100");
    auto w = d.Command2_Click(f.ctx, link, "55");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->text2, "55");
    w = d.Command2_Click(f.ctx, link, "");
    EXPECT_EQ(m.writes.back(), (std::pair<uint32_t, uint8_t>{0x100, 0}));
    const auto before = m.writes.size();
    EXPECT_FALSE(d.Command2_Click(f.ctx, link, "1FF"));
    EXPECT_EQ(m.writes.size(), before);
    EXPECT_EQ(f.ui.lastText(), "value too high\n" + f.ui.lastTitle());
    EXPECT_EQ(d.Text1_Change(link, "").text2, "0");
}
