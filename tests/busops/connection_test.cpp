// SPDX-License-Identifier: GPL-3.0-or-later
// The Hardware items as operations of the connection, on a scripted serial
// monitor and on DP-RAM files: what each finds out and shows, the locking and
// the status poll around it, the firmware restart before a download, and the
// ways out of the program.
#include "busops/connection.h"
#include "fakes.h"
#include "iface/hardware.h"

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

struct Items : LinkFixture {
    Panel panel;
    meridan::Connection conn{ctx, panel};
    std::vector<bool> hardwareMenu; // every state the window was told to show

    Items()
    {
        conn.env().makeSerialIo = env.makeSerialIo;
        panel.changed = [this] { hardwareMenu.push_back(panel.hardwareMenuEnabled); };
    }
    bool connect(const char *item) { return conn.ConnectItem(*ParseHwName(QString::fromLatin1(item))).done(); }
};

// A Tessel card that goes into its loader when stopped.
struct TesselStart : Items {
    std::unique_ptr<DpramFile> ram = tesselFile();
    FakeLoader loader{*ram};

    TesselStart()
    {
        write("download/OS9PCI.lo", QByteArray(20, '4'));
        write("download/DPM1.lo", QByteArray(20, '3'));
        connect("tessel");
        pump.onPump = [this] { loader.step(); };
    }
};

} // namespace

TEST(ConnectionItems, tessel_connectsWithoutLockingAndPollsEvery100ms)
{
    Items f;
    const auto file = f.tesselFile();
    (*file)[0x3FF6] = 3;
    f.panel.timerInterval = 250;
    ASSERT_TRUE(f.connect("tessel"));
    EXPECT_EQ(f.conn.link().traits().kind, InterfaceKind::Dpram);
    EXPECT_EQ(f.ui.statuses, (std::vector<QString>{"", "Zel Dll V3.0", "Tessel/DPX found DPM-Firmwareversion V5.3"}));
    EXPECT_EQ(std::count(f.hardwareMenu.begin(), f.hardwareMenu.end(), false), 0);
    EXPECT_EQ(f.panel.hwText, "5.3");
    EXPECT_EQ(f.panel.betriebsart(), "Operate");
    EXPECT_FALSE(f.panel.load || f.panel.run);
    EXPECT_TRUE(f.panel.timerEnabled);
    EXPECT_EQ(f.panel.timerInterval, 100);
    EXPECT_FALSE(f.panel.eepromMenuEnabled);
    EXPECT_TRUE(f.panel.runEnabled);
    EXPECT_EQ(f.ui.busyDepth, 0);
}

TEST(ConnectionItems, tesselWithoutSignatureOrWithOldFirmware)
{
    Items f;
    auto ram = f.tesselFile(0x48);
    (*ram)[0x0E] = 'X';
    EXPECT_FALSE(f.connect("tessel"));
    EXPECT_EQ(f.st.melde1, "no hardware !");
    EXPECT_FALSE(f.conn.connected());
    (*ram)[0x0E] = 'L';
    (*ram)[0x3FF6] = 3;
    f.st.language = kGerman;
    ASSERT_TRUE(f.connect("tessel"));
    EXPECT_EQ(f.st.melde1, "Tessel/DPX erkannt DPM-Firmwareversion V(Unknown)");
    EXPECT_TRUE(f.panel.betriebsart().isEmpty()); // no bus state below 5.0
}

TEST(ConnectionItems, corvetOnCom1AfterRavelin_reopensAt19200WithCorvetAddresses)
{
    Items f;
    f.monitorOnNextPort([](FakeMonitor &m) { m.ram[0x400] = 0x52; });
    ASSERT_TRUE(f.connect("ravelin:com1")) << f.st.melde1.toStdString();
    EXPECT_EQ(f.serial->baud, 9600);
    EXPECT_EQ(f.serial->device, f.root.path("driver/com1"));
    EXPECT_NE(std::count(f.hardwareMenu.begin(), f.hardwareMenu.end(), false), 0); // locked meanwhile
    FakeSerial *ravelin = f.serial;

    f.monitorOnNextPort([](FakeMonitor &m) {
        m.ram[0x1FFF] = 0x52;
        m.ram[0x1FF6] = 3;
        m.version = "5.3";
    });
    ASSERT_TRUE(f.connect("corvet:com1"));
    EXPECT_FALSE(ravelin->opened);
    EXPECT_EQ(f.serial->baud, 19200);
    EXPECT_EQ(f.conn.link().map().busState, 0x1FF6);
    EXPECT_EQ(f.panel.betriebsart(), "Operate"); // frame mode reads the bus state
    EXPECT_EQ(f.serial->tx, "!\rR1FFF\rVR1FF6\r");
    EXPECT_EQ(f.conn.link().traits().kind, InterfaceKind::Com1);
    EXPECT_EQ(f.panel.timerInterval, 250);
    EXPECT_TRUE(f.panel.load && f.panel.run);
}

