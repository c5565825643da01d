// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's bus controls wired to the commands, against a scripted
// master: what the user types and clicks reaches the master, and what the
// status poll learns shows in the controls.
#include "busops/commissioning.h"
#include "fake_link.h"
#include "config/configfile.h"
#include "demo_config.h"
#include "monitor/form6_window.h"
#include "support/fixture.h"
#include "window_support.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Master {
    FakeBoard master;
};

struct BusWindow : Master, WindowBench<VirtualPump> {
    BusWindow() : WindowBench(master.opener())
    {
        Fixture cfg;
        PutDemoMaster(cfg.st, 6);
        for (int s : {12, 20, 30, 40})
            PutDemoSlave(cfg.st, s, 0x4224, "DEMO", "demo");
        SaveConfigFile(cfg.ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")));
        makeWindow();
        panel.timerEnabled = false; // the test ticks by hand
        w->Form_Load();
        w->Form_Activate();
        w->ShowPanel();
    }
    void type(const char *name, const QString &value) const
    {
        auto *edit = child<QLineEdit>(QString::fromLatin1(name));
        edit->setText(value);
        QTest::keyClick(edit, Qt::Key_Return); // finishes the entry as leaving the field does
    }
    // A bus in Operate: the tick enables the marks and the halt button.
    void operate()
    {
        conn.ConnectItem(*iface::ParseHwName(QStringLiteral("tessel")));
        panel.timerEnabled = false;
        panel.load = true;
        panel.run = true;
        ui.shown.clear();
    }
};

} // namespace

TEST(BusWindow, hardwareMenu_marksTheConnectedItem)
{
    BusWindow f;
    EXPECT_FALSE(f.child<QMenu>("EEPROM")->isEnabled());
    EXPECT_EQ(f.text("HWtxt"), QStringLiteral("no Hardware"));
    EXPECT_TRUE(f.child<QAction>("noHW")->isChecked());
    f.trigger("VMESLOT3");
    EXPECT_TRUE(f.child<QAction>("VMESLOT3")->isChecked());
    EXPECT_FALSE(f.child<QAction>("VMESLOT1")->isChecked());
    EXPECT_FALSE(f.child<QAction>("noHW")->isChecked());
    f.trigger("noHW");
    EXPECT_TRUE(f.child<QAction>("noHW")->isChecked());
    EXPECT_FALSE(f.child<QAction>("VMESLOT3")->isChecked());
}

// Burning restarts a master in Operate: the window asks first.
TEST(BusWindow, burnWhileInOperate_asksFirst)
{
    BusWindow f;
    f.trigger("RavelinCom1");
    f.master.ram[0x3FF6] = 3;
    f.ui.answers = {No};
    f.trigger("Burn");
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].buttons, Yes | No);
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Burn cancelled"));
    EXPECT_TRUE(f.master.eeWrites.empty());
    EXPECT_TRUE(f.child<QMenu>("EEPROM")->isEnabled());
}

TEST(BusWindow, globalControlEntries_areHexBytesAndSendGoesToTheBroadcastAddress)
{
    BusWindow f;
    f.operate();
    f.type("Text4", QStringLiteral("20"));
    f.type("Text5", QStringLiteral("1"));
    f.click("Command1");
    ASSERT_EQ(f.master.jobs.size(), 1u);
    const auto &job = f.master.jobs[0];
    EXPECT_EQ(job[0], 0x2E);
    EXPECT_EQ(job[1], 127);
    EXPECT_EQ(job[3], 0x20);
    EXPECT_EQ(job[4], 0x01);
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Changing profibus state: OK"));

    // Too big for the byte: refused with a message, the field shows the old value.
    f.type("Text5", QStringLiteral("100"));
    EXPECT_EQ(f.panel.gcGroup, 1);
    EXPECT_EQ(f.text("Text5"), QStringLiteral("1"));
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, "value too high\n" + f.ui.shown[0].title);
}

