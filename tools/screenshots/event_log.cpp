// SPDX-License-Identifier: GPL-3.0-or-later
// The bus event log on the demo boards with a flapping station: the Tessel
// card runs the demo configuration, station 12 drops out for a second every
// three and station 20's diagnosis comes and goes; the log's window shows
// each drop-out with its time and the counts per station.
#include "events/bus_watch.h"
#include "events/events_window.h"

#include "demo_desktop.h"
#include "shots.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
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
    DemoDesktop d;
    bool skipped = false;
    if (!d.start("event log picture", skipped,
                 {QStringLiteral("--flap"), QStringLiteral("12:1000:3000"), QStringLiteral("--flap-diag"), QStringLiteral("20:1500:4000")}))
        return skipped;
    State &st = d.st;
    bool ok = true;
    {
        MainWindow w(d.ctx, d.comm);
        d.show(w);
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
        d.conn.CloseForExit(false);
    }
    return ok;
}

} // namespace meridan::shots
