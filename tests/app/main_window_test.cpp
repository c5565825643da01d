// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "config/configfile.h"
#include "demo_config.h"
#include "busops/commissioning.h"
#include "fake_link.h"
#include "master/form3_window.h"
#include "monitor/form6_window.h"
#include "support/fixture.h"
#include "window_support.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <span>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Board {
    FakeBoard board;
};

struct WindowFixture : Board, WindowBench<VirtualPump> {
    explicit WindowFixture(bool english = true) : WindowBench(board.opener(), english) { makeWindow(); }
    void start(const QString &arg = {})
    {
        w->Form_Load(arg);
        w->Form_Activate();
    }
    QString melde1() const { return text("Melde1"); }
    // A scripted board behind the Hardware item `item`.
    void plug(const char *item)
    {
        conn.ConnectItem(*iface::ParseHwName(QString::fromLatin1(item)));
        panel.timerEnabled = false;
    }
    // Puts a configuration into `path` (ROOT/setup/AutoLoad.dp1 by default).
    void writeAutoload(std::initializer_list<int> stations, QString path = {}) const
    {
        Fixture w;
        PutDemoMaster(w.st, 6);
        for (int s : stations)
            PutDemoSlave(w.st, s, uint16_t(s == 12 ? 0x00A5 : 0x1234), "GSDC", "demo");
        if (path.isEmpty())
            path = root.path(QStringLiteral("setup/AutoLoad.dp1"));
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_TRUE(SaveConfigFile(w.ctx, path));
    }
};

// The window as the program shows it once started.
struct Started : WindowFixture {
    explicit Started(bool english = true) : WindowFixture(english) { start(); }
};

// The ways to give a configuration up: File -> New and Load, and the three ways out.
struct Way {
    const char *name;
    std::function<void(WindowFixture &)> act;
};
const Way kGiveUp[] = {
    {"Neufile", [](WindowFixture &f) { f.trigger("Neufile"); }},
    {"Laden", [](WindowFixture &f) { f.trigger("Laden"); }},
    {"File_Exit", [](WindowFixture &f) { f.trigger("File_Exit"); }},
    {"Exitbutton", [](WindowFixture &f) { f.click("Exitbutton"); }},
    {"close box", [](WindowFixture &f) { f.w->close(); }},
};

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

} // namespace

TEST(MainWindow, firstStartWithoutSettingsIsGerman_chooseEnglishSwitchesAtOnceAndIsStored)
{
    Started f(false);
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Konfigurator V5.1.0 - (unbenannt)"));
    EXPECT_EQ(Plain(f.child<QAction>("RavelinCom2")->text()), QStringLiteral("Ravelin an COM2"));
    EXPECT_EQ(f.text("HWtxt"), QStringLiteral("ohne Hardware"));
    f.trigger("sp_englisch");
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - (untitled)"));
    EXPECT_EQ(f.child<QPushButton>("Clear")->toolTip(), QStringLiteral("Clear selected slave"));
    EXPECT_EQ(f.child<QLabel>("Label2")->text(), QStringLiteral("Value:"));
    EXPECT_EQ(Plain(f.child<QAction>("DromonCom1")->text()), QStringLiteral("Dromon on COM1"));
    EXPECT_EQ(f.melde1(), QString()); // the message line is emptied
    EXPECT_TRUE(QFile::exists(f.root.settingsFile()));
}

TEST(MainWindow, noHardware_clearsTheInterfaceState)
{
    Started f;
    f.plug("dromon:com2");
    f.trigger("noHW");
    EXPECT_EQ(f.board.closes, std::vector<int>{1}); // a serial monitor is told the host is gone
    EXPECT_FALSE(f.conn.connected());
    EXPECT_EQ(f.text("HWtxt"), QStringLiteral("no Hardware"));
    EXPECT_EQ(f.melde1(), QString());
}

