// SPDX-License-Identifier: GPL-3.0-or-later
// meridan: the desktop program.
#include "app/help.h"
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "busops/commissioning.h"
#include "core/licence.h"
#include "core/runtimedir.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

using namespace meridan;

int main(int argc, char **argv)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("PROFIBUS-DP master configuration and commissioning"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption rootOpt(QStringLiteral("root"), QStringLiteral("The root folder (default: $ZEL_ROOT, else $XDG_DATA_HOME/zel)."),
                               QStringLiteral("DIR"));
    parser.addOption(rootOpt);
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("A .dp1 configuration to open, or a project folder (ending in /) whose "
                                                "unpacked/autoload.dp1 is read. Without it: ROOT/setup/AutoLoad.dp1."),
                                 QStringLiteral("[FILE.dp1|FOLDER/]"));
    // --help and --version answer without a window system: a desktop
    // program must not need a display to say how it is called.
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h" || a == "-?") {
            std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("meridan"))), stdout);
            return 0;
        }
        if (a == "--version" || a == "-v") {
            std::printf("meridan %s\n%s\n%s\n", MERIDAN_VERSION, kCopyrightLine, kLicenceNotice);
            return 0;
        }
    }

    UsePrivateRuntimeDir();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("meridan"));
    QApplication::setApplicationVersion(QStringLiteral(MERIDAN_VERSION));
    // Task bars find the menu entry (and its icon) by this name; X11 window
    // managers by the class "meridan", the StartupWMClass of the entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.meridan.Meridan"));
    QApplication::setWindowIcon(ProgramIcon());
    parser.process(app);

    const Root root = Root::fromEnvironment(parser.value(rootOpt));
    root.ensureLayout();
    InstallHelp(root);
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
    const QStringList pos = parser.positionalArguments();
    w.Form_Load(pos.isEmpty() ? QString() : pos.first());
    w.show();
    return app.exec();
}
