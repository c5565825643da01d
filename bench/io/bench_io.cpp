// SPDX-License-Identifier: GPL-3.0-or-later
// The I/O test on every connection of the simulated demo boards, with the bus
// in Operate and the status poll ticking as in the window:
//   - the status poll's interval alone, then with the I/O test reading
//     station 50 (the loop-back station) beside it;
//   - how long one read of the station takes, and the interval the reads
//     keep (at least 100 ms, at least twice a read);
//   - the time from forcing an output bit until the read that shows it back
//     at the station's inputs (the simulator exchanges data every 100 ms).
//   bench_io [--hw tessel,dromon:com2,...] [--forces 20] [--seconds 3]
#include "boardsim.h"
#include "busops/commissioning.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "core/context.h"
#include "io/io_test.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace meridan;

namespace {

// Nobody sits in front of a benchmark: it agrees to forcing.
struct BenchPrompts : CliPrompts {
    std::optional<bool> confirm(const QString &, const QString &) override { return true; }
};

struct Stats {
    double median = 0, p95 = 0;
    size_t n = 0;
};
Stats Of(std::vector<qint64> v)
{
    Stats s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = double(v[v.size() / 2]);
    s.p95 = double(v[std::min(v.size() - 1, v.size() * 95 / 100)]);
    return s;
}
std::vector<qint64> Gaps(const std::vector<qint64> &at)
{
    std::vector<qint64> g;
    for (size_t i = 1; i < at.size(); ++i)
        g.push_back(at[i] - at[i - 1]);
    return g;
}

void Run(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList hws = {"tessel", "corvet-dpram", "ravelin:com1", "dromon:com2", "ravelin-tcp:OS9Target", "ketch-tcp:Ketch"};
    int forces = 20, seconds = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--hw")
            hws = args[i + 1].split(',');
        if (args[i] == "--forces")
            forces = args[i + 1].toInt();
        if (args[i] == "--seconds")
            seconds = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    meridan::test::BoardSim sim;
    if (!sim.start(dir.path())) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.error));
        return 1;
    }
    Root root(dir.path());
    State st;
    BenchPrompts ui;
    ui.quiet = true;
    QtPump pump;
    Context ctx{st, ui, pump, root};
    root.ensureLayout();
    if (!WriteDemoConfiguration(ctx, root.path(QStringLiteral("setup/AutoLoad.dp1")))) {
        std::fprintf(stderr, "the demo configuration was not written: %s\n", qPrintable(st.melde1));
        return 1;
    }
    std::printf("%-22s %12s %12s %9s %12s %16s %6s\n", "connection", "tick alone", "tick w/ I/O", "read ms", "read every",
                "force->back ms", "n");
    std::printf("%-22s %12s %12s %9s %12s %16s %6s\n", "", "median/p95", "median/p95", "median", "median/p95", "median/p95", "");
    for (const QString &hw : hws) {
        QProcess run;
        run.start(QStringLiteral(MERIDAN_CLI), {"--root", dir.path(), "-q", "run", "--hw", hw, root.path(QStringLiteral("setup/AutoLoad.dp1"))});
        if (!run.waitForFinished(300000) || run.exitCode() != 0) {
            std::printf("%-22s run FAILED: %s\n", qPrintable(hw), run.readAllStandardError().constData());
            continue;
        }
        Panel panel;
        Connection conn(ctx, panel);
        Commissioning com(ctx, conn);
        if (!conn.ConnectItem(*iface::ParseHwName(hw)) || !conn.connected()) {
            std::printf("%-22s connect FAILED\n", qPrintable(hw));
            continue;
        }
        panel.load = true;
        // The status poll as the window runs it, each tick stamped.
        std::vector<qint64> ticks;
        QElapsedTimer clock;
        clock.start();
        QTimer timer1;
        QObject::connect(&timer1, &QTimer::timeout, [&] {
            com.Timer1_Timer();
            ticks.push_back(clock.elapsed());
            if (timer1.interval() != panel.timerInterval)
                timer1.setInterval(panel.timerInterval);
        });
        timer1.start(panel.timerInterval);
        Run(seconds * 1000);
        const Stats alone = Of(Gaps(ticks));

        ticks.clear();
        io::IoTest test(ctx, com, io::StationModel(ctx, st.image.slot(50), conn.link().map()));
        std::vector<qint64> reads, readMs;
        bool forcing = false;
        test.changed = [&] {
            if (forcing)
                return;
            reads.push_back(clock.elapsed());
            readMs.push_back(test.readMs());
        };
        io::IoPoll poll(test);
        poll.start();
        Run(seconds * 1000);
        const Stats with = Of(Gaps(ticks));
        const Stats every = Of(Gaps(reads));
        const Stats read = Of(readMs);

        // Force bit k, wait for IX2.k to show it, then the next bit.
        std::vector<qint64> back;
        for (int i = 0; i < forces; ++i) {
            const int k = i % 8;
            const io::IoChannel *out = test.station().find(QStringLiteral("QX1.%1").arg(k));
            const io::IoChannel *in = test.station().find(QStringLiteral("IX2.%1").arg(k));
            const int want = test.value(*out).value_or(0) ? 0 : 1;
            const qint64 t0 = clock.elapsed();
            forcing = true;
            const Outcome o = test.Force(*out, want);
            forcing = false;
            if (!o) {
                std::fprintf(stderr, "%s: force failed: %s\n", qPrintable(hw), qPrintable(o.why));
                break;
            }
            while (test.value(*in) != want && clock.elapsed() - t0 < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            back.push_back(clock.elapsed() - t0);
        }
        const Stats fb = Of(back);
        poll.stop();
        test.Close();
        timer1.stop();
        conn.CloseForExit(false);
        const auto pair = [](const Stats &s) { return QStringLiteral("%1/%2").arg(s.median, 0, 'f', 0).arg(s.p95, 0, 'f', 0); };
        std::printf("%-22s %12s %12s %9.0f %12s %16s %6zu\n", qPrintable(hw), qPrintable(pair(alone)), qPrintable(pair(with)),
                    read.median, qPrintable(pair(every)), qPrintable(pair(fb)), fb.n);
        std::fflush(stdout);
    }
    return 0;
}