TEST(MainWindow, startup_lists90StationsFrom10AndSelectsTheFirstOrSaysThereIsNoFile)
{
    WindowFixture f;
    f.writeAutoload({12, 40});
    f.start();
    ASSERT_EQ(f.list()->count(), 90);
    EXPECT_EQ(f.list()->item(0)->text(), QStringLiteral(" 10. "));
    EXPECT_EQ(f.list()->item(89)->text(), QStringLiteral(" 99. "));
    EXPECT_EQ(f.list()->item(2)->text(), QStringLiteral(" 12. GSDC00A5: demo                "));
    EXPECT_TRUE(f.list()->item(30)->text().startsWith(QStringLiteral(" 40. GSDC1234: ")));
    EXPECT_EQ(f.list()->currentRow(), 0);
    EXPECT_EQ(f.melde1(), QStringLiteral("Slave  10 selected"));

    Started none; // the message outlives the list's own selection
    EXPECT_EQ(none.melde1(), QStringLiteral("No Autoload-File found"));
}

// What a double click on a .dp1 in the file manager does: meridan FILE.dp1.
TEST(MainWindow, startedWithAConfigFile_listsItAndStoresBackToIt)
{
    WindowFixture f;
    f.writeAutoload({33});
    const QString file = f.tmp.filePath(QStringLiteral("plant/Line 2.dp1"));
    f.writeAutoload({12}, file);
    f.start(file);
    EXPECT_TRUE(f.list()->item(2)->text().startsWith(QStringLiteral(" 12. GSDC")));
    EXPECT_EQ(f.list()->item(23)->text(), QStringLiteral(" 33. ")); // the start-up file stayed unread
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - Line 2.dp1"));
    f.trigger("Save"); // cancelled in the dialog
    ASSERT_EQ(f.ui.dialogs.size(), 1u);
    EXPECT_EQ(f.ui.dialogs[0].fileName, file);
    EXPECT_TRUE(f.ui.shown.empty());
}

TEST(MainWindow, selectingLines_tellsTheStationAndRemembersIt)
{
    Started f;
    f.list()->setCurrentRow(5);
    EXPECT_EQ(f.melde1(), QStringLiteral("Slave  15 selected"));
    EXPECT_EQ(f.st.currentStation, 15);
    // Coming back to the window selects the same line again, with its click.
    f.ctx.status(QStringLiteral("other"));
    f.w->Form_Activate();
    EXPECT_EQ(f.list()->currentRow(), 5);
    EXPECT_EQ(f.melde1(), QStringLiteral("Slave  15 selected"));
}

TEST(MainWindow, doubleClickWithoutSelection_opensStation9ThenReselects)
{
    Started f;
    std::vector<int> opened;
    f.w->openSlaveEditor = [&](int station) {
        opened.push_back(station);
        EXPECT_EQ(f.st.currentStation, station);
    };
    f.list()->setCurrentRow(-1);
    f.w->List1_DblClick();
    f.list()->setCurrentRow(7);
    f.click("F1_Slave");
    EXPECT_EQ(opened, (std::vector<int>{9, 17}));
    EXPECT_EQ(f.st.listPosition, 7);
    EXPECT_EQ(f.melde1(), QStringLiteral("Slave  17 selected")); // activation after the editor closed
}

TEST(MainWindow, keyboard_startsOnTheListWhereEnterOpensTheEditorAndTheCommandsHaveMnemonics)
{
    Started f;
    f.w->show();
    EXPECT_EQ(f.w->focusWidget(), f.list());
    std::vector<int> opened;
    f.w->openSlaveEditor = [&](int station) { opened.push_back(station); };
    f.list()->setCurrentRow(2);
    QTest::keyClick(f.list(), Qt::Key_Return);
    EXPECT_EQ(opened, std::vector<int>{12});
    QString shown;
    for (const char *name : {"F1_Master", "F1_Slave", "Clear", "F1_Run", "F1_Halt", "Exitbutton"})
        shown += f.child<QPushButton>(name)->text() + "|";
    for (const char *name : {"noHW", "Tessel", "RavelinCom1", "RavelinCom2", "RavelinTCP", "VMESLOT3", "VMESLOTB"})
        shown += f.child<QAction>(name)->text() + "|";
    for (const char *name : {"Burn", "Upload", "EEStart", "EEStop", "EE_Erase"})
        shown += f.child<QAction>(name)->text() + "|";
    EXPECT_EQ(shown, "&Master|&Slave|&Clear Slave|&Run|Stop/&Go|E&xit|no &Hardware|&Tessel/DPX|Ravelin on &COM1|"
                     "Ravelin on C&OM2|&TCP/IP|Slot &3|&Slot 11|&Burn|&Read|&Start|S&top|&Erase|");
}

