// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against meridan-boardsim: the user's road from the
// Hardware menu through Run to a running bus, its marks and a station's
// diagnosis, with the window driven by its control names only.
#include "app/compare_dialog.h"
#include "app/form5_dialog.h"
#include "busops/commissioning.h"
#include "config/demo.h"
#include "config/dump.h"
#include "iface/boardsim.h"
#include "monitor/form6_window.h"
#include "support/fixture.h"
#include "window_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace meridan;
using namespace meridan::test;

namespace {

struct SimWindow : WindowBench<QtPump> {
    BoardSim sim;

    ~SimWindow()
    {
        ui.window = nullptr;
        w.reset();
        conn.CloseForExit(false);
    }
    // The demo boards and the demo configuration, then the program's start.
    bool start(const QStringList &simArgs = {})
    {
        if (!sim.start(root.dir(), simArgs))
            return false;
        if (!WriteDemoConfiguration(ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")))) {
            sim.error = QStringLiteral("no demo configuration");
            return false;
        }
        makeWindow();
        w->Form_Load();
        w->resize(900, 700);
        w->show();
        w->Form_Activate();
        return true;
    }
    // The mark of the i-th row from the top: a filled one for a station in
    // data exchange, a hollow one for a configured station that is not.
    QFrame *line(int i) const { return child<QFrame>(QStringLiteral("Line%1").arg(i + 3)); }
    bool mark(int i) const { return line(i)->isVisible() && line(i)->autoFillBackground(); }
    bool idleMark(int i) const { return line(i)->isVisible() && !line(i)->autoFillBackground(); }

    // A TCP/IP item: Form5 comes up, `target` goes into Combo1, Enter confirms.
    void chooseTarget(const char *item, const QString &target)
    {
        QTimer::singleShot(0, [target] {
            auto *form5 = qobject_cast<Form5Dialog *>(QApplication::activeModalWidget());
            ASSERT_NE(form5, nullptr);
            auto *combo = form5->findChild<QComboBox *>(QStringLiteral("Combo1"));
            ASSERT_EQ(combo->currentText(), QStringLiteral("OS9Target"));
            combo->setEditText(target);
            QTest::keyClick(combo, Qt::Key_Return);
        });
        trigger(item);
    }
    bool runToOperate()
    {
        click("F1_Run");
        const bool up = WaitFor([&] { return text("Betriebsart") == QLatin1String("Operate") && mark(2); });
        if (!up)
            ADD_FAILURE() << QStringList(ui.statuses.begin(), ui.statuses.end()).join(QStringLiteral(" | ")).toStdString() << sim.output().right(2000).toStdString();
        return up;
    }
};

#define START(f, ...)                                                                                                  \
    if (BoardSim::binary().isEmpty())                                                                                  \
        GTEST_SKIP() << "meridan-boardsim is not built";                                                               \
    ASSERT_TRUE((f).start(__VA_ARGS__)) << (f).sim.error.toStdString()

} // namespace

TEST(HardwareWindow, tesselThenRun_reachesOperateWithMarksAndStation40ShowsPrmFault)
{
    SimWindow f;
    START(f);
    f.trigger("Tessel");
    EXPECT_TRUE(f.conn.connected());
    EXPECT_TRUE(f.child<QAction>("Tessel")->isChecked());
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Tessel/DPX found DPM-Firmwareversion V5.3"));
    EXPECT_FALSE(f.child<QMenu>("EEPROM")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return f.text("HWtxt") == QLatin1String("Tessel/DPX"); }));

    ASSERT_TRUE(f.runToOperate()) << f.text("Melde1").toStdString();
    EXPECT_TRUE(f.child<QCheckBox>("Run")->isChecked());
    EXPECT_TRUE(f.child<QPushButton>("F1_Halt")->isEnabled());
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Message : E7->0"));
    // Rows 10..17 from the top: only 12 runs; it has no diagnosis.
    EXPECT_FALSE(f.mark(0));
    EXPECT_TRUE(f.mark(2));
    EXPECT_EQ(f.child<QFrame>("Line5")->palette().color(QPalette::Window), QColor(Qt::blue));
    EXPECT_TRUE(f.ui.shown.empty());

    // Station 40: the demo configuration holds the wrong ident.
    f.list()->scrollToItem(f.list()->item(30), QAbstractItemView::PositionAtTop);
    const QPoint row40 = f.list()->visualItemRect(f.list()->item(30)).center();
    QTest::mouseClick(f.list()->viewport(), Qt::RightButton, {}, row40);
    EXPECT_EQ(f.list()->currentRow(), 30);
    Form6Window *form6 = f.w->diagnosisWindow();
    ASSERT_NE(form6, nullptr);
    auto label = [&](const char *name) { return form6->findChild<QLabel *>(QString::fromLatin1(name)); };
    ASSERT_TRUE(WaitFor([&] { return label("Label3_0")->isEnabled(); })) << f.text("Melde1").toStdString();
    EXPECT_EQ(label("Label3_0")->text(), QStringLiteral("Prm Fault"));
    EXPECT_EQ(form6->windowTitle(), QStringLiteral("Station 40 Diagnosis"));
    EXPECT_EQ(label("TMasterAdr")->text(), QStringLiteral("255"));
    EXPECT_EQ(label("TidentNr")->text(), QStringLiteral("4225"));
    EXPECT_FALSE(label("Label8_0")->isEnabled());
    // Below the bits, why: the ident and the demo's device file that fits it.
    const QStringList why = label("TExplain")->text().split('\n');
    ASSERT_EQ(why.size(), 3);
    EXPECT_EQ(why[0], QStringLiteral("Prm Fault: station 40 answers with ident 4225, the configuration expects 4224."));
    EXPECT_EQ(why[1], QStringLiteral("The GSD catalogue knows ident 4225: Meridan Demo, Simulated input 4225, file SIM4225.gsd."));
    // 40 takes no part in the data exchange: the hollow mark beside the top row.
    EXPECT_TRUE(WaitFor([&] { return f.idleMark(0); }));
    EXPECT_FALSE(f.mark(0));
}

