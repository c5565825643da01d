// SPDX-License-Identifier: GPL-3.0-or-later
// How long "meridan-cli run" takes from its start to a confirmed Operate
// (connecting included; the time to connect is shown beside it), for 1, 30 and
// 90 slaves on each connection, with the fast download (the next job as soon
// as the board has answered) and paced by the status tick (one job a tick).
// Ticks: (slaves + 6) x the tick interval is the floor of the tick-paced way.
// Serial lines: the floor is the wire time of every command and reply the
// download needs at the least, at 10 bits per byte (WireMs below).
//   bench_busrun [--sizes 1,30,90] [--hw tessel,dromon:com2,...] [--modes fast,tick]
#include "boardsim.h"
#include "config/configfile.h"
#include "core/context.h"
#include "core/texts.h"
#include "slave/record.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using namespace meridan;

namespace {

struct Conn {
    const char *hw;
    int tickMs; // the status timer interval the connection sets
    int baud;   // 0: no serial line
    bool frames; // a serial line in frame mode
};

// N slaves from station 10 up, each a 2-in/2-out compact device. `jobs`
// receives the size (header and data) of every job of the download in order.
QString WriteConfig(const QString &dir, int slaves, std::vector<int> &jobs)
{
    State st;
    CliPrompts ui;
    ui.quiet = true;
    VirtualPump pump;
    Root root(dir);
    Context ctx{st, ui, pump, root};
    st.record[11] = 6;
    SetMasterDefaults(st.record);
    StoreRecord(st, 0);
    jobs = {8, 8 + st.record[7]}; // Offline, the master record
    for (int i = 0; i < slaves; ++i) {
        st.currentStation = 10 + i;
        st.slave.inputOffset = 2 * i;
        st.slave.outputOffset = 2 * i;
        NewSlaveRecord(st);
        st.record[30] = 0x47;
        st.record[31] = 0x11;
        RemoveCfg(st);
        st.slave.c = 1;
        st.slave.cfg[0] = 0x31;
        InsertCfg(ctx);
        StoreRecord(st, 10 + i);
        jobs.push_back(8 + st.record[7]);
    }
    jobs.insert(jobs.end(), {8, 8, 8}); // Stop, Clear, Operate
    const QString path = dir + QStringLiteral("/bench-%1.dp1").arg(slaves);
    SaveConfigFile(ctx, path);
    return path;
}

// The wire time of the download at the least: every job and its reply with
// no poll that finds nothing. Byte-wise, each DP-RAM byte is a command of
// its own ("R" + address + CR, three characters back; "W" + address + "," +
// value + CR, one back); in frame mode a job is one "D" frame, the request
// for its reply four bytes and the reply a NAK frame. 10 bits per byte.
double WireMs(const Conn &c, const std::vector<int> &jobs)
{
    if (c.baud == 0)
        return 0;
    qint64 bytes = 0;
    const auto r = [](int address) { return 1 + HexUpper(unsigned(address)).size() + 1 + 3; };
    const auto w = [](int address, int value) { return 1 + HexUpper(unsigned(address)).size() + 1 + HexUpper(unsigned(value)).size() + 1 + 1; };
    for (int job : jobs) {
        if (c.frames) {
            bytes += 4 + (job - 8) + 4 + 1 + 4;
            continue;
        }
        // Serial map: job toggle 0x3000, master toggle 0x3008, job area
        // 0x2125, message area 0x2025. The job: both toggles read, its
        // bytes written (values taken as two hex digits), the toggle flipped.
        bytes += 2 * r(0x3000) + job * w(0x2125, 0x10) + w(0x3000, 1);
        // Its reply (no data): both toggles, the length, nine bytes, the acknowledge.
        bytes += 2 * r(0x3000) + r(0x202C) + 9 * r(0x2025) + w(0x3000, 2);
    }
    return bytes * 10.0 * 1000.0 / c.baud;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList sizes = {"1", "30", "90"};
    QStringList hws;
    QStringList modes = {"fast", "tick"};
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--sizes")
            sizes = args[i + 1].split(',');
        if (args[i] == "--hw")
            hws = args[i + 1].split(',');
        if (args[i] == "--modes")
            modes = args[i + 1].split(',');
    }
    const Conn all[] = {{"tessel", 100, 0, false},        {"corvet-dpram", 100, 0, false},
                        {"ravelin:com1", 250, 9600, false}, {"dromon:com2", 250, 19200, true},
                        {"ravelin-tcp", 400, 0, false},     {"ketch-tcp:Ketch", 400, 0, false}};
    QTemporaryDir dir;
    meridan::test::BoardSim sim;
    if (!sim.start(dir.path())) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.error));
        return 1;
    }
    std::printf("%-16s %5s %6s %10s %10s %10s %8s %10s\n", "connection", "mode", "slaves", "run ms", "tick floor", "wire ms",
                "run/wire", "connect ms");
    for (const Conn &c : all) {
        if (!hws.isEmpty() && !hws.contains(QString::fromLatin1(c.hw)))
            continue;
        for (const QString &n : sizes) {
            std::vector<int> jobs;
            const QString file = WriteConfig(dir.path(), n.toInt(), jobs);
            for (const QString &mode : modes) {
                // Connecting (and reading one byte) is timed on its own.
                QElapsedTimer t;
                QProcess p;
                t.start();
                p.start(QStringLiteral(MERIDAN_CLI), {"--root", dir.path(), "peek", "--hw", c.hw, "0x400"});
                p.waitForFinished(120000);
                const qint64 connectMs = t.elapsed();
                QStringList run = {"--root", dir.path(), "run", "--hw", c.hw, file, "--timeout", "300"};
                if (mode == QLatin1String("tick"))
                    run << "--tick";
                t.restart();
                p.start(QStringLiteral(MERIDAN_CLI), run);
                p.waitForFinished(400000);
                const qint64 runMs = t.elapsed();
                const bool ok = p.exitCode() == 0;
                const int floorMs = (n.toInt() + 6) * c.tickMs;
                const double wireMs = WireMs(c, jobs);
                std::printf("%-16s %5s %6s %10lld %10d %10.0f %8s %10lld %s\n", c.hw, qPrintable(mode), qPrintable(n), runMs,
                            floorMs, wireMs, wireMs > 0 ? qPrintable(QString::number(runMs / wireMs, 'f', 2)) : "-", connectMs,
                            ok ? "" : "FAILED");
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