TEST(MainWindow, clearSlave_emptiesTheSelectedLineAndKeepsTheSelection)
{
    WindowFixture f;
    f.writeAutoload({12});
    f.start();
    f.list()->setCurrentRow(2);
    f.click("Clear");
    EXPECT_FALSE(f.st.image.hasSlave(12));
    EXPECT_EQ(f.list()->item(2)->text(), QStringLiteral(" 12. "));
    EXPECT_EQ(f.list()->currentRow(), 2);
    EXPECT_TRUE(f.ui.shown.empty());
}

TEST(MainWindow, newLoadAndStore_goThroughTheFileDialog)
{
    WindowFixture f;
    f.writeAutoload({12, 15, 40});
    f.start();
    f.trigger("Neufile");
    EXPECT_FALSE(f.st.image.hasMaster());
    EXPECT_EQ(f.list()->item(2)->text(), QStringLiteral(" 12. "));

    f.ui.files.push_back(f.root.path(QStringLiteral("setup/AutoLoad.dp1")));
    f.trigger("Laden");
    ASSERT_EQ(f.ui.dialogs.size(), 1u);
    const FileDialogSpec &spec = f.ui.dialogs[0];
    EXPECT_EQ(spec.title, QStringLiteral("Profibus Setup"));
    EXPECT_EQ(spec.filter, QStringLiteral("Configdata (*.dp1)|*.dp1|all (*.*)|*.*"));
    EXPECT_EQ(spec.defaultSuffix, QStringLiteral("dp1"));
    EXPECT_EQ(spec.initialDir, f.root.setupDir());
    EXPECT_EQ(f.melde1(), QStringLiteral(" 3 Slave records loaded")); // after the list's own selection
    EXPECT_TRUE(f.list()->item(5)->text().startsWith(QStringLiteral(" 15. GSDC")));

    const QString stored = f.tmp.filePath(QStringLiteral("copy.dp1"));
    f.ui.files.push_back(stored);
    f.trigger("Save");
    EXPECT_EQ(f.st.configFileName, stored);
    EXPECT_EQ(f.melde1(), QStringLiteral(" 3 Slave records writen: ") + QDir::toNativeSeparators(stored));
    EXPECT_TRUE(QFile::exists(stored));

    f.trigger("Save"); // cancelled: nothing happens
    EXPECT_EQ(f.st.configFileName, stored);
    EXPECT_EQ(f.melde1(), QStringLiteral(" 3 Slave records writen: ") + QDir::toNativeSeparators(stored));
}

TEST(MainWindow, masterButtonAndMasterDoubleClick_showOneNonModalEditor)
{
    Started f;
    f.click("F1_Master");
    Form3Window *first = f.w->masterEditor();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    first->hide();
    QTest::mouseDClick(f.child<QLineEdit>("Maste"), Qt::LeftButton);
    EXPECT_EQ(f.w->masterEditor(), first);
    EXPECT_TRUE(first->isVisible());
}

TEST(MainWindow, exitButtonFileExitAndCloseBox_endTheProgram)
{
    for (const Way &way : std::span(kGiveUp).subspan(2)) {
        Started f;
        f.plug("dromon:com2");
        int ends = 0;
        f.w->endProgram = [&] { ++ends; };
        way.act(f);
        EXPECT_EQ(f.board.closes, std::vector<int>{way.name == std::string("Exitbutton")}) << way.name;
        EXPECT_FALSE(f.conn.connected()) << way.name;
        EXPECT_EQ(ends, 1) << way.name;
        EXPECT_TRUE(f.ui.shown.empty()) << way.name; // no question about unsaved changes
    }
}