TEST(ConnectionItems, serialFailures_sayWhyAndLeaveTheEepromMenuAsTheLineWas)
{
    Items f;
    f.monitorOnNextPort([](FakeMonitor &) {});
    EXPECT_FALSE(f.connect("ravelin:com2")); // the line opens, nobody answers "R"
    EXPECT_EQ(f.st.melde1, "No Ravelin on COM2");
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.panel.eepromMenuState, -1);

    f.monitorOnNextPort([](FakeMonitor &m) {
        m.ram[0x400] = 0x52;
        m.version.clear(); // the monitor never answers "V"
    });
    const qint64 start = f.pump.nowMs();
    EXPECT_FALSE(f.connect("ravelin:com1"));
    EXPECT_EQ(f.st.melde1, "No firmware version from COM1: no answer to \"V\" within 2 s");
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_LE(f.pump.nowMs() - start, kVersionReplyMs + 10);

    f.onNewPort = [](FakeSerial &port) { port.failOpen = true; };
    EXPECT_FALSE(f.connect("dromon:com2"));
    EXPECT_EQ(f.st.melde1, "Can´t open Com2");
    EXPECT_FALSE(f.conn.connected());
    EXPECT_FALSE(f.panel.eepromMenuEnabled);
    EXPECT_TRUE(f.panel.timerEnabled); // the poll goes on showing "no Hardware"
    f.st.language = kGerman;
    EXPECT_EQ(f.conn.hwText(), "ohne Hardware");
}

TEST(ConnectionItems, networkTargetThatDoesNotAnswer_cantOpen)
{
    Items f;
    f.write("driver/zelpci.cfg", "[network]\nOS9Target=127.0.0.1:1\n");
    EXPECT_FALSE(f.connect("ravelin-tcp"));
    EXPECT_EQ(f.st.melde1, "Can´t open OS9Target (OS9Target at 127.0.0.1:1: connection refused)");
    EXPECT_FALSE(f.conn.connected());
    EXPECT_FALSE(f.panel.eepromMenuEnabled);
}

TEST(ConnectionItems, switchingBoards_clearsTheOldBoardsStateFirst)
{
    Items f;
    auto ram = f.tesselFile();
    (*ram)[0x3FF6] = 3;
    ASSERT_TRUE(f.connect("tessel"));
    f.panel.run = true;
    f.panel.marks[10].visible = true; // station 20 ran on the Tessel's bus
    f.monitorOnNextPort([](FakeMonitor &m) { m.ram[0x400] = 0x52; });
    ASSERT_TRUE(f.connect("ravelin:com1")); // 5.2: no bus state to read
    EXPECT_TRUE(f.panel.betriebsart().isEmpty());
    EXPECT_FALSE(f.panel.marks[10].visible);
    f.conn.NoHardwareItem();
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.panel.hwText, "no Hardware");
    EXPECT_FALSE(f.panel.run || f.panel.load);
    EXPECT_FALSE(f.panel.eepromMenuEnabled || f.panel.eraseEnabled);
    EXPECT_TRUE(f.panel.timerEnabled);
}

