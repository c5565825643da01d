// Faults a user meets on site, end to end: a full disk, a board that freezes
// or dies, a download larger than a fixed time-out allows.
#include "boardsim.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "core/savefile.h"
#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Cli {
    int code = -1;
    QString out, err;
};

Cli RunCli(const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// Collects what `p` prints (its standard output, or everything when merged)
// until it holds `text`, `ms` passed or `p` ended.
bool WaitForText(QProcess &p, QByteArray &out, const char *text, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!out.contains(text) && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
    }
    return out.contains(text);
}

// A 64 KiB file system of its own, filled up on request. Mounting needs the
// privilege to do so; without it the tests that need one are skipped.
struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;
    SmallDisk() { mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k,mode=0700") == 0; }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    void fill() const
    {
        QFile filler(path(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
};

#define NEED_BOARDSIM()                                                                                                \
    if (BoardSim::binary().isEmpty())                                                                                  \
    GTEST_SKIP() << "meridan-boardsim is not built"

} // namespace

TEST(FullDisk, savingAConfiguration_failsAndLeavesTheOldFile)
{
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs the privilege to mount)";
    Fixture f;
    const QString target = disk.path("AutoLoad.dp1");
    const Cli first = RunCli({"--root", f.tmp.path(), "demo-config", target});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    disk.fill();

    const Cli again = RunCli({"--root", f.tmp.path(), "demo-config", "--force", target});
    EXPECT_EQ(again.code, 1);
    EXPECT_FALSE(again.out.contains("wrote")) << again.out.toStdString();
    // The window's Save goes the same way.
    BuildDemoConfiguration(f.ctx);
    EXPECT_FALSE(SaveConfigFile(f.ctx, target));
    EXPECT_TRUE(f.st.melde1.startsWith("Not saved, file unchanged: ")) << f.st.melde1.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// The same failure without a file system of its own: beyond the file size
// limit every write fails, as on a full disk.
TEST(FullDisk, aWholeFileWriteThatFailsHalfWay_leavesTheOldFile)
{
    Fixture f;
    f.write("c.dp1", "old");
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const QString why = WriteWholeFile(f.file("c.dp1"), QByteArray(64 * 1024, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(f.read("c.dp1"), "old");
    EXPECT_EQ(QDir(f.tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"c.dp1"});
}

TEST(FullDisk, theSimulatorsStateSnapshot_staysWholeAndTheFailureIsTold)
{
    NEED_BOARDSIM();
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs the privilege to mount)";
    const QString state = disk.path("state.json");
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(BoardSim::binary(), {"--board", "ketch", "--tcp", "0", "--state", state});
    ASSERT_TRUE(sim.waitForStarted(5000));
    QByteArray out;
    ASSERT_TRUE(WaitForText(sim, out, "ready\n", 15000)) << out.constData();
    const int at = out.indexOf("tcp-port ");
    const quint16 port = out.mid(at + 9, out.indexOf('\n', at) - at - 9).toUShort();
    disk.fill();
    QTcpSocket client; // a client connecting is a change the snapshot records
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(client.waitForConnected(5000));
    EXPECT_TRUE(WaitForText(sim, out, "state not written", 5000)) << out.constData();
    QFile f(state);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QJsonDocument::fromJson(f.readAll()).isNull());
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(5000));
}

namespace {

// The demo boards, and a configuration of the demo slaves or of 90 of them.
struct Site : Fixture {
    BoardSim sim;
    bool start()
    {
        if (!sim.start(tmp.path(), {QStringLiteral("--no-pace")})) {
            ADD_FAILURE() << sim.error.toStdString();
            return false;
        }
        return true;
    }
    QString configuration(int slaves)
    {
        BuildDemoConfiguration(ctx);
        for (int s = 10; s < 10 + slaves && slaves > 4; ++s) {
            Record r = st.image.slot(12);
            r[3] = uint8_t(s);
            st.image.slot(s) = r;
        }
        const QString path = file(QStringLiteral("site%1.dp1").arg(slaves));
        EXPECT_TRUE(SaveConfigFile(ctx, path));
        return path;
    }
    Cli cli(const QStringList &args, int timeoutMs = 60000) { return RunCli(QStringList{"--root", tmp.path()} + args, timeoutMs); }
};

} // namespace

TEST(DeadBoard, statusFromTheDPRamItLeftBehind_saysNoAnswer)
{
    NEED_BOARDSIM();
    Site site;
    ASSERT_TRUE(site.start());
    ASSERT_EQ(site.cli({"run", "--hw", "tessel", site.configuration(4)}).code, 0);
    const Cli alive = site.cli({"status", "--hw", "tessel"});
    EXPECT_EQ(alive.code, 0) << alive.err.toStdString();
    EXPECT_TRUE(alive.out.contains("mode: Operate"));
    site.sim.kill(); // its DP-RAM file stays, reading as a running bus
    const Cli dead = site.cli({"status", "--hw", "tessel"});
    EXPECT_EQ(dead.code, 1);
    EXPECT_EQ(dead.err, "meridan-cli status: no answer from the master\n");
    EXPECT_FALSE(dead.out.contains("Operate"));
}

TEST(FrozenBoard, byteWiseSerialDuringRun_endsWithinTheTimeOut)
{
    NEED_BOARDSIM();
    Site site;
    ASSERT_TRUE(site.start());
    QProcess p;
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"),
            {"--root", site.tmp.path(), "run", "--hw", "ravelin:com1", site.configuration(4), "--timeout", "20"});
    ASSERT_TRUE(p.waitForStarted(5000));
    QByteArray out;
    ASSERT_TRUE(WaitForText(p, out, "Master record loaded", 30000)) << out.constData();
    site.sim.freeze(true);
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_LT(t.elapsed(), 21000);
    EXPECT_EQ(p.exitCode(), 1);
    site.sim.freeze(false);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
}

TEST(LargeDownload, cutByATimeOut_saysItEndedHalfWay)
{
    NEED_BOARDSIM();
    Site site;
    ASSERT_TRUE(site.start());
    // 90 slave records take at least 95 polls of 400 ms over TCP.
    const Cli r = site.cli({"run", "--hw", "ketch-tcp:Ketch", site.configuration(90), "--timeout", "8"});
    EXPECT_EQ(r.code, 1);
    const QRegularExpression halfWay(QStringLiteral("the time-out ended the download half-way: (\\d+) of 90 slave records loaded"));
    const auto m = halfWay.match(r.err);
    ASSERT_TRUE(m.hasMatch()) << r.err.toStdString();
    EXPECT_LT(m.captured(1).toInt(), 90);
}
