// SPDX-License-Identifier: GPL-3.0-or-later
// The bus event log on the demo boards with a flapping station: the Tessel
// card runs the demo configuration, station 12 drops out for a second every
// three and station 20's diagnosis comes and goes; the log's window shows
// each drop-out with its time and the counts per station.
#include "app/main_window.h"
#include "app/qt_prompts_window.h"
#include "boardsim.h"
#include "busops/commissioning.h"
#include "config/demo.h"
#include "events/bus_watch.h"
#include "events/events_window.h"

#include "shots.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace meridan::shots {

namespace {
template <typename Pred>
bool WaitUntil(Pred done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
} // namespace

bool GrabEventLog(const QString &out)
{
    if (test::BoardSim::binary().isEmpty()) {
        std::printf("skipped the event log picture: meridan-boardsim is not built\n");
        return true;
    }
    QTemporaryDir tmp;
    const Root root(tmp.path());
    root.ensureLayout();
    {
        QFile settings(root.settingsFile());
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[LANGUAGE]\r\n 1\r\n");
    }
    test::BoardSim sim;
    if (!sim.start(root.dir(), {QStringLiteral("--flap"), QStringLiteral("12:1000:3000"), QStringLiteral("--flap-diag"),
                                QStringLiteral("20:1500:4000")})) {
        std::printf("FAILED to start meridan-boardsim: %s\n", qPrintable(sim.error));
        return false;
    }
    State st;
    QtPrompts prompts;
    QtPump pump;
    Context ctx{st, prompts, pump, root};
    if (!WriteDemoConfiguration(ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")))) {
        std::printf("FAILED to write the demo configuration\n");
        return false;
    }
    Panel panel;
    Connection conn(ctx, panel);
    Commissioning comm(ctx, conn);
    bool ok = true;
    {
        MainWindow w(ctx, comm);
        prompts.setParent(&w);
        prompts.onStatus = [&w](const QString &) { w.ShowStatus(); };
        prompts.onList = [&w] { w.UpdateListe(); };
        w.endProgram = [] {};
        w.Form_Load();
        w.resize(900, 620);
        w.show();
        w.findChild<QAction *>(QStringLiteral("Tessel"))->trigger();
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("F1_Run")), Qt::LeftButton);
        auto *mode = w.findChild<QLineEdit *>(QStringLiteral("Betriebsart"));
        if (!WaitUntil([&] { return mode->text() == QLatin1String("Operate"); }, 20000)) {
            std::printf("FAILED event_log_flapping: no Operate (%s)\n", qPrintable(st.melde1));
            return false;
        }
        w.findChild<QAction *>(QStringLiteral("EventLog"))->trigger();
        EventsWindow *log = w.eventsWindow();
        log->resize(1200, 600);
        // Long enough for four drop-outs of station 12.
        const auto dropOuts = [&] {
            const auto &s = w.busWatch().stations();
            return s.count(12) ? s.at(12).dropOuts : 0;
        };
        if (!WaitUntil([&] { return dropOuts() >= 4; }, 30000)) {
            std::printf("FAILED event_log_flapping: %d drop-outs seen\n", dropOuts());
            ok = false;
        }
        WaitUntil([] { return false; }, 300);
        ok = Grab(log, out, QStringLiteral("event_log_flapping")) && ok;
        conn.CloseForExit(false);
    }
    return ok;
}

} // namespace meridan::shots