TEST(MainWindow, help_showsThePagesOfTheLanguageAndReinstallsMissingOnes)
{
    Started f(false);
    f.trigger("Hilfe"); // nothing installed yet in this root: the pages are put in place
    ASSERT_NE(f.w->helpWindow(), nullptr);
    EXPECT_EQ(f.w->helpWindow()->currentPage(), f.root.helpDir() + QStringLiteral("/de/index.html"));
    // The open window follows a change of language, on the page it shows.
    f.w->helpWindow()->findChild<QTextBrowser *>(QStringLiteral("HelpBrowser"))
        ->setSource(QUrl::fromLocalFile(f.root.helpDir() + QStringLiteral("/de/master.html")));
    f.trigger("sp_englisch");
    EXPECT_EQ(f.w->helpWindow()->currentPage(), f.root.helpDir() + QStringLiteral("/en/master.html"));
    EXPECT_EQ(f.w->helpWindow()->findChild<QPushButton *>(QStringLiteral("HelpHome"))->text(), "Contents");
    // Back and Contents stay in the language now chosen.
    QTest::mouseClick(f.w->helpWindow()->findChild<QPushButton *>(QStringLiteral("HelpBack")), Qt::LeftButton);
    EXPECT_EQ(f.w->helpWindow()->currentPage(), f.root.helpDir() + QStringLiteral("/en/index.html"));
    EXPECT_FALSE(f.w->helpWindow()->findChild<QPushButton *>(QStringLiteral("HelpBack"))->isEnabled());
    f.w->helpWindow()->findChild<QTextBrowser *>(QStringLiteral("HelpBrowser"))
        ->setSource(QUrl::fromLocalFile(f.root.helpDir() + QStringLiteral("/en/slave.html")));
    QTest::mouseClick(f.w->helpWindow()->findChild<QPushButton *>(QStringLiteral("HelpHome")), Qt::LeftButton);
    EXPECT_EQ(f.w->helpWindow()->currentPage(), f.root.helpDir() + QStringLiteral("/en/index.html"));
    f.trigger("Hilfe");
    EXPECT_EQ(f.w->helpWindow()->currentPage(), f.root.helpDir() + QStringLiteral("/en/index.html"));
    EXPECT_TRUE(f.ui.shown.empty());
}

TEST(MainWindow, info_showsCaptionAndVersion)
{
    Started f;
    QString caption, licence;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("AboutCaption")))
            caption = label->text();
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("AboutLicence")))
            licence = label->text();
        box->close();
    });
    f.trigger("Info");
    EXPECT_EQ(caption, QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0"));
    EXPECT_TRUE(licence.contains(QStringLiteral("License GPLv3+: GNU GPL version 3 or later"))) << licence.toStdString();
}

TEST(MainWindow, comingBackFromTheMasterEditor_activatesTheMainWindow)
{
    Started f;
    f.w->show();
    f.list()->setCurrentRow(4);
    f.click("F1_Master");
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == f.w->masterEditor(); }));
    f.ctx.status(QStringLiteral("other"));
    f.w->ShowStatus();
    f.w->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == f.w.get(); }));
    EXPECT_EQ(f.melde1(), QStringLiteral("Slave  14 selected"));

    // Coming back from a message box (or another program) reselects nothing.
    f.ctx.status(QStringLiteral("kept"));
    f.w->ShowStatus();
    QTimer::singleShot(0, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    QMessageBox::information(f.w.get(), QStringLiteral("t"), QStringLiteral("m"));
    f.w->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == f.w.get(); }));
    EXPECT_EQ(f.melde1(), QStringLiteral("kept"));
}

