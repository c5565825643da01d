// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-screenshots-slave OUTDIR: renders the slave editor, the
// parameter editor and the variable editor headless into PNG files: a new
// record, a modular station built from a real device file with three
// modules, a parameter block with text lists, and the station's variables
// with a module chosen and two variables attached.
#include "core/context.h"
#include "iec/addvar_dialog.h"
#include "iec/form4_window.h"
#include "slave/form2_window.h"
#include "slave/form7_window.h"

#include "shots.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
#include <cstdio>

using namespace meridan;

namespace {

using shots::Grab;

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = shots::OutDir(argc, argv, "meridan-screenshots-slave");
    if (out.isEmpty())
        return 2;

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
    ed.chooseGsdFile = [&gsd](const FileDialogSpec &) { return std::optional<QString>(gsd); };
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
    f7.hide();

    // The station stored and opened again, at the size the editor takes by itself.
    ed.F2_Exit_Click(QStringLiteral("15"));
    {
        Form2Window again(ctx);
        failures += Grab(&again, out, QStringLiteral("form2-modular-opened")) ? 0 : 1;
    }

    // The variable editor on the same station, in a project with a variable.
    QDir().mkpath(tmp.filePath(QStringLiteral("plant1")));
    st.projectFolder = tmp.filePath(QStringLiteral("plant1/"));
    QFile globals(tmp.filePath(QStringLiteral("plant1/globals.vb")));
    if (globals.open(QIODevice::WriteOnly))
        globals.write("VAR_GLOBAL\r\n  Pressure : REAL;\r\n  Lamp_Red : BOOL;\r\nEND_VAR\r\n");
    globals.close();
    iec::Form4Window f4(ctx, &w);
    f4.resize(720, 420);
    f4.show();
    QApplication::processEvents();
    iec::VarEditor &v = f4.editor();
    // The first module with channels; a variable of each channel's type on
    // its first two channels.
    for (int m = 0; m < int(v.map().slave(15)->modules.size()); ++m) {
        v.Combo1_Click(m);
        const std::vector<iec::Channel> channels = iec::Channels(v.map().slave(15)->modules[std::size_t(m)]);
        if (channels.size() < 2)
            continue;
        const auto type = [&](int k) { return channels[std::size_t(k)].word ? iec::kInt : iec::kBool; };
        v.AddVar(QStringLiteral("Position_Valid"), type(0));
        v.List2_Click(0);
        v.Command1_Click();
        v.AddVar(QStringLiteral("Encoder_Error"), type(1));
        v.List2_Click(1);
        v.Command1_Click();
        break;
    }
    f4.Display();
    failures += Grab(&f4, out, QStringLiteral("form4-two-variables-attached")) ? 0 : 1;
    iec::AddVarForm add(&f4);
    failures += Grab(&add, out, QStringLiteral("addvarform")) ? 0 : 1;
    return failures;
}
