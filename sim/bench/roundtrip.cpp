// SPDX-License-Identifier: GPL-3.0-or-later
// Job round trip (set-mode job handed over -> its 0xE7 reply in the host's hands) on each
// connection, and the idle CPU of the simulator. Prints figures; asserts nothing.
//
//   bench_sim_roundtrip [rounds] [idle-seconds]
#include <QCoreApplication>
#include <QDir>
#include <QtEndian>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sim {
    QProcess p;
    QByteArray out;
    bool start(const QStringList &args)
    {
        p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), args);
        if (!p.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready\n") && t.elapsed() < 5000) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        return out.contains("ready\n");
    }
    quint16 port() const
    {
        int at = out.indexOf("tcp-port ");
        return at < 0 ? 0 : out.mid(at + 9, out.indexOf('\n', at) - at - 9).toUShort();
    }
    // CPU time of the process in microseconds (scheduler statistics).
    qint64 cpuMicros() const
    {
        QFile f(QStringLiteral("/proc/%1/schedstat").arg(p.processId()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        return f.readAll().split(' ').value(0).toLongLong() / 1000;
    }
    ~Sim()
    {
        p.terminate();
        p.waitForFinished(3000);
    }
};

void report(const char *what, std::vector<double> us)
{
    if (us.empty()) {
        std::printf("%-34s no samples\n", what);
        return;
    }
    std::sort(us.begin(), us.end());
    std::printf("%-34s n=%zu  median %7.2f ms  p95 %7.2f ms  max %7.2f ms\n", what, us.size(),
                us[us.size() / 2] / 1000, us[us.size() * 95 / 100] / 1000, us.back() / 1000);
}

void idle(const char *what, Sim &s, int seconds)
{
    QThread::msleep(1500); // past the fast-poll period after start
    qint64 a = s.cpuMicros();
    QThread::sleep(static_cast<unsigned long>(seconds));
    qint64 b = s.cpuMicros();
    std::printf("%-34s idle CPU %.2f %% of one core (%lld us/s)\n", what,
                static_cast<double>(b - a) / (seconds * 1e4), (b - a) / seconds);
}

std::vector<double> dpram(const QString &path, int rounds)
{
    std::vector<double> us;
    int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    if (fd < 0)
        return us;
    auto *m = static_cast<volatile std::uint8_t *>(
        ::mmap(nullptr, 0x4000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    ::close(fd);
    const std::uint32_t J = 0x3FF0, M = 0x3FF8, JA = 0x3125, MA = 0x3025;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        std::uint8_t mode = (i & 1) ? 0x40 : 0x00;
        t.start();
        if ((m[J] ^ m[M]) & 1)
            break;
        const std::uint8_t job[8] = {0x27, 0, 0, mode, 0, 0, 0, 0};
        for (int k = 0; k < 8; ++k)
            m[JA + k] = job[k];
        m[J] = m[J] ^ 1;
        // The host polls like its status tick would, only much faster.
        while (!((m[J] ^ m[M]) & 2) && t.elapsed() < 1000)
            QThread::usleep(50);
        if (m[MA] != 0xE7)
            break;
        m[J] = static_cast<std::uint8_t>((m[J] & 0xFD) | (m[M] & 2));
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000);
        QThread::usleep(static_cast<unsigned long>(1000 + (i % 7) * 700)); // not in step with the poll
    }
    ::munmap(const_cast<std::uint8_t *>(m), 0x4000);
    return us;
}

QByteArray ask(QSerialPort &port, const QByteArray &out, int want)
{
    port.write(out);
    port.waitForBytesWritten(1000);
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < want && t.elapsed() < 2000) {
        port.waitForReadyRead(20);
        got += port.readAll();
    }
    return got;
}

std::vector<double> serialFrames(const QString &link, int rounds)
{
    std::vector<double> us;
    QSerialPort port(link);
    port.setBaudRate(19200);
    if (!port.open(QIODevice::ReadWrite))
        return us;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        char mode = (i & 1) ? 0x40 : 0x00;
        t.start();
        QByteArray frames;
        for (char c : {'D', '\x27', mode, '\0', 'D', '\0', '\0', '\0'})
            frames += c;
        QByteArray got = ask(port, frames, 5);
        if (got.size() < 2 || static_cast<std::uint8_t>(got[1]) != 0xE7)
            break;
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000);
    }
    return us;
}

