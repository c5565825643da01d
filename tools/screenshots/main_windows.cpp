// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-screenshots OUTDIR: renders the program's windows headless into PNG
// files, each with a configuration loaded the way a user would load it.
#include "app/about_dialog.h"
#include "app/compare_dialog.h"
#include "app/form5_dialog.h"
#include "app/help.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "boardsim.h"
#include "busops/commissioning.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "monitor/form6_window.h"
#include "demo_config.h"
#include "io/io_window.h"
#include "master/form3_window.h"
#include "report/print_dialog.h"

#include "demo_desktop.h"
#include "shots.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

using namespace meridan;

namespace {

using shots::Grab;

// The start-up configuration of the pictures: a master at 1.5 Mbit/s and
// three slaves.
void WriteDemoConfig(const Root &root)
{
    State st;
    CliPrompts prompts;
    prompts.quiet = true;
    VirtualPump pump;
    Context ctx{st, prompts, pump, root};
    test::PutDemoMaster(st, 6);
    test::PutDemoSlave(st, 12, 0x00A5, "0815", "Pump station 1");
    test::PutDemoSlave(st, 15, 0x1234, "IO16", "Valve terminal");
    test::PutDemoSlave(st, 23, 0x0C0D, "DRV3", "Conveyor drive");
    SaveConfigFile(ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")));
}

template <typename Pred>
bool WaitFor(Pred done, int ms = 15000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The I/O test of the demo's loop-back station 50 with an output byte and an
// output word forced and read back at its inputs, and of station 20 with its
// walking bit, twice a few reads apart.
bool GrabIoTest(MainWindow &w, const QString &out)
{
    bool ok = true;
    w.OpenIoTest(50);
    IoWindow *io = w.ioWindow();
    if (!io || !WaitFor([&] { return io->findChild<QCheckBox *>(QStringLiteral("IX2.0"))->isEnabled(); })) {
        std::printf("FAILED io_station50: no read\n");
        return false;
    }
    io->move(w.geometry().topRight());
    // "Outputs drive the machine": yes.
    QTimer::singleShot(300, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            for (QAbstractButton *b : box->buttons())
                if (box->buttonRole(b) == QMessageBox::YesRole)
                    b->click();
    });
    for (const char *bit : {"QX1.0", "QX1.3", "QX1.5"})
        QTest::mouseClick(io->findChild<QCheckBox *>(QString::fromLatin1(bit)), Qt::LeftButton);
    auto *word = io->findChild<QLineEdit *>(QStringLiteral("QW3.0"));
    word->setFocus();
    word->selectAll();
    QTest::keyClicks(word, QStringLiteral("0x1F4"));
    QTest::keyClick(word, Qt::Key_Return);
    const bool back = WaitFor([&] {
        auto *in = io->findChild<QLabel *>(QStringLiteral("IW3.0"));
        return io->findChild<QCheckBox *>(QStringLiteral("IX2.5"))->isChecked() && in && in->text().endsWith(QLatin1String(" 500"));
    });
    if (!back)
        std::printf("FAILED io_station50_forced: the forced outputs did not come back at the inputs\n");
    ok = back && Grab(io, out, QStringLiteral("io_station50_forced")) && ok;

    w.OpenIoTest(20);
    io = w.ioWindow();
    if (!io || !WaitFor([&] { return io->findChild<QCheckBox *>(QStringLiteral("IX1.0"))->isEnabled(); })) {
        std::printf("FAILED io_station20_walking: no read\n");
        return false;
    }
    io->move(w.geometry().topRight());
    const auto lit = [&] {
        for (QCheckBox *b : io->findChildren<QCheckBox *>())
            if (b->isChecked())
                return b->objectName();
        return QString();
    };
    WaitFor([&] { return !lit().isEmpty(); });
    const QString first = lit();
    ok = Grab(io, out, QStringLiteral("io_station20_walking_1")) && ok;
    const bool walked = WaitFor([&] { return !lit().isEmpty() && lit() != first; });
    if (!walked)
        std::printf("FAILED io_station20_walking_2: the bit did not walk from %s\n", qPrintable(first));
    ok = walked && Grab(io, out, QStringLiteral("io_station20_walking_2")) && ok;
    io->close();
    return ok;
}

// The main window on the simulated demo boards: three kinds of board in
// Operate with their station marks, and the diagnosis of the demo station
// with the wrong ident.
bool GrabBoards(const QString &out)
{
    shots::DemoDesktop d;
    bool skipped = false;
    if (!d.start("board pictures", skipped))
        return skipped;
    State &st = d.st;
    bool ok = true;
    {
        MainWindow w(d.ctx, d.comm);
        d.show(w);
        auto *list = w.findChild<QListWidget *>(QStringLiteral("List1"));
        auto *mode = w.findChild<QLineEdit *>(QStringLiteral("Betriebsart"));
        auto trigger = [&](const char *item) { w.findChild<QAction *>(QString::fromLatin1(item))->trigger(); };
        // Run, then the list scrolled so that `top` (a running station) is
        // the first row and its mark is painted. The line is selected only
        // once the bus runs: the download walks the stations from the
        // current one.
        auto runToOperate = [&](const char *name, int top) {
            QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("F1_Run")), Qt::LeftButton);
            list->scrollToItem(list->item(top - kListFirst), QAbstractItemView::PositionAtTop);
            const bool up = WaitFor([&] { return mode->text() == QLatin1String("Operate"); }) &&
                            WaitFor([&] { return w.findChild<QFrame *>(QStringLiteral("Line3"))->isVisible(); });
            if (!up)
                std::printf("FAILED %s: no Operate (%s)\n", name, qPrintable(st.melde1));
            list->setCurrentRow(top - kListFirst);
            WaitFor([] { return false; }, 500); // the diagnosis line comes in
            return up && Grab(&w, out, QString::fromLatin1(name));
        };

        trigger("Tessel");
        ok = runToOperate("main_tessel_operate", 12) && ok;

        // Station 40 asked for its diagnosis with a right click.
        list->scrollToItem(list->item(26), QAbstractItemView::PositionAtTop);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->visualItemRect(list->item(30)).center());
        if (QMenu *menu = w.stationMenu()) {
            ok = Grab(menu, out, QStringLiteral("main_station_menu")) && ok;
            menu->findChild<QAction *>(QStringLiteral("StationDiagnosis"))->trigger();
            menu->hide();
        }
        Form6Window *form6 = w.diagnosisWindow();
        if (form6 && WaitFor([&] { return form6->findChild<QLabel *>(QStringLiteral("Label3_0"))->isEnabled(); })) {
            form6->move(w.geometry().topRight());
            ok = Grab(form6, out, QStringLiteral("form6_station40")) && ok;
            form6->close();
        } else {
            std::printf("FAILED form6_station40: %s\n", qPrintable(st.melde1));
            ok = false;
        }
        list->scrollToItem(list->item(0), QAbstractItemView::PositionAtTop);

