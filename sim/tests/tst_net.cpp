// SPDX-License-Identifier: GPL-3.0-or-later
// The network protocol: frames on byte vectors, then the board's TCP server with a raw
// QTcpSocket, and the program itself.
#include "board.h"
#include "hosthelpers.h"
#include "netprotocol.h"
#include "transcript.h"
#include "zelcfg.h"

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace meridan::sim;
using namespace meridan::sim::test;

namespace {

Bytes req(std::uint8_t type, const Bytes &payload = {}) { return NetProtocol::frame(type, payload); }

Bytes be32(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct NetRig : Rig {
    NetRig() : Rig(BoardKind::Net0), proto(fw, ram, "OS9Target", 0) {}
    Bytes ask(const Bytes &b) { return proto.feed(b, now).bytes; }
    NetProtocol proto;
};

} // namespace

TEST(NetProtocol, session_answeredByteForByteAsWrittenDown)
{
    NetRig r;
    const std::vector<Step> steps = readTranscript("net_session.txt");
    ASSERT_GE(steps.size(), 20u);
    int errors = 0;
    for (const Step &step : steps) {
        EXPECT_EQ(r.ask(step.send), step.expect) << "net_session.txt:" << step.line;
        errors += step.expect.size() > 4 && step.expect[4] == 0xFF;
    }
    EXPECT_EQ(r.proto.errors(), errors);
    EXPECT_EQ(r.proto.timeoutMs(), 200u);
    // Frames fed byte by byte are answered once complete.
    NetRig fed;
    Bytes two{0, 0, 0, 5, 0x02, 0, 0, 4, 0, 0, 0, 0, 5, 0x02, 0, 0, 4, 0};
    Bytes all;
    for (std::uint8_t b : two)
        all = cat(all, fed.ask({b}));
    EXPECT_EQ(all, cat(Bytes{0, 0, 0, 2, 0x82, 0x52}, Bytes{0, 0, 0, 2, 0x82, 0x52}));
}

// The round trip is the end-to-end tests'; a file the EEPROM refuses is
// reported in the reply.
TEST(NetProtocol, burnConf_badFile_isRefusedInTheReply)
{
    NetRig r;
    EXPECT_EQ(r.ask(req(0x08)), (Bytes{0, 0, 0, 2, 0x88, 0}));
    EXPECT_EQ(r.ask(req(0x07, Bytes(50, 0))), (Bytes{0, 0, 0, 4, 0x87, 1, 1, 0}));
}

TEST(NetProtocol, oversizedStalledOrBye_closeTheConnection)
{
    NetRig r;
    auto out = r.proto.feed(Bytes{0, 1, 0, 1, 0x07}, r.now);
    EXPECT_TRUE(out.close);
    EXPECT_EQ(out.bytes, NetProtocol::errorFrame(0, NetProtocol::TooLong, "frame too long"));
    EXPECT_TRUE(r.proto.feed(req(0x02, be32(0x400)), r.now).bytes.empty()) << "closed";

    NetRig stalled;
    stalled.proto.feed(Bytes{0, 0, 0, 9, 0x05}, stalled.now);
    EXPECT_FALSE(stalled.proto.tick(stalled.now + 9000).close);
    EXPECT_TRUE(stalled.proto.tick(stalled.now + 10001).close);

    NetRig bye;
    out = bye.proto.feed(req(0x0A), bye.now);
    EXPECT_EQ(out.bytes, (Bytes{0, 0, 0, 1, 0x8A}));
    EXPECT_TRUE(out.close);
}

// An empty frame is answered with an error; the frame behind it in the same
// read is a request of its own.
TEST(NetProtocol, emptyFrame_isRefusedAndTheNextFrameStillAnswered)
{
    NetRig r;
    r.ram.set(0x400, 0x52);
    const Bytes out = r.ask(cat(Bytes{0, 0, 0, 0}, req(0x02, be32(0x400))));
    EXPECT_EQ(out, cat(NetProtocol::errorFrame(0, NetProtocol::Empty, "empty frame"), Bytes{0, 0, 0, 2, 0x82, 0x52}));
}

namespace {

struct TcpRig {
    TcpRig()
    {
        BoardConfig c;
        c.name = QStringLiteral("Ketch");
        c.kind = BoardKind::Ketch;
        c.tcpPort = 0;
        board = std::make_unique<Board>(c);
        QString err;
        EXPECT_TRUE(board->start(&err)) << err.toStdString();
    }
    static bool connectTo(QTcpSocket &s, quint16 port)
    {
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        return QTest::qWaitFor([&] { return s.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    // Reads one whole frame (or what arrived before the socket closed).
    static Bytes frame(QTcpSocket &s)
    {
        QByteArray got;
        // The caller judges what arrived; a short frame fails its comparison.
        static_cast<void>(QTest::qWaitFor(
            [&] {
                got += s.readAll();
                if (got.size() < 4)
                    return s.state() == QAbstractSocket::UnconnectedState;
                auto L = qFromBigEndian<quint32>(got.constData());
                return static_cast<quint32>(got.size()) >= 4 + L;
            },
            3000));
        return Bytes(got.begin(), got.end());
    }
    static Bytes ask(QTcpSocket &s, const Bytes &out)
    {
        s.write(reinterpret_cast<const char *>(out.data()), static_cast<qint64>(out.size()));
        return frame(s);
    }
    std::unique_ptr<Board> board;
};

// Starts the program with `args`; what it printed up to its "ready" line.
QByteArray StartSim(QProcess &p, const QStringList &args)
{
    p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), args);
    QByteArray out;
    static_cast<void>(QTest::qWaitFor([&] { return (out += p.readAllStandardOutput()).contains("ready\n"); }, 5000));
    return out;
}

// A root whose driver/zelpci.cfg is `cfg`.
bool WriteCfg(const QTemporaryDir &dir, const QByteArray &cfg)
{
    QDir().mkpath(dir.filePath(QStringLiteral("driver")));
    QFile f(dir.filePath(QStringLiteral("driver/zelpci.cfg")));
    return f.open(QIODevice::WriteOnly) && f.write(cfg) == cfg.size();
}

bool Stop(QProcess &p, int sig = SIGTERM)
{
    ::kill(static_cast<pid_t>(p.processId()), sig);
    return p.waitForFinished(5000);
}

} // namespace

TEST(NetServer, oneClientAtATime_othersRefusedBusyAndTheNextWelcomeAfterAClose)
{
    TcpRig r;
    QTcpSocket first, second;
    ASSERT_TRUE(TcpRig::connectTo(first, r.board->tcpPort()));
    EXPECT_EQ(TcpRig::ask(first, req(0x01, {0, 1}))[4], 0x81); // the server has taken it
    ASSERT_TRUE(TcpRig::connectTo(second, r.board->tcpPort()));
    Bytes refusal = TcpRig::frame(second);
    ASSERT_GE(refusal.size(), 7u);
    EXPECT_EQ(refusal[4], 0xFF);
    EXPECT_EQ(refusal[6], NetProtocol::Busy);
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QAbstractSocket::UnconnectedState; }, 3000));

    EXPECT_EQ(TcpRig::ask(first, req(0x05, jobOf(job::SetMode, 0x40))), (Bytes{0, 0, 0, 2, 0x85, 1}));
    EXPECT_EQ(TcpRig::ask(first, req(0x06, {0, 0xFF})), (Bytes{0, 0, 0, 0x0A, 0x86, 1, 0xE7, 0, 0, 0x40, 0, 0, 0, 0}));
    EXPECT_EQ(TcpRig::ask(first, req(0x02, be32(0x3FF6))), (Bytes{0, 0, 0, 2, 0x82, 1}));
    EXPECT_EQ(TcpRig::ask(first, {0, 0, 0, 2, 0x77, 0x00})[6], NetProtocol::UnknownType);
    Bytes e = TcpRig::ask(first, {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3});
    ASSERT_GE(e.size(), 7u);
    EXPECT_EQ(e[6], NetProtocol::TooLong);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.state() == QAbstractSocket::UnconnectedState; }, 3000));

    QTest::qWait(20);
    QTcpSocket again;
    ASSERT_TRUE(TcpRig::connectTo(again, r.board->tcpPort()));
    EXPECT_EQ(TcpRig::ask(again, req(0x02, be32(0x400))), (Bytes{0, 0, 0, 2, 0x82, 0x52}));
}