TEST(HardwareWindow, networkItemWithAnEmptyTarget_connectsToOS9Target)
{
    SimWindow f;
    START(f);
    f.chooseTarget("RavelinTCP", QString());
    ASSERT_TRUE(f.conn.connected()) << f.text("Melde1").toStdString();
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Ravelin/Ketch/Dromon on TCP/IP DPM-firmware V5.3"));
    ASSERT_TRUE(WaitFor([&] { return f.text("HWtxt") == QLatin1String("TCP/IP"); }));

    // Closing Form5 without confirming connects nothing.
    QTimer::singleShot(0, [] {
        if (QWidget *form5 = QApplication::activeModalWidget())
            form5->close();
    });
    f.trigger("KetchTCP");
    EXPECT_TRUE(f.child<QAction>("RavelinTCP")->isChecked());
    EXPECT_TRUE(f.conn.connected());
}

// The board dies while Run waits for it; a dead serial line and the
// fallback itself are the end-to-end and status-tick tests'.
TEST(HardwareWindow, networkBoardKilledDuringRun_reportsTheTimeoutAndFallsBackToNoHardware)
{
    SimWindow f;
    START(f);
    f.chooseTarget("KetchTCP", QStringLiteral("Ketch"));
    ASSERT_TRUE(f.conn.connected()) << f.text("Melde1").toStdString();
    f.click("F1_Run");
    ASSERT_EQ(f.text("Melde1"), QStringLiteral("init"));
    f.sim.kill();
    ASSERT_TRUE(WaitFor([&] { return !f.conn.connected(); }, 20000)) << f.text("Melde1").toStdString();
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Communicationtimeout from TCP Port"));
    ASSERT_TRUE(WaitFor([&] { return f.text("HWtxt") == QLatin1String("no Hardware"); }));
    EXPECT_FALSE(f.child<QCheckBox>("Run")->isChecked());
    // The window still answers: the Hardware menu works again.
    EXPECT_TRUE(f.child<QMenu>("HWmen")->isEnabled());
    f.trigger("Tessel");
    EXPECT_EQ(f.ui.busyDepth, 0);
}