        ok = GrabIoTest(w, out) && ok;

        // The window as large as a desktop gives it: every running station
        // of the demo (12, 20 and 30) has its filled mark; 40, with its
        // parameter fault, takes no part in the data exchange: its mark is hollow.
        w.resize(1280, 1000);
        const auto mark = [&](int station) { return w.findChild<QFrame *>(QStringLiteral("Line%1").arg(station - kListFirst + 3)); };
        const auto running = [&](int station) { return mark(station)->isVisible() && mark(station)->autoFillBackground(); };
        const bool marked = WaitFor([&] {
            return running(12) && running(20) && running(30) && mark(40)->isVisible() && !mark(40)->autoFillBackground();
        });
        if (!marked)
            std::printf("FAILED main_tessel_operate_maximised: not every station has its mark\n");
        ok = marked && Grab(&w, out, QStringLiteral("main_tessel_operate_maximised")) && ok;
        w.resize(900, 620);

        trigger("DromonCom2");
        ok = runToOperate("main_dromon_com2_operate", 20) && ok;
        // EEPROM -> Burn, File -> New, EEPROM -> Read: the configuration is back.
        trigger("Burn");
        trigger("Neufile");
        trigger("Upload");
        ok = Grab(&w, out, QStringLiteral("main_dromon_com2_eeprom_read")) && ok;

        // File -> Compare with board: the configuration in memory, changed in
        // three places, against the one the Dromon runs.
        st.image.at(0, 26) = 3;                       // max retry limit 1 -> 3
        st.image.at(12, 27) = 40;                     // watchdog 1000 -> 2000 ms
        for (int i = 0; i < 2; ++i)
            st.image.at(30, 45 + 5 + 13 + i) = " 2"[i]; // "Dummy compact" -> "Dummy compact 2"
        trigger("CompareBoard");
        if (auto *compare = w.compareDialog()) {
            ok = Grab(compare, out, QStringLiteral("compare_with_board")) && ok;
            compare->close();
        } else {
            std::printf("FAILED compare_with_board: %s\n", qPrintable(st.melde1));
            ok = false;
        }

