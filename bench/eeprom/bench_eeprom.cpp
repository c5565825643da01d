// SPDX-License-Identifier: GPL-3.0-or-later
// How long the byte-wise EEPROM burn of a Ravelin on COM1 takes on a paced
// 9600-baud line, beside the time its bytes need on the wire: every "P" and
// "L" command and every reply at ten bits per byte. The read back by the
// EEPROM way is timed the same way.
//   bench_eeprom [--slaves 30]
#include "busops/eeprom.h"
#include "config/demo.h"
#include "config/image.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using namespace meridan;

namespace {

// The real port, counting the bytes both ways.
class CountingSerial : public iface::SerialIo {
public:
    explicit CountingSerial(qint64 &bytes) : bytes_(bytes) {}
    bool open(const QString &device, int baud) override { return io_.open(device, baud); }
    void close() override { io_.close(); }
    bool isOpen() const override { return io_.isOpen(); }
    qint64 bytesAvailable() override { return io_.bytesAvailable(); }
    QByteArray read(qint64 max) override
    {
        const QByteArray b = io_.read(max);
        bytes_ += b.size();
        return b;
    }
    void write(const QByteArray &b) override
    {
        bytes_ += b.size();
        io_.write(b);
    }
    bool waitForReadyRead(int ms) override { return io_.waitForReadyRead(ms); }

private:
    qint64 &bytes_;
    iface::QtSerialIo io_;
};

// N slaves from station 10 up, each a copy of the demo's station 12.
void SlavesConfig(Context &ctx, int slaves)
{
    BuildDemoConfiguration(ctx);
    ConfigImage &image = ctx.st.image;
    const Record twelve = image.slot(12);
    for (int s = 1; s <= 100; ++s)
        image.slot(s).clear();
    for (int i = 0; i < slaves && 10 + i <= 100; ++i) {
        image.slot(10 + i) = twelve;
        image.at(10 + i, 3) = uint8_t(10 + i);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int slaves = 30;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--slaves")
            slaves = args[i + 1].toInt();

    // One simulated Ravelin on a paced line, its EEPROM in a file.
    QTemporaryDir dir;
    const Root root(dir.path());
    root.ensureLayout();
    const QString tty = dir.filePath(QStringLiteral("ttyR"));
    QFile cfg(root.path(QStringLiteral("driver/zelpci.cfg")));
    if (!cfg.open(QIODevice::WriteOnly) || cfg.write("[serial]\nCOM1=" + tty.toUtf8() + "\n") <= 0)
        return 1;
    cfg.close();
    QProcess sim;
    sim.start(QStringLiteral(MERIDAN_BOARDSIM), {"--board", "ravelin", "--serial", tty, "--eeprom", dir.filePath("r.eeprom")});
    if (!sim.waitForReadyRead(10000) || !sim.readAll().contains("ready")) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    State st;
    // Nobody is there to ask: a burn over a running bus goes ahead.
    struct Yes : CliPrompts {
        std::optional<bool> confirm(const QString &, const QString &) override { return true; }
    } ui;
    ui.quiet = true;
    QtPump pump;
    Context ctx{st, ui, pump, root};
    Panel panel;
    Connection conn(ctx, panel);
    qint64 bytes = 0;
    conn.env().makeSerialIo = [&] { return std::make_unique<CountingSerial>(bytes); };
    Commissioning com(ctx, conn);
    Eeprom ee(ctx, com);
    if (!conn.ConnectItem(*iface::ParseHwName(QStringLiteral("ravelin:com1")))) {
        std::fprintf(stderr, "no Ravelin on COM1: %s\n", qPrintable(st.melde1));
        return 1;
    }

    std::printf("%-12s %-7s %9s %9s %9s %6s\n", "config", "what", "bytes", "wire ms", "took ms", "ratio");
    const auto measure = [&](const char *config, const char *what, const std::function<bool()> &op) {
        bytes = 0;
        QElapsedTimer t;
        t.start();
        const bool ok = op();
        const qint64 took = t.elapsed();
        const double wireMs = bytes * 10.0 * 1000.0 / 9600.0;
        std::printf("%-12s %-7s %9lld %9.0f %9lld %6.3f %s\n", config, what, bytes, wireMs, took, took / wireMs,
                    ok ? "" : qPrintable(QStringLiteral("FAILED: ") + st.melde1));
        std::fflush(stdout);
    };
    BuildDemoConfiguration(ctx);
    measure("demo", "burn", [&] { return ee.Burn_Click().done(); });
    measure("demo", "read", [&] { return ee.Upload_Click().done(); });
    SlavesConfig(ctx, slaves);
    const QString name = QStringLiteral("%1 slaves").arg(slaves);
    measure(qPrintable(name), "burn", [&] { return ee.Burn_Click().done(); });
    measure(qPrintable(name), "read", [&] { return ee.Upload_Click().done(); });
    conn.CloseForExit(false);
    sim.terminate();
    sim.waitForFinished(5000);
    return 0;
}