TEST(ExitPaths, exitButtonSaysGoodbyeToADromonMonitorTheOtherWaysOnlyClose)
{
    for (const bool exitButton : {true, false}) {
        Items f;
        f.monitorOnNextPort([](FakeMonitor &m) { m.ram[0x400] = 0x52; });
        ASSERT_TRUE(f.connect("dromon:com2"));
        f.serial->tx.clear();
        f.conn.CloseForExit(exitButton);
        EXPECT_FALSE(f.serial->opened) << exitButton;
        EXPECT_EQ(f.serial->tx, exitButton ? QByteArray("Q\r") : QByteArray()) << exitButton;
        // A second way out (the close box after Exit) finds nothing left to close.
        f.serial->tx.clear();
        f.conn.CloseForExit(true);
        EXPECT_TRUE(f.serial->tx.isEmpty());
    }
    // A Ravelin's monitor is never sent "Q".
    Items f;
    f.monitorOnNextPort([](FakeMonitor &m) { m.ram[0x400] = 0x52; });
    ASSERT_TRUE(f.connect("ravelin:com1"));
    f.serial->tx.clear();
    f.conn.CloseForExit(true);
    EXPECT_FALSE(f.serial->opened);
    EXPECT_TRUE(f.serial->tx.isEmpty());
}

TEST(StartUp, badImage_showsItsLoaderCodeAndGoesOn)
{
    TesselStart f;
    f.st.language = kGerman;
    f.loader.endStatus = 0x13;
    (*f.ram)[0x0D3B] = 1;
    // The stopped card never says "R" again; its start byte still reads 1.
    EXPECT_TRUE(f.conn.StartUp());
    ASSERT_EQ(f.ui.shown.size(), 3u);
    EXPECT_EQ(f.ui.shown[0].text, "Fehler beim Laden 040: 19");
    EXPECT_EQ(f.ui.shown[0].title, "Loader:");
    EXPECT_EQ(f.ui.shown[1].text, "Fehler beim Laden 331: 19");
    EXPECT_EQ(f.ui.shown[2].text, "Profibus Init Timeout");
}

TEST(StartUp, noReadyMark_givesProfibusInitTimeoutAfter500Rounds)
{
    TesselStart f;
    f.loader.boots = false;
    const qint64 start = f.pump.nowMs();
    f.conn.StartUp();
    EXPECT_EQ(f.loader.ended, QList<uint8_t>{0x31}); // no load request: the 331 image only
    EXPECT_EQ(f.ui.lastText(), "Profibus Init Timeout");
    EXPECT_EQ(f.ui.lastTitle(), "DPM1:");
    // 300 ms after the stop, the loader's few polls, 500 rounds of 10 ms.
    EXPECT_GE(f.pump.nowMs() - start, 300 + 500 * 10);
    EXPECT_LT(f.pump.nowMs() - start, 300 + 500 * 10 + 50);
}

TEST(StartUp, frozenCard_endsAtTheDeadlineWithoutAnInitTimeoutBox)
{
    TesselStart f;
    f.pump.onPump = nullptr; // the card's boot loader never answers
    const qint64 start = f.pump.nowMs();
    f.conn.env().deadlineMs = start + 1000;
    f.ui.shown.clear();
    f.conn.StartUp();
    // The stop's 300 ms, then the loader's handshake and the ready rounds
    // until the deadline, not their own budgets (one second each, 5 s).
    EXPECT_GE(f.pump.nowMs() - start, 1000);
    EXPECT_LT(f.pump.nowMs() - start, 1100);
    for (const Shown &s : f.ui.shown)
        EXPECT_NE(s.text, "Profibus Init Timeout");
}

TEST(StartUp, serialLineTimingOut_givesUpAfterTheEleventhFailedRound)
{
    Items f;
    f.monitorOnNextPort([](FakeMonitor &m) { m.ram[0x400] = 0x52; });
    ASSERT_TRUE(f.connect("ravelin:com1"));
    f.monitor->mute = true;
    f.serial->tx.clear();
    f.ui.shown.clear();
    EXPECT_FALSE(f.conn.StartUp());
    // Eleven "R" in the wait, one for the last look; one "timeout" box for all.
    EXPECT_EQ(f.serial->tx.count("R400\r"), 12);
    ASSERT_EQ(f.ui.shown.size(), 2u);
    EXPECT_EQ(f.ui.shown[0].text, "timeout");
    EXPECT_EQ(f.ui.shown[0].title, "DP-Configurator");
    EXPECT_EQ(f.ui.shown[1].text, "Profibus Init Timeout");
}