        QTimer::singleShot(0, [] {
            if (auto *form5 = qobject_cast<Form5Dialog *>(QApplication::activeModalWidget())) {
                auto *combo = form5->findChild<QComboBox *>(QStringLiteral("Combo1"));
                combo->setEditText(QStringLiteral("Ketch"));
                QTest::keyClick(combo, Qt::Key_Return);
            }
        });
        trigger("KetchTCP");
        ok = runToOperate("main_ketch_tcp_operate", 30) && ok;
        d.conn.CloseForExit(false);
    }
    return ok;
}

// File -> Print: the preview of the demo configuration, its master page and
// the page of station 12, whose device file is in the GSD folder.
bool GrabPrintPreview(const Root &root, const QString &out)
{
    QFile gsd(root.gsdDir() + QStringLiteral("/EASY4711.GSD"));
    if (gsd.open(QIODevice::WriteOnly))
        gsd.write("Vendor_Name = \"Easy Automation\"\nModel_Name = \"EASY DIO16\"\nIdent_Number = 0x4711\n");
    gsd.close();
    State st;
    CliPrompts prompts;
    VirtualPump pump;
    Context ctx{st, prompts, pump, root};
    BuildDemoConfiguration(ctx);
    st.language = kEnglish;
    st.configFileName = root.path(QStringLiteral("setup/AutoLoad.dp1"));
    PrintPreview preview(BuildPrintout(ctx, QDateTime::currentDateTime()));
    preview.dialog().resize(760, 900);
    bool ok = Grab(&preview.dialog(), out, QStringLiteral("print_preview_master"));
    for (QAction *a : preview.dialog().findChildren<QAction *>()) {
        if (a->text() == QLatin1String("Next page"))
            a->trigger(); // as a click would, so the page number follows
    }
    return Grab(&preview.dialog(), out, QStringLiteral("print_preview_slave")) && ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = shots::OutDir(argc, argv, "meridan-screenshots");
    if (out.isEmpty())
        return 2;

    QTemporaryDir tmp;
    const Root root(tmp.path());
    root.ensureLayout();
    InstallHelp(root);
    WriteDemoConfig(root);

    State st;
    QtPrompts prompts;
    prompts.language = &st.language;
    QtPump pump;
    Context ctx{st, prompts, pump, root};
    Panel panel;
    Connection conn(ctx, panel);
    Commissioning comm(ctx, conn);
    MainWindow w(ctx, comm);
    prompts.setParent(&w);
    prompts.onStatus = [&w](const QString &) { w.ShowStatus(); };
    prompts.onList = [&w] { w.UpdateListe(); };
    w.Form_Load();
    w.resize(900, 620);
    w.show();
    w.findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(2);

    bool ok = Grab(&w, out, QStringLiteral("main_de"));
    w.sp_englisch_Click();
    w.findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(5);
    ok = Grab(&w, out, QStringLiteral("main_en")) && ok;

    // A changed configuration and File -> New: the question before it is
    // given up (answered Cancel), in both languages.
    w.findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(2);
    w.Clear_Click();
    std::printf("title: %s\n", qPrintable(w.windowTitle()));
    for (const char *name : {"question_save_changes_en", "question_save_changes_de"}) {
        QTimer::singleShot(0, [&ok, &out, name] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ok = Grab(box, out, QString::fromLatin1(name)) && ok;
                box->button(QMessageBox::Cancel)->click();
            }
        });
        w.Neufile_Click();
        w.sp_deutsch_Click();
    }
    w.sp_englisch_Click();

    w.F1_Master_Click();
    Form3Window *form3 = w.masterEditor();
    QTest::mouseClick(form3->findChild<QCheckBox *>(QStringLiteral("ms")), Qt::LeftButton);
    ok = Grab(form3, out, QStringLiteral("master_ms_en")) && ok;
    form3->close();

    w.Hilfe_Click();
    if (HelpWindow *help = w.helpWindow())
        ok = Grab(help, out, QStringLiteral("help_en")) && ok;

    AboutDialog about(w.Caption(), false, &w);
    ok = Grab(&about, out, QStringLiteral("about_en")) && ok;
    about.close();
    ok = GrabPrintPreview(root, out) && ok;
    w.hide();
    ok = GrabBoards(out) && ok;
    ok = shots::GrabEventLog(out) && ok;
    return ok ? 0 : 1;
}