// EEPROM → Burn, then File → New and EEPROM → Read: the configuration comes
// back on every connection that stores one.
TEST(HardwareWindow, eepromBurnThenRead_bringsTheConfigurationBackOnEveryWay)
{
    SimWindow f;
    START(f, {QStringLiteral("--no-pace")});
    const QJsonObject demo = DumpConfig(f.st.image);
    // Item, Form5's target, whether the master burns what it runs (Run first).
    const std::tuple<const char *, const char *, bool> ways[] = {
        {"RavelinCom1", nullptr, false}, {"CorvetDPR", nullptr, true},  {"DromonCom2", nullptr, true},
        {"RavelinTCP", "OS9Target", false}, {"KetchTCP", "Ketch", false},
    };
    for (const auto &[item, target, runFirst] : ways) {
        SCOPED_TRACE(item);
        if (target)
            f.chooseTarget(item, QString::fromLatin1(target));
        else
            f.trigger(item);
        ASSERT_TRUE(f.conn.connected() && f.child<QMenu>("EEPROM")->isEnabled());
        // Erase comes with a serial Ravelin; a network or DP-RAM item takes it away.
        EXPECT_EQ(f.child<QAction>("EE_Erase")->isEnabled(), item == QByteArray("RavelinCom1"));
        if (runFirst) {
            ASSERT_TRUE(f.runToOperate());
        }
        f.trigger("Burn");
        EXPECT_EQ(f.text("Melde1"), QStringLiteral("Programming O.K"));
        f.trigger("Neufile");
        f.trigger("Upload");
        EXPECT_EQ(f.text("Melde1"), target ? QStringLiteral("Loaded local configurationfile") : QStringLiteral(" 4 Slave records loaded"));
        EXPECT_EQ(DumpConfig(f.st.image), demo);
        EXPECT_EQ(f.list()->item(2)->text(), f.st.listLines[11]);
    }
    EXPECT_EQ(f.ui.busyDepth, 0);
}

// File → Compare with board: equal after a run, a change in memory named,
// and neither the board nor the configuration in memory changed.
TEST(HardwareWindow, compareWithBoard_isEqualAfterRun_andNamesAChangeInMemory)
{
    SimWindow f;
    START(f, {QStringLiteral("--no-pace")});
    EXPECT_FALSE(f.child<QAction>("CompareBoard")->isEnabled()); // no board
    f.trigger("Tessel");
    EXPECT_FALSE(f.child<QAction>("CompareBoard")->isEnabled()); // keeps no configuration
    f.trigger("CorvetDPR");
    ASSERT_TRUE(f.runToOperate());
    ASSERT_TRUE(f.child<QAction>("CompareBoard")->isEnabled());
    const auto compare = [&] {
        f.trigger("CompareBoard");
        CompareDialog *d = f.w->compareDialog();
        EXPECT_TRUE(d && d->isVisible());
        QStringList lines{d->findChild<QLabel *>("CompareSummary")->text()};
        const QListWidget *list = d->findChild<QListWidget *>("CompareList");
        for (int i = 0; list->isVisibleTo(d) && i < list->count(); ++i)
            lines << list->item(i)->text();
        d->findChild<QPushButton *>("CompareOk")->click();
        return lines;
    };
    EXPECT_EQ(compare(), QStringList{"The board holds the configuration in memory."});
    f.st.image.at(12, 27) = 40; // station 12's watchdog from 1000 to 2000 ms
    const auto before = std::make_unique<ConfigImage>(f.st.image);
    const int refreshes = f.ui.listRefreshes;
    EXPECT_EQ(compare(), QStringList({"What differs from the configuration in memory to the board's:", "station 12: watchdog 2000 ms → 1000 ms"}));
    for (int s = 0; s < kSlots; ++s)
        EXPECT_EQ(f.st.image.slot(s), before->slot(s)) << s;
    EXPECT_EQ(f.ui.listRefreshes, refreshes);
    EXPECT_EQ(f.text("Melde1"), QStringLiteral("Read from the board: 4 slave records; the configuration in memory is unchanged"));
    EXPECT_EQ(f.sim.state("Corvet")["mode"].toString(), QStringLiteral("Operate"));
    EXPECT_TRUE(f.ui.shown.empty());
}
