// SPDX-License-Identifier: GPL-3.0-or-later
// bench_iface: how fast the host reaches the simulated master on each
// connection. Prints one line per measurement; run it on a quiet machine.
//
//   bench_iface [--reads N] [--no-pace]      (MERIDAN_BOARDSIM overrides the simulator path)
#include "boardsim.h"
#include "busops/connection.h"
#include "iface/serial_links.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace meridan;
using namespace meridan::iface;

namespace {

class QuietPrompts : public CliPrompts {
public:
    int shown = 0;
    int message(const QString &, const QString &, Icon, int) override
    {
        ++shown;
        return Ok;
    }
};

struct Host {
    State st;
    QuietPrompts ui;
    QtPump pump;
    const Root &root;
    Context ctx{st, ui, pump, root};
    Panel panel;
    meridan::Connection conn{ctx, panel};
    explicit Host(const Root &r) : root(r) {}
    bool connect(const char *hw)
    {
        const auto c = ParseHwName(QString::fromLatin1(hw));
        return c && conn.ConnectItem(*c);
    }
    Link &link() { return conn.link(); }
};

// Mean microseconds per DP-RAM byte read.
double ByteAccessUs(Host &h, int count)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        h.link().getByte(h.link().map().startByte);
    return double(t.nsecsElapsed()) / 1000.0 / count;
}

// Mean milliseconds from handing over a set-mode job to holding its reply.
double JobRoundTripMs(Host &h, int count, int *failures)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        h.st.record.clear();
        SetJob(h.st.record, JobCode::SetMode, (i % 2) ? 0x00 : 0x40);
        bool done = false;
        for (int k = 0; k < 5000 && !h.link().putJob(h.st.record); ++k)
            h.pump.sleepMs(1);
        for (int k = 0; k < 5000 && !done; ++k) {
            done = h.link().getMessage() && h.st.mbuf[0] == 0xE7;
            if (!done)
                h.pump.sleepMs(1);
        }
        if (!done)
            ++*failures;
    }
    return double(t.nsecsElapsed()) / 1e6 / count;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int reads = 1000;
    const QStringList args = app.arguments();
    if (const int i = args.indexOf("--reads"); i > 0 && i + 1 < args.size())
        reads = std::max(1, args[i + 1].toInt());
    // --no-pace: the simulator answers as fast as it can (the host's own floor).
    const QStringList simArgs = args.contains("--no-pace") ? QStringList{"--no-pace"} : QStringList{};

    QTemporaryDir tmp;
    const Root root(tmp.path());
    root.ensureLayout();
    test::BoardSim sim;
    if (!sim.start(root.dir(), simArgs)) {
        std::fprintf(stderr, "bench_iface: %s\n", qPrintable(sim.error));
        return 1;
    }
    std::printf("%-16s %14s %16s\n", "connection", "byte access", "job round trip");
    const struct {
        const char *hw;
        int bytes;
        int jobs;
    } runs[] = {{"tessel", 200000, 200},    {"corvet-dpram", 200000, 200}, {"ravelin:com1", 100, 10},
                {"dromon:com2", 100, 50},   {"ravelin-tcp", 5000, 200},    {"dromon-tcp", 5000, 200},
                {"ketch-tcp:Ketch", 5000, 200}};
    for (const auto &r : runs) {
        Host h(root);
        if (!h.connect(r.hw)) {
            std::printf("%-16s not connected: %s\n", r.hw, qPrintable(h.st.melde1));
            continue;
        }
        const double us = ByteAccessUs(h, r.bytes);
        int failures = 0;
        const double ms = JobRoundTripMs(h, r.jobs, &failures);
        std::printf("%-16s %11.3f us %13.3f ms%s\n", r.hw, us, ms,
                    failures ? qPrintable(QStringLiteral("  (%1 jobs unanswered)").arg(failures)) : "");
    }

    // Serial "R" reads against the time the bytes need on the line:
    // "R" + 3 or 4 hex digits + CR out, 3 characters back, 10 bits each.
    std::printf("\n%-16s %8s %12s %12s %8s\n", "serial reads", "count", "measured", "wire time", "ratio");
    for (const char *hw : {"ravelin:com1", "dromon:com2"}) {
        Host h(root);
        auto *serial = h.connect(hw) ? dynamic_cast<SerialLink *>(&h.link()) : nullptr;
        if (!serial) {
            std::printf("%-16s not connected: %s\n", hw, qPrintable(h.st.melde1));
            continue;
        }
        const int baud = serial->boardVariant ? 19200 : 9600;
        const uint16_t addr = 0x400; // "R400" CR: 5 bytes out, 3 back
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < reads; ++i)
            serial->line().read(addr);
        const double measured = double(t.nsecsElapsed()) / 1e6;
        const double wire = reads * 8.0 * 10.0 / baud * 1000.0;
        std::printf("%-16s %8d %9.1f ms %9.1f ms %8.3f%s\n", hw, reads, measured, wire, measured / wire,
                    h.ui.shown ? "  (time-outs)" : "");
    }
    sim.stop();
    return 0;
}
