// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop the board pictures are taken on: a root of its own with the
// English settings, the simulated demo boards, the demo configuration as the
// start-up file, and the core a main window runs on.
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "boardsim.h"
#include "busops/commissioning.h"
#include "config/demo.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace meridan::shots {

struct DemoDesktop {
    QTemporaryDir tmp;
    Root root{tmp.path()};
    test::BoardSim sim;
    State st;
    QtPrompts prompts;
    QtPump pump;
    Context ctx{st, prompts, pump, root};
    Panel panel;
    Connection conn{ctx, panel};
    Commissioning comm{ctx, conn};

    // Starts the simulator with `simArgs`. False after a line naming the
    // pictures (`what`) when it cannot; `skipped` when it is not built.
    bool start(const char *what, bool &skipped, const QStringList &simArgs = {})
    {
        skipped = test::BoardSim::binary().isEmpty();
        if (skipped) {
            std::printf("skipped the %s: meridan-boardsim is not built\n", what);
            return false;
        }
        prompts.language = &st.language;
        root.ensureLayout();
        QFile settings(root.settingsFile());
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[LANGUAGE]\r\n 1\r\n");
        settings.close();
        if (!sim.start(root.dir(), simArgs)) {
            std::printf("FAILED to start meridan-boardsim: %s\n", qPrintable(sim.error));
            return false;
        }
        if (!WriteDemoConfiguration(ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")))) {
            std::printf("FAILED to write the demo configuration\n");
            return false;
        }
        return true;
    }

    // The window tied to the prompts, started and shown at 900 x 620.
    void show(MainWindow &w)
    {
        prompts.setParent(&w);
        prompts.onStatus = [&w](const QString &) { w.ShowStatus(); };
        prompts.onList = [&w] { w.UpdateListe(); };
        w.endProgram = [] {};
        w.Form_Load();
        w.resize(900, 620);
        w.show();
    }
};

} // namespace meridan::shots
