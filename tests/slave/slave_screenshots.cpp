// meridan-screenshots-slave OUTDIR: renders the slave editor and the
// parameter editor headless into PNG files: a new record, a modular station
// built from a real device file with three modules, and a parameter block
// with text lists.
#include "core/context.h"
#include "slave/form2_window.h"
#include "slave/form7_window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: meridan-screenshots-slave OUTDIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir tmp;
    const Root root(tmp.path());
    root.ensureLayout();
    State st;
    st.language = kEnglish;
    CliPrompts prompts;
    prompts.quiet = true;
    VirtualPump pump;
    Context ctx{st, prompts, pump, root};
    int failures = 0;

    st.currentStation = 12;
    {
        Form2Window w(ctx);
        w.resize(760, 560);
        failures += Grab(&w, out, QStringLiteral("form2-new-record")) ? 0 : 1;
    }

    const QString gsd = QDir(QStringLiteral(MERIDAN_SHARED_GSD_DIR)).filePath(QStringLiteral("TR09AAAB.GSE"));
    if (!QFileInfo::exists(gsd)) {
        std::printf("skipped the modular station: no %s\n", qPrintable(gsd));
        return failures;
    }
    st.currentStation = 15;
    Form2Window w(ctx);
    w.resize(760, 560);
    w.show();
    QApplication::processEvents();
    SlaveEditor &ed = w.editor();
    prompts.nextPath = gsd;
    ed.GSD_Click(QStringLiteral("0"), QStringLiteral("Shaft encoder"));
    ed.Text2_LostFocus(QStringLiteral("Shaft encoder"));
    ed.F2_AutoAddr_Click();
    for (int m : {1, 3, 2})
        ed.Modul_Click(m);
    w.DisplaySlave();
    failures += Grab(&w, out, QStringLiteral("form2-modular-three-modules")) ? 0 : 1;

    Form7Window f7(ctx, ed.ModList_Click(1), &w);
    f7.resize(860, 330);
    failures += Grab(&f7, out, QStringLiteral("form7-text-lists")) ? 0 : 1;
    return failures;
}
