// meridan-screenshots OUTDIR: renders the program's windows headless into PNG
// files, each with a configuration loaded the way a user would load it.
#include "app/about_dialog.h"
#include "app/help.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "config/configfile.h"
#include "demo_config.h"
#include "master/form3_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace meridan;

namespace {

bool Grab(QWidget *w, const QString &dir, const QString &name)
{
    w->show();
    QApplication::processEvents();
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: meridan-screenshots OUTDIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir tmp;
    const Root root(tmp.path());
    root.ensureLayout();
    InstallHelp(root);
    WriteDemoConfig(root);

    State st;
    QtPrompts prompts;
    QtPump pump;
    Context ctx{st, prompts, pump, root};
    MainWindow w(ctx);
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

    w.F1_Master_Click();
    Form3Window *form3 = w.masterEditor();
    QTest::mouseClick(form3->findChild<QCheckBox *>(QStringLiteral("ms")), Qt::LeftButton);
    ok = Grab(form3, out, QStringLiteral("master_ms_en")) && ok;
    form3->close();

    w.Hilfe_Click();
    if (HelpWindow *help = w.helpWindow())
        ok = Grab(help, out, QStringLiteral("help_en")) && ok;

    AboutDialog about(w.windowTitle(), false, &w);
    ok = Grab(&about, out, QStringLiteral("about_en")) && ok;
    return ok ? 0 : 1;
}