TEST(Program, singleNetworkBoard_printsItsPortAndStopsCleanlyOnSigterm)
{
    QTemporaryDir dir;
    QString state = dir.filePath(QStringLiteral("state.json"));
    QProcess p;
    const QByteArray out = StartSim(p, {"--board", "net0", "--tcp", "0", "--state", state});
    ASSERT_TRUE(out.contains("ready\n")) << out.toStdString();
    int at = out.indexOf("tcp-port ");
    ASSERT_GE(at, 0) << out.toStdString();
    quint16 port = out.mid(at + 9, out.indexOf('\n', at) - at - 9).toUShort();
    QTcpSocket s;
    ASSERT_TRUE(TcpRig::connectTo(s, port));
    EXPECT_EQ(TcpRig::ask(s, req(0x05, jobOf(job::SetMode, 0x40)))[5], 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(state); }, 3000));
    ASSERT_TRUE(Stop(p));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(state));
}

TEST(Program, demo_keepsAnExistingConfigAndRemovesItsEndpointsAtTheEnd)
{
    QTemporaryDir dir;
    // Other ports than the default so a demo running elsewhere does not collide.
    ASSERT_TRUE(WriteCfg(dir, "[dpram]\nTessel=driver/tessel.dpram\nCorvet=driver/corvet.dpram\n"
                              "[serial]\nCOM1=driver/com1\nCOM2=driver\\com2\n"
                              "[network]\nOS9Target=127.0.0.1:0\nKetch=127.0.0.1:0\n"));
    // The folders it makes hold the firmware images and the boards' files:
    // owner-only, whatever the umask says.
    const mode_t umask = ::umask(0);
    QProcess p;
    const QByteArray out = StartSim(p, {"--root", dir.path(), "--demo"});
    ::umask(umask);
    ASSERT_TRUE(out.contains("ready\n")) << out.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("driver/com2"))).isSymLink()); // "driver\\com2"
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(QStringLiteral("download"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_TRUE(Stop(p, SIGINT));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("driver/tessel.dpram"))));
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("driver/com1"))).isSymLink());
    QFile cfg(dir.filePath(QStringLiteral("driver/zelpci.cfg")));
    ASSERT_TRUE(cfg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cfg.readAll().contains("127.0.0.1:0")) << "an existing file is kept";
}