TEST(BusWindow, debugPanel_readsClampsAndWritesTheDpram)
{
    BusWindow f;
    f.operate();
    f.comm.Timer1_Timer(); // Run ticked: OK and the scroll bar are usable
    ASSERT_TRUE(f.child<QPushButton>("Command2")->isEnabled());
    f.master.ram[0x2FF6] = 0x3C;
    f.child<QLineEdit>("Text1")->setText(QStringLiteral("2FF6"));
    EXPECT_EQ(f.text("Text2"), QStringLiteral("3C"));
    EXPECT_EQ(f.child<QScrollBar>("VScroll1")->value(), 0x2FF6);

    f.child<QLineEdit>("Text1")->setText(QStringLiteral("20000"));
    EXPECT_EQ(f.text("Text1"), QStringLiteral("1FFFC"));
    // The Tessel card has 16 KiB: beyond them nothing is read, and nothing written.
    f.master.ram[0x4000] = 0x77;
    f.child<QLineEdit>("Text1")->setText(QStringLiteral("4000"));
    EXPECT_EQ(f.text("Text2"), QStringLiteral("outside"));
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("DPR Debug: address 4000 is outside the board's DP-RAM (0 to 3FFF)"));
    const auto before = f.master.writes.size();
    f.child<QLineEdit>("Text3")->setText(QStringLiteral("1"));
    f.click("Command2");
    EXPECT_EQ(f.master.writes.size(), before);
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("DPR Debug"));
    // Text that is no hexadecimal number is no address 0.
    f.child<QLineEdit>("Text1")->setText(QStringLiteral("ZZ"));
    EXPECT_EQ(f.text("Text2"), QStringLiteral("?"));
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("DPR Debug: \"ZZ\" is not a hexadecimal address"));

    // The scroll bar steps through the addresses; OK writes and reads back.
    f.child<QScrollBar>("VScroll1")->setValue(0x10);
    EXPECT_EQ(f.text("Text1"), QStringLiteral("10"));
    f.child<QLineEdit>("Text3")->setText(QStringLiteral("55"));
    f.click("Command2");
    EXPECT_EQ(f.master.ram[0x10], 0x55);
    EXPECT_EQ(f.text("Text2"), QStringLiteral("55"));

    const auto writes = f.master.writes.size();
    f.child<QLineEdit>("Text3")->setText(QStringLiteral("1FF"));
    f.click("Command2");
    EXPECT_EQ(f.master.writes.size(), writes);
    EXPECT_EQ(f.ui.lastText(), "value too high\n" + f.ui.lastTitle());
    f.child<QLineEdit>("Text3")->setText(QStringLiteral("ZZ")); // not written as 0
    f.click("Command2");
    EXPECT_EQ(f.master.writes.size(), writes);
    EXPECT_EQ(f.ui.lastText(), "wrong input\n" + f.ui.lastTitle());
}

