// How long "Run" takes from the button to a confirmed Operate, for 1, 30 and
// 90 slaves on each connection. The download sends one job per status tick,
// so (slaves + 6) x the tick interval is the floor of the design; on a
// serial line the bytes also take their wire time.
//   bench_busrun [--sizes 1,30,90] [--hw tessel,dromon:com2,...]
#include "core/context.h"
#include "boardsim.h"
#include "config/configfile.h"
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
    int tickMs;   // the status timer interval the connection sets
    int baud;     // 0: no serial line
};

// N slaves from station 10 up, each a 2-in/2-out compact device.
QString WriteConfig(const QString &dir, int slaves, qint64 &bytesOnWire)
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
    bytesOnWire = 8 + 66;
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
        bytesOnWire += 8 + st.record[7];
    }
    bytesOnWire += 4 * 8; // the set-mode jobs
    const QString path = dir + QStringLiteral("/bench-%1.dp1").arg(slaves);
    SaveConfigFile(ctx, path);
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList sizes = {"1", "30", "90"};
    QStringList hws;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--sizes")
            sizes = args[i + 1].split(',');
        if (args[i] == "--hw")
            hws = args[i + 1].split(',');
    }
    const Conn all[] = {{"tessel", 100, 0},       {"corvet-dpram", 100, 0}, {"ravelin:com1", 250, 9600},
                        {"dromon:com2", 250, 19200}, {"ravelin-tcp", 400, 0},  {"ketch-tcp:Ketch", 400, 0}};
    QTemporaryDir dir;
    meridan::test::BoardSim sim;
    if (!sim.start(dir.path())) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.error));
        return 1;
    }
    std::printf("%-16s %6s %10s %10s %10s\n", "connection", "slaves", "run ms", "floor ms", "wire ms");
    for (const Conn &c : all) {
        if (!hws.isEmpty() && !hws.contains(QString::fromLatin1(c.hw)))
            continue;
        for (const QString &n : sizes) {
            qint64 bytes = 0;
            const QString file = WriteConfig(dir.path(), n.toInt(), bytes);
            // Connecting is timed on its own and taken off.
            QElapsedTimer t;
            QProcess p;
            t.start();
            p.start(QStringLiteral(MERIDAN_CLI), {"--root", dir.path(), "status", "--hw", c.hw});
            p.waitForFinished(120000);
            const qint64 connectMs = t.elapsed();
            t.restart();
            p.start(QStringLiteral(MERIDAN_CLI), {"--root", dir.path(), "run", "--hw", c.hw, file, "--timeout", "300"});
            p.waitForFinished(400000);
            const qint64 runMs = t.elapsed();
            const bool ok = p.exitCode() == 0;
            const int floorMs = (n.toInt() + 6) * c.tickMs;
            // Frame mode sends a job as one frame of about its own size; the
            // byte-wise mailbox writes each job byte with a "W" command of
            // about 8 characters and waits for a one-character reply.
            const double wireMs = c.baud == 0 ? 0
                : c.baud == 9600 ? bytes * 9.0 * 10.0 * 1000.0 / c.baud
                                 : bytes * 10.0 * 1000.0 / c.baud;
            std::printf("%-16s %6s %10lld %10d %10.0f %s (connect+status %lld ms)\n", c.hw, qPrintable(n), runMs, floorMs,
                        wireMs, ok ? "" : "FAILED", connectMs);
            std::fflush(stdout);
        }
    }
    return 0;
}
