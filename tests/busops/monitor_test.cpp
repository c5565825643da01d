#include "busops/commissioning.h"
#include "fake_master.h"
#include "monitor/debugview.h"
#include "monitor/diagnosis.h"
#include "support/fixture.h"

using namespace meridan;
using namespace meridan::test;

namespace {
struct Tick : Fixture {
    Panel panel;
    FakeMaster master{st};
    Commissioning ops{ctx, panel, master};
    Tick()
    {
        st.interfaceKind = 1;
        panel.load = true;
    }
    void message(std::vector<uint8_t> m)
    {
        master.replies.push_back(std::move(m));
        ops.Timer1_Timer();
    }
};
} // namespace

TEST(StatusTick, hardwareTextByKindWithoutAnyMessage)
{
    Tick t;
    const std::pair<int, const char *> cases[] = {{0, "no Hardware"}, {2, "Ravelin COM1"}, {3, "Ravelin COM2"}, {4, "TCP/IP"}, {1, "Tessel/DPX"}};
    for (auto [kind, text] : cases) {
        t.st.interfaceKind = uint8_t(kind);
        t.ops.Timer1_Timer();
        EXPECT_EQ(t.panel.hwText, text);
    }
    t.master.type = 0;
    t.ops.Timer1_Timer();
    EXPECT_EQ(t.panel.hwText, "Corvet");
    t.st.language = kGerman;
    t.st.interfaceKind = 0;
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
    t.st.record[3] = kModeOperate;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart, "Operate");
    EXPECT_TRUE(t.panel.run);
    EXPECT_EQ(t.st.record[3], 0xFF);
    // A second confirmation falls back to the bus-state byte on newer firmware...
    t.master.ram[0x3FF6] = 2;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart, "Clear");
    // ...and changes nothing at 5.2.
    t.master.version = 5.2;
    t.master.ram[0x3FF6] = 1;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart, "Clear");
    t.message({0xA8, 0, 0, 0x40, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart, "Stop");
    t.message({0xA8, 0, 0, 0x41, 0, 0, 0, 0});
    EXPECT_EQ(t.panel.betriebsart, "Stop");
}

TEST(StatusTick, operateConfirmationDuringDownload_doesNotRunStepMachine)
{
    Tick t;
    t.ops.startupStep = 6;
    t.st.record[3] = kModeOperate;
    t.message({0xE7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(t.panel.run);
    EXPECT_EQ(t.ops.startupStep, 6);
    EXPECT_EQ(t.st.melde1, "Message : E7->0");
}

TEST(StatusTick, marksFollowTheVisibleRows)
{
    Tick t;
    t.panel.run = true;
    t.panel.listTopRow = 10; // station 20 at the top
    t.master.run[20] = t.master.run[23] = true;
    t.master.diag[23] = true;
    t.ops.Timer1_Timer();
    EXPECT_TRUE(t.panel.marks[0].visible);
    EXPECT_EQ(t.panel.marks[0].colour, 0xFF0000u);
    EXPECT_FALSE(t.panel.marks[1].visible);
    EXPECT_TRUE(t.panel.marks[3].visible);
    EXPECT_EQ(t.panel.marks[3].colour, 0xFFu);
    EXPECT_EQ(t.master.runQueries, (std::vector<int>{20, 21, 22, 23, 24, 25, 26, 27, 29}));
    EXPECT_TRUE(t.panel.haltEnabled);
    t.panel.run = false;
    t.ops.Timer1_Timer();
    for (const auto &m : t.panel.marks)
        EXPECT_FALSE(m.visible);
    EXPECT_FALSE(t.panel.haltEnabled);
    EXPECT_FALSE(t.panel.debugEnabled);
}

TEST(StatusTick, lostConnection_fallsBackToNoInterface)
{
    Tick t;
    t.st.interfaceKind = 2;
    t.panel.run = true;
    t.panel.betriebsart = "Operate";
    t.panel.eepromMenuEnabled = true;
    t.master.timeout = true;
    t.ops.Timer1_Timer();
    EXPECT_EQ(t.master.lost, 1);
    EXPECT_EQ(t.st.interfaceKind, 0);
    EXPECT_TRUE(t.panel.betriebsart.isEmpty());
    EXPECT_FALSE(t.panel.run);
    EXPECT_FALSE(t.panel.load);
    EXPECT_FALSE(t.panel.eepromMenuEnabled);
}

TEST(StatusTick, reentryIsRefused)
{
    Tick t;
    int inner = 0;
    t.panel.run = true;
    t.master.onJob = nullptr;
    t.panel.changed = [&] { ++inner; };
    t.panel.timerBusy = true;
    t.ops.Timer1_Timer();
    EXPECT_EQ(inner, 0);
}

TEST(Diagnosis, decodesStatusBytesMasterIdentAndExtendedData)
{
    Fixture f;
    f.st.interfaceKind = 1;
    f.st.currentStation = 12;
    const uint8_t msg[] = {0xE1, 0, 0, 12, 0, 0, 0, 8, 0x02, 0x0C, 0x00, 255, 0x80, 0xA0, 0x01, 0x2A};
    std::copy(std::begin(msg), std::end(msg), f.st.mbuf.begin());
    DiagView v;
    UpdateDiagView(f.st, v);
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
    UpdateDiagView(f.st, v);
    EXPECT_EQ(v.extData, "");
    EXPECT_EQ(v.identNr, "80A0");

    f.st.mbuf[7] = 5;
    UpdateDiagView(f.st, v);
    EXPECT_TRUE(v.masterAdr.isEmpty());
    EXPECT_FALSE(v.bits[0][1]);
}

TEST(DebugView, addressClampsReadsAndWrites)
{
    Fixture f;
    FakeMaster m(f.st);
    m.ram[0x2FF6] = 3;
    DebugView d;
    DebugShown s = d.Text1_Change(m, "2FF6");
    EXPECT_EQ(s.text2, "3");
    EXPECT_FALSE(s.text1);
    EXPECT_EQ(s.scroll, 0x2FF6);
    s = d.Text1_Change(m, "20000");
    EXPECT_EQ(s.text1, "1FFFC");
    EXPECT_EQ(d.address, 0x1FFFCu);
    EXPECT_FALSE(s.scroll);
    d.Text1_Change(m, "100");
    auto w = d.Command2_Click(f.ctx, m, "55");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->text2, "55");
    w = d.Command2_Click(f.ctx, m, "");
    EXPECT_EQ(m.writes.back(), (std::pair<uint32_t, uint8_t>{0x100, 0}));
    const auto before = m.writes.size();
    EXPECT_FALSE(d.Command2_Click(f.ctx, m, "1FF"));
    EXPECT_EQ(m.writes.size(), before);
    EXPECT_EQ(f.ui.lastText(), "value too high");
    EXPECT_EQ(d.Text1_Change(m, "").text2, "0");
}