TEST(Program, defaultConfig_namesEveryDemoBoardAndPathsResolve)
{
    std::string err;
    auto def = ZelCfg::parse(ZelCfg::defaultText(), &err);
    ASSERT_TRUE(def) << err;
    EXPECT_EQ(def->dpram.size() + def->serial.size() + def->network.size(), 7u);
    for (const auto &[name, where] : def->network)
        EXPECT_TRUE(ZelCfg::hostPort(where)) << name;
    auto cfg = ZelCfg::parse(" # c\n[Serial]\n com1 = x\\y \n", &err);
    ASSERT_TRUE(cfg) << err;
    EXPECT_EQ(ZelCfg::resolve("/r", cfg->serial.at("com1")), "/r/x/y");
    EXPECT_FALSE(ZelCfg::parse("[dpram]\nTessel\n", &err));
    EXPECT_FALSE(ZelCfg::hostPort("127.0.0.1:99999"));
}

// A second simulator on a root that is already served is turned away before
// it touches anything: the first keeps its DP-RAM files and serial links.
TEST(Program, secondDemoOnAServedRoot_isRefusedAndTheFirstKeepsItsBoards)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteCfg(dir, "[dpram]\nTessel=driver/tessel.dpram\n[serial]\nCOM1=driver/com1\n[network]\nKetch=127.0.0.1:0\n"));
    QProcess first;
    ASSERT_TRUE(StartSim(first, {"--root", dir.path(), "--demo"}).contains("ready\n"));
    const QString dpram = dir.filePath(QStringLiteral("driver/tessel.dpram"));
    const QString link = QFileInfo(dir.filePath(QStringLiteral("driver/com1"))).symLinkTarget();
    ASSERT_FALSE(link.isEmpty());

    QProcess second;
    second.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), {"--root", dir.path(), "--demo"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(second.readAllStandardError().contains(
        QStringLiteral("in use by meridan-boardsim (process %1)").arg(first.processId()).toUtf8()));
    EXPECT_EQ(QFileInfo(dir.filePath(QStringLiteral("driver/com1"))).symLinkTarget(), link);
    QFile ram(dpram);
    ASSERT_TRUE(ram.open(QIODevice::ReadOnly));
    ASSERT_TRUE(ram.seek(0x400));
    EXPECT_EQ(ram.read(1), QByteArray(1, 0x52)) << "the first board's DP-RAM was cleared";

    // A single board on the same DP-RAM file is turned away too.
    QProcess single;
    single.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), {"--board", "tessel", "--dpram", dpram});
    ASSERT_TRUE(single.waitForFinished(10000));
    EXPECT_EQ(single.exitCode(), 2);
    EXPECT_TRUE(single.readAllStandardError().contains("in use by another meridan-boardsim"));
    ASSERT_TRUE(ram.seek(0x400));
    EXPECT_EQ(ram.read(1), QByteArray(1, 0x52));

    ASSERT_TRUE(Stop(first));
    // Once it is gone, the root can be served again.
    QProcess again;
    EXPECT_TRUE(StartSim(again, {"--root", dir.path(), "--demo"}).contains("ready\n"));
    EXPECT_TRUE(Stop(again));
}