TEST(BusWindow, marks_followTheVisibleRowsAndTheStationLists)
{
    BusWindow f;
    f.operate();
    f.master.run[20] = f.master.run[22] = f.master.run[30] = true;
    f.master.diag[22] = true;
    f.w->resize(900, 700);
    f.w->show();
    QApplication::processEvents();
    f.list()->scrollToItem(f.list()->item(10), QAbstractItemView::PositionAtTop);
    ASSERT_EQ(f.panel.listTopRow, 10); // station 20 at the top
    f.comm.Timer1_Timer();
    auto mark = [&](int i) { return f.child<QFrame>(QStringLiteral("Line%1").arg(i + 3)); };
    EXPECT_TRUE(mark(0)->isVisible());  // 20 runs
    EXPECT_FALSE(mark(1)->isVisible()); // 21 does not
    EXPECT_TRUE(mark(2)->isVisible());  // 22 runs, with diagnosis
    EXPECT_EQ(mark(0)->palette().color(QPalette::Window), QColor(Qt::blue));
    EXPECT_EQ(mark(2)->palette().color(QPalette::Window), QColor(Qt::red));
    for (int i = 3; i < 10; ++i)
        EXPECT_FALSE(mark(i)->isVisible()) << i; // 23..29 idle
    EXPECT_TRUE(mark(10)->isVisible()); // 30 runs, further down the list
    // 40 is configured but takes no part in the data exchange: a mark of its
    // own, hollow where the running ones are filled.
    EXPECT_TRUE(mark(20)->isVisible());
    EXPECT_TRUE(mark(0)->autoFillBackground());
    EXPECT_FALSE(mark(20)->autoFillBackground());
    EXPECT_EQ(mark(20)->frameShape(), QFrame::Box);
    EXPECT_EQ(mark(20)->toolTip(), QStringLiteral("Configured, takes no part in the data exchange"));
    // A mark in any colour but the running ones is drawn the same way.
    f.panel.marks[20] = {true, 0x808080};
    f.w->ShowPanel();
    EXPECT_FALSE(mark(20)->autoFillBackground());
    EXPECT_EQ(mark(20)->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
    // Each mark sits beside its row.
    const QRect row22 = f.list()->visualItemRect(f.list()->item(12));
    const int rowMid = f.list()->viewport()->mapTo(f.w.get(), row22.center()).y();
    const QRect m2 = mark(2)->geometry().translated(mark(2)->parentWidget()->mapTo(f.w.get(), QPoint(0, 0)));
    EXPECT_TRUE(m2.top() <= rowMid && rowMid <= m2.bottom());
    EXPECT_TRUE(f.child<QPushButton>("F1_Halt")->isEnabled());

    // Out of Operate: all marks hidden and halt unusable.
    f.panel.run = false;
    f.comm.Timer1_Timer();
    EXPECT_FALSE(mark(0)->isVisible());
    EXPECT_FALSE(mark(20)->isVisible());
    EXPECT_FALSE(f.child<QPushButton>("F1_Halt")->isEnabled());
}

TEST(BusWindow, clicksOnTheList_requestDiagnosisAndOnlyTheRightButtonOpensForm6)
{
    BusWindow f;
    f.w->show();
    // No interface: the right button does nothing at all.
    QTest::mouseClick(f.list()->viewport(), Qt::RightButton, {}, f.list()->visualItemRect(f.list()->item(2)).center());
    EXPECT_EQ(f.w->diagnosisWindow(), nullptr);
    EXPECT_EQ(f.list()->currentRow(), 0);

    f.operate();
    f.list()->setCurrentRow(2);
    ASSERT_EQ(f.master.jobs.size(), 1u);
    EXPECT_EQ(f.master.jobs[0][0], 0x21);
    EXPECT_EQ(f.master.jobs[0][3], 12);
    EXPECT_EQ(f.w->diagnosisWindow(), nullptr);

    QTest::mouseClick(f.list()->viewport(), Qt::RightButton, {}, f.list()->visualItemRect(f.list()->item(2)).center());
    ASSERT_NE(f.w->diagnosisWindow(), nullptr);
    EXPECT_TRUE(f.w->diagnosisWindow()->isVisible());
    ASSERT_EQ(f.master.jobs.size(), 2u); // the right click asks again, once
    EXPECT_EQ(f.master.jobs[1][3], 12);
}

TEST(BusWindow, diagnosisMessage_isDecodedIntoForm6)
{
    BusWindow f;
    f.operate();
    f.w->show();
    f.list()->setCurrentRow(2);
    f.w->List1_MouseDown(Qt::RightButton, 2);
    Form6Window *form6 = f.w->diagnosisWindow();
    ASSERT_NE(form6, nullptr);
    auto label = [&](const char *name) { return form6->findChild<QLabel *>(QString::fromLatin1(name)); };

    f.master.replies.push_back({0xE1, 0, 0, 12, 0, 0, 0, 6, 0x02, 0x0C, 0x00, 255, 0x80, 0xA0});
    f.comm.Timer1_Timer();
    EXPECT_EQ(form6->windowTitle(), QStringLiteral("Station 12 Diagnosis"));
    for (int byte = 0; byte < 3; ++byte)
        for (int bit = 0; bit < 8; ++bit) {
            const bool on = (byte == 0 && bit == 1) || (byte == 1 && (bit == 3 || bit == 2));
            QLabel *l = label(qPrintable(QStringLiteral("Label%1_%2").arg(9 - bit).arg(byte)));
            ASSERT_NE(l, nullptr);
            EXPECT_EQ(l->isEnabled(), on) << byte << " " << bit;
        }
    EXPECT_EQ(label("Label8_0")->text(), QStringLiteral("Station not ready"));
    EXPECT_EQ(label("Label6_1")->text(), QStringLiteral("Watchdog On"));
    EXPECT_EQ(label("TMasterAdr")->text(), QStringLiteral("255"));
    EXPECT_EQ(label("TidentNr")->text(), QStringLiteral("80A0"));
    EXPECT_EQ(label("TExtData")->text(), QString());
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Diagnosis  6 Byte´s :02 0C 00 FF 80 A0 "));

    // Too short to decode: the window is blanked.
    f.master.replies.push_back({0xE1, 0, 0, 12, 0, 0, 0, 3, 0x40, 0x05, 0x00});
    f.comm.Timer1_Timer();
    EXPECT_FALSE(label("Label6_1")->isEnabled());
    EXPECT_EQ(label("TidentNr")->text(), QString());

    // Hidden, it keeps what it showed.
    form6->hide();
    f.master.replies.push_back({0xE1, 0, 0, 12, 0, 0, 0, 6, 0x40, 0x05, 0x00, 1, 0x42, 0x25});
    f.comm.Timer1_Timer();
    EXPECT_EQ(label("TidentNr")->text(), QString());
    EXPECT_FALSE(label("Label3_0")->isEnabled());
}

TEST(BusWindow, haltAndEepromCommands_showTheModeTheyLeave)
{
    BusWindow f;
    f.operate();
    f.master.answerLikeABoard();
    f.comm.Timer1_Timer();
    // Confirmations come in through the poll while Halt/Go waits.
    f.pump.onPump = [&] { f.comm.Timer1_Timer(); };
    f.panel.mode = iface::BusMode::Clear;
    f.click("F1_Halt");
    EXPECT_EQ(f.text("Betriebsart"), QStringLiteral("Operate"));
    EXPECT_EQ(f.master.jobs.size(), 1u);
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Changing profibus state: OK"));
    EXPECT_EQ(f.ui.busyDepth, 0);

    f.pump.onPump = nullptr;
    f.trigger("EEStop");
    EXPECT_EQ(f.text("Betriebsart"), QStringLiteral("Offline"));
    EXPECT_FALSE(f.child<QCheckBox>("Run")->isChecked());
}
