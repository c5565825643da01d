// meridan: the desktop program.
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "config/configfile.h"
#include "config/listline.h"

#include <QApplication>
#include <QCommandLineParser>

using namespace meridan;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("meridan"));
    QApplication::setApplicationVersion(QStringLiteral(MERIDAN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("PROFIBUS-DP master configuration and commissioning"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption rootOpt(QStringLiteral("root"), QStringLiteral("The root folder."), QStringLiteral("DIR"));
    parser.addOption(rootOpt);
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Project folder; the start-up file is its unpacked\\autoload.dp1."), QStringLiteral("[folder]"));
    parser.process(app);

    const Root root = Root::fromEnvironment(parser.value(rootOpt));
    root.ensureLayout();
    State st;
    QtPrompts prompts;
    QtPump pump;
    Context ctx{st, prompts, pump, root};

    ClearImage(st.image);
    ResetListLines(st);
    const QStringList pos = parser.positionalArguments();
    AutoLoad(ctx, pos.isEmpty() ? QString() : pos.first() + QStringLiteral("unpacked\\autoload.dp1"));

    MainWindow w(ctx);
    prompts.setParent(&w);
    w.show();
    return app.exec();
}