// The 5.2 host: PutKomm and GetMeld one "R"/"W" command per byte at 9600 baud.
std::vector<double> serialBytewise(const QString &link, int rounds)
{
    std::vector<double> us;
    QSerialPort port(link);
    port.setBaudRate(9600);
    if (!port.open(QIODevice::ReadWrite))
        return us;
    auto rd = [&](int a) {
        QByteArray r = ask(port, "R" + QByteArray::number(a, 16).toUpper() + "\r", 3);
        return r.size() >= 3 ? r.mid(1, 2).toInt(nullptr, 16) : -1;
    };
    auto wr = [&](int a, int v) {
        ask(port, "W" + QByteArray::number(a, 16).toUpper() + "," + QByteArray::number(v, 16).toUpper() + "\r", 1);
    };
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        int mode = (i & 1) ? 0x40 : 0x00;
        t.start();
        int a = rd(0x3000);
        const int job[8] = {0x27, 0, 0, mode, 0, 0, 0, 0};
        for (int k = 0; k < 8; ++k)
            wr(0x2125 + k, job[k]);
        wr(0x3000, (a & 0xFE) + ((a + 1) & 1));
        int b = 0;
        do {
            a = rd(0x3000);
            b = rd(0x3008);
        } while (!((a ^ b) & 2) && t.elapsed() < 3000);
        int n = rd(0x2025 + 7);
        for (int k = 0; k < 9 + n; ++k)
            rd(0x2025 + k);
        wr(0x3000, (a & 0xFD) + (b & 2));
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000);
    }
    return us;
}

std::vector<double> tcp(quint16 port, int rounds)
{
    std::vector<double> us;
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(3000))
        return us;
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto frame = [&](const QByteArray &req) {
        s.write(req);
        QByteArray got;
        while (s.waitForReadyRead(1000)) {
            got += s.readAll();
            if (got.size() >= 4 && got.size() >= 4 + qFromBigEndian<quint32>(got.constData()))
                break;
        }
        return got;
    };
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        char mode = (i & 1) ? 0x40 : 0x00;
        t.start();
        QByteArray put = QByteArray("\x00\x00\x00\x09\x05\x27\x00\x00", 8) + mode + QByteArray(4, '\0');
        QByteArray r = frame(put);
        if (r.size() < 6 || r[5] != 1)
            break;
        QByteArray m = frame(QByteArray("\x00\x00\x00\x03\x06\x00\xFF", 7));
        if (m.size() < 7 || static_cast<std::uint8_t>(m[6]) != 0xE7)
            break;
        us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000);
    }
    return us;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    QTemporaryDir dir;
    {
        Sim s;
        QString f = dir.filePath(QStringLiteral("tessel.dpram"));
        if (s.start({QStringLiteral("--board"), QStringLiteral("tessel"), QStringLiteral("--dpram"), f})) {
            idle("Tessel DP-RAM", s, idleSeconds);
            report("DP-RAM (Tessel) job round trip", dpram(f, rounds));
        }
    }
    {
        Sim s;
        QString l = dir.filePath(QStringLiteral("com2"));
        if (s.start({QStringLiteral("--board"), QStringLiteral("dromon"), QStringLiteral("--serial"), l})) {
            idle("Dromon serial", s, idleSeconds);
            report("serial 19200 frames (Dromon)", serialFrames(l, rounds));
        }
    }
    {
        Sim s;
        QString l = dir.filePath(QStringLiteral("com1"));
        if (s.start({QStringLiteral("--board"), QStringLiteral("ravelin"), QStringLiteral("--serial"), l}))
            report("serial 9600 byte-wise (Ravelin)", serialBytewise(l, std::max(1, rounds / 20)));
    }
    {
        Sim s;
        if (s.start({QStringLiteral("--board"), QStringLiteral("ketch"), QStringLiteral("--tcp"), QStringLiteral("0")})) {
            idle("Ketch TCP", s, idleSeconds);
            report("TCP (Ketch) put + get message", tcp(s.port(), rounds));
        }
    }
    {
        Sim s;
        QTemporaryDir root;
        QFile::remove(root.filePath(QStringLiteral("x")));
        QDir().mkpath(root.filePath(QStringLiteral("driver")));
        QFile cfg(root.filePath(QStringLiteral("driver/zelpci.cfg")));
        if (cfg.open(QIODevice::WriteOnly)) {
            cfg.write("[dpram]\nTessel=driver/tessel.dpram\nCorvet=driver/corvet.dpram\n[serial]\n"
                      "COM1=driver/com1\nCOM2=driver/com2\n[network]\nOS9Target=127.0.0.1:0\n"
                      "Ketch=127.0.0.1:0\n");
            cfg.close();
        }
        if (s.start({QStringLiteral("--root"), root.path(), QStringLiteral("--demo")}))
            idle("demo (all six boards)", s, idleSeconds);
    }
    return 0;
}
