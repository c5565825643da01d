// What the simulator does with the files and lines other users can reach: no
// writing through planted links, owner-only files and lines, whole-file
// replacement on a full disk, no blocking on a FIFO, no client holding a
// network board for ever.
#include "dpram.h"
#include "eeprom.h"
#include "files.h"
#include "hosthelpers.h"
#include "netprotocol.h"
#include "ptyport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace meridan::sim;
using namespace meridan::sim::test;

namespace {

struct Folder {
    QTemporaryDir dir;
    std::string path(const char *name) const { return QFile::encodeName(dir.filePath(QLatin1String(name))).toStdString(); }
    void put(const char *name, const std::string &bytes) const
    {
        QFile f(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string get(const char *name) const
    {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    // A link planted at `name`, pointing at the file `victim`.
    void plant(const char *name, const char *victim) const { ASSERT_EQ(::symlink(path(victim).c_str(), path(name).c_str()), 0); }
};

unsigned modeOf(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

} // namespace

TEST(SimFiles, aLinkOrFifoWhereTheDpramBelongs_isRefusedAndItsTargetUntouched)
{
    Folder d;
    d.put("victim", "precious");
    d.plant("t.dpram", "victim");
    std::string err;
    EXPECT_FALSE(MappedDpRam::create(d.path("t.dpram"), 0x4000, &err));
    EXPECT_NE(err.find("symbolic link"), std::string::npos) << err;
    EXPECT_FALSE(Eeprom::open(d.path("t.dpram"), &err));
    EXPECT_EQ(d.get("victim"), "precious");

    ASSERT_EQ(::mkfifo(d.path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(MappedDpRam::create(d.path("fifo"), 0x4000, &err));
    EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
    EXPECT_FALSE(readRegularFile(d.path("fifo"), 100, &err));

    auto fresh = MappedDpRam::create(d.path("new.dpram"), 0x4000, &err);
    ASSERT_TRUE(fresh) << err;
    EXPECT_EQ(modeOf(d.path("new.dpram")), 0600u);
    ASSERT_TRUE(Eeprom::open(d.path("new.eeprom"), &err)) << err;
    EXPECT_EQ(modeOf(d.path("new.eeprom")), 0600u);
}

TEST(SimFiles, wholeFileWrites_replaceALinkNotItsTargetAndKeepTheOldFileWhenTheDiskIsFull)
{
    Folder d;
    d.put("victim", "precious");
    d.plant("state.json", "victim");
    std::string err;
    ASSERT_TRUE(writeWholeFile(d.path("state.json"), "{}", false, &err)) << err;
    EXPECT_EQ(d.get("victim"), "precious");
    EXPECT_EQ(d.get("state.json"), "{}");
    EXPECT_EQ(modeOf(d.path("state.json")), 0600u);
    EXPECT_FALSE(writeWholeFile(d.path("state.json"), "other", true, &err)); // exists: not created
    EXPECT_EQ(d.get("state.json"), "{}");

    // A write that cannot complete, as on a full disk: the file size limit
    // makes every write beyond 1 KiB fail.
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool written = writeWholeFile(d.path("state.json"), std::string(4096, 'x'), false, &err);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(written);
    EXPECT_EQ(d.get("state.json"), "{}");
    EXPECT_EQ(QDir(d.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file left";
}

TEST(SimFiles, theSimulatedSerialLine_isOwnerOnly)
{
    Folder d;
    QString err;
    auto pty = PtyPort::open(d.dir.filePath(QStringLiteral("com1")), 0, &err);
    ASSERT_TRUE(pty) << err.toStdString();
    EXPECT_EQ(modeOf(QFile::encodeName(pty->slaveName()).toStdString()), 0600u);
}

TEST(SimNet, anIdleClient_isLetGoAfterItsIdleTime)
{
    Rig rig(BoardKind::Ketch);
    NetProtocol proto(rig.fw, rig.ram, "Ketch", 1, 1000);
    EXPECT_FALSE(proto.tick(1000 + NetProtocol::IdleTimeoutMs).close);
    proto.feed(NetProtocol::frame(0x02, {0, 0, 4, 0}), 15000); // a request resets the idle time
    EXPECT_FALSE(proto.tick(15000 + NetProtocol::IdleTimeoutMs).close);
    const NetProtocol::Output out = proto.tick(15001 + NetProtocol::IdleTimeoutMs);
    EXPECT_TRUE(out.close);
    ASSERT_GE(out.bytes.size(), 7u);
    EXPECT_EQ(out.bytes[4], 0xFF);
    EXPECT_EQ(out.bytes[6], NetProtocol::Idle);
}

TEST(SimProgram, aLinkAsStateFileOrAFifoAsZelpciCfg_stopsTheStartWithAMessage)
{
    Folder d;
    d.put("victim", "precious");
    d.plant("state.json", "victim");
    QProcess p;
    p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), {"--board", "ketch", "--tcp", "0", "--state", d.dir.filePath("state.json")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("is a symbolic link; refused"));
    EXPECT_EQ(d.get("victim"), "precious");

    // What the simulator quotes of a bad file cannot steer the terminal.
    d.put("bus.txt", "12 ident=\x1b]0;owned\x07\n");
    p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), {"--board", "ketch", "--tcp", "0", "--bus", d.dir.filePath("bus.txt")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    const QByteArray quoted = p.readAllStandardError();
    EXPECT_TRUE(quoted.contains("\\x1B]0;owned\\x07")) << quoted.constData();
    EXPECT_FALSE(quoted.contains('\x1b'));

    QDir().mkpath(d.dir.filePath("driver"));
    ASSERT_EQ(::mkfifo(d.path("driver/zelpci.cfg").c_str(), 0600), 0);
    p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), {"--root", d.dir.path(), "--demo"});
    const bool ended = p.waitForFinished(10000);
    if (!ended)
        p.kill();
    ASSERT_TRUE(ended) << "blocked on the FIFO";
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("not a regular file"));
}