// File -> New, Load, Exit and the close box give a changed configuration up
// only after "Save changes?": Cancel keeps it, Discard goes on, Save stores
// it first (and a store cancelled in its dialog keeps the work).
TEST(MainWindow, changedConfiguration_isGivenUpOnlyAfterSaveChanges)
{
    struct Answer {
        int button;
        bool storeDialogAnswered;
        bool goesOn;
    };
    const Answer answers[] = {{Cancel, false, false}, {Discard, false, true}, {Store, true, true}, {Store, false, false}};
    for (const Way &way : kGiveUp) {
        for (const Answer &answer : answers) {
            const std::string what = std::string(way.name) + " answered " + std::to_string(answer.button)
                + (answer.storeDialogAnswered ? " stored" : "");
            WindowFixture f;
            f.writeAutoload({12, 15});
            const QString other = f.tmp.filePath(QStringLiteral("other.dp1"));
            f.writeAutoload({33}, other);
            f.start();
            int ends = 0;
            f.w->endProgram = [&] { ++ends; };
            const QString title = f.w->windowTitle();
            EXPECT_EQ(title, QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - AutoLoad.dp1")) << what;
            f.list()->setCurrentRow(2);
            f.click("Clear"); // station 12 goes
            EXPECT_EQ(f.w->windowTitle(), title + QStringLiteral(" *")) << what;

            const QString stored = f.tmp.filePath(QStringLiteral("stored.dp1"));
            f.ui.answers.push_back(answer.button);
            if (answer.button == Store) // the store's dialog, answered or cancelled
                f.ui.files.push_back(answer.storeDialogAnswered ? std::optional<QString>(stored) : std::nullopt);
            f.ui.files.push_back(other); // for Load's own dialog
            way.act(f);

            ASSERT_EQ(f.ui.shown.size(), 1u) << what;
            EXPECT_EQ(f.ui.shown[0].text, QStringLiteral("Save changes?")) << what;
            EXPECT_EQ(f.ui.shown[0].buttons, Store | Discard | Cancel) << what;
            EXPECT_EQ(QFile::exists(stored), answer.storeDialogAnswered) << what;
            const bool wentOn = ends > 0 || f.st.image.hasSlave(33) || !f.st.image.hasMaster();
            EXPECT_EQ(wentOn, answer.goesOn) << what;
            if (!answer.goesOn) {
                EXPECT_TRUE(f.w->windowTitle().endsWith(QStringLiteral(" *"))) << what; // still changed
                EXPECT_TRUE(f.st.image.hasSlave(15)) << what;
            }
        }
    }
}

TEST(MainWindow, unchangedConfiguration_isGivenUpWithoutAQuestion_andTheTitleFollowsStoreAndLoad)
{
    WindowFixture f;
    f.writeAutoload({12});
    f.start();
    int ends = 0;
    f.w->endProgram = [&] { ++ends; };
    f.trigger("Neufile");
    EXPECT_FALSE(f.st.image.hasMaster());
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - (untitled)"));
    f.ui.files.push_back(f.root.path(QStringLiteral("setup/AutoLoad.dp1")));
    f.trigger("Laden");
    EXPECT_TRUE(f.st.image.hasSlave(12));
    f.trigger("File_Exit");
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(f.ui.shown.empty());

    // The master editor's OK changes the configuration: the title says so at once.
    f.click("F1_Master");
    Form3Window *form3 = f.w->masterEditor();
    auto *gap = form3->findChild<QLineEdit *>(QStringLiteral("F3_Gap"));
    gap->selectAll();
    QTest::keyClicks(gap, QStringLiteral("7"));
    QTest::keyClick(gap, Qt::Key_Return);
    EXPECT_FALSE(f.w->windowTitle().endsWith(QStringLiteral(" *"))); // not stored yet
    QTest::mouseClick(form3->findChild<QPushButton *>(QStringLiteral("Exit")), Qt::LeftButton);
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - AutoLoad.dp1 *"))
        << f.w->windowTitle().toStdString();
    // Stored under another name: no mark, the new name.
    f.ui.files.push_back(f.tmp.filePath(QStringLiteral("Line 4.dp1")));
    f.trigger("Save");
    EXPECT_EQ(f.w->windowTitle(), QStringLiteral("ZEL PROFIBUS-DP Configurator V5.1.0 - Line 4.dp1"));
    EXPECT_TRUE(f.ui.shown.empty());
}

// The master editor, the help and the diagnosis window open centred on the
// main window and wholly on its screen.
TEST(MainWindow, secondaryWindows_openOverTheMainWindowOnTheScreen)
{
    Started f;
    f.plug("tessel"); // the diagnosis window needs a board
    const QRect screen = f.w->screen()->availableGeometry();
    f.w->setGeometry(QRect(screen.topLeft() + QPoint(40, 30), QSize(screen.width() / 2, screen.height() * 2 / 3)));
    f.w->show();
    f.click("F1_Master");
    f.trigger("Hilfe");
    f.w->List1_MouseDown(Qt::RightButton, 2);
    const std::pair<const char *, QWidget *> windows[] = {
        {"master editor", f.w->masterEditor()}, {"help", f.w->helpWindow()}, {"diagnosis", f.w->diagnosisWindow()}};
    for (const auto &[name, window] : windows) {
        ASSERT_NE(window, nullptr) << name;
        EXPECT_EQ(window->parentWidget(), f.w.get()) << name;
        EXPECT_TRUE(window->isVisible()) << name;
        EXPECT_TRUE(screen.contains(window->frameGeometry())) << name;
        // Centred on the main window, as far as the screen's edges let it.
        QRect want(QPoint(), window->frameGeometry().size());
        want.moveCenter(f.w->frameGeometry().center());
        want.moveLeft(std::clamp(want.left(), screen.left(), screen.right() + 1 - want.width()));
        want.moveTop(std::clamp(want.top(), screen.top(), screen.bottom() + 1 - want.height()));
        const QPoint off = window->frameGeometry().topLeft() - want.topLeft();
        EXPECT_LE(off.manhattanLength(), 2) << name << " " << off.x() << "," << off.y();
    }
    // Each carries the program's icon.
    EXPECT_FALSE(f.w->windowIcon().isNull());
    EXPECT_FALSE(f.w->masterEditor()->windowIcon().isNull());
}

// Select Target offers every network target driver/zelpci.cfg names.
TEST(MainWindow, selectTarget_listsTheTargetsOfTheDriverConfiguration)
{
    WindowFixture f;
    ASSERT_TRUE(WriteFile(f.root.driverDir() + QStringLiteral("/zelpci.cfg"),
                          "[network]\nPress_Line=10.0.0.7:17301\nketch=127.0.0.1:17399\nos9target=127.0.0.1:17301\n"));
    f.start();
    QStringList offered;
    QTimer::singleShot(0, [&] {
        if (QWidget *form5 = QApplication::activeModalWidget()) {
            auto *combo = form5->findChild<QComboBox *>(QStringLiteral("Combo1"));
            for (int i = 0; combo && i < combo->count(); ++i)
                offered << combo->itemText(i);
            form5->close(); // cancelled: nothing connects
        }
    });
    f.trigger("KetchTCP");
    EXPECT_EQ(offered, (QStringList{"OS9Target", "Ketch", "Press_Line"}));
    EXPECT_FALSE(f.conn.connected());
}

// A message box about a field's entry: over the field's window, and the focus back in the field.
TEST(QtPrompts, aRefusedEntrysBoxBelongsToItsEditorAndGivesTheFocusBack)
{
    QWidget main;
    QtPrompts prompts(&main);
    auto *editor = new QWidget(&main, Qt::Window); // a non-modal editor over the main window
    auto *field = new QLineEdit(editor);
    (new QVBoxLayout(editor))->addWidget(field);
    new QLineEdit(editor);
    QObject::connect(field, &QLineEdit::editingFinished, [&] { prompts.message("wrong input", "range", Icon::None, Ok); });
    main.show();
    editor->show();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
    field->setFocus();
    QWidget *owner = nullptr;
    QTimer::singleShot(0, [&] {
        owner = QApplication::activeModalWidget()->parentWidget();
        QApplication::activeModalWidget()->close();
    });
    QTest::keyClicks(field, "abc");
    QTest::keyClick(field, Qt::Key_Tab); // leaving the field checks the entry
    EXPECT_EQ(owner, editor);
    EXPECT_EQ(editor->focusWidget(), field);
}
