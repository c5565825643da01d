// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's files and lines: nothing written through a planted link,
// owner-only, replaced whole or not at all, no blocking on a FIFO; and no
// client holding a network board for ever.
#include "dpram.h"
#include "eeprom.h"
#include "files.h"
#include "hosthelpers.h"
#include "netprotocol.h"
#include "ptyport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace meridan::sim;

namespace {
// A folder with a file "victim", a link to it and a FIFO.
struct Folder {
    QTemporaryDir dir;
    std::string path(const char *name) const { return QFile::encodeName(dir.filePath(QLatin1String(name))).toStdString(); }
    std::string read(const char *name) const { return readRegularFile(path(name), 100, nullptr).value_or("?"); }
    Folder()
    {
        writeWholeFile(path("victim"), "precious", false, nullptr);
        ::symlink(path("victim").c_str(), path("link").c_str());
        ::mkfifo(path("fifo").c_str(), 0600);
    }
};
unsigned modeOf(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}
} // namespace

TEST(SimFiles, aLinkOrFifoIsRefused_andNewFilesAndLinesAreOwnerOnly)
{
    Folder d;
    std::string err;
    EXPECT_FALSE(MappedDpRam::create(d.path("link"), 0x4000, &err));
    EXPECT_EQ(err, d.path("link") + ": is a symbolic link; refused");
    EXPECT_FALSE(Eeprom::open(d.path("link"), &err));
    EXPECT_FALSE(MappedDpRam::create(d.path("fifo"), 0x4000, &err));
    EXPECT_EQ(err, d.path("fifo") + ": not a regular file; refused");
    EXPECT_EQ(d.read("victim"), "precious");
    ASSERT_TRUE(MappedDpRam::create(d.path("new.dpram"), 0x4000, &err) && Eeprom::open(d.path("new.eeprom"), &err)) << err;
    QString why;
    auto pty = PtyPort::open(d.dir.filePath(QStringLiteral("com1")), 0, &why);
    ASSERT_TRUE(pty) << why.toStdString();
    for (const std::string &p : {d.path("new.dpram"), d.path("new.eeprom"), QFile::encodeName(pty->slaveName()).toStdString()})
        EXPECT_EQ(modeOf(p), 0600u) << p;
}

TEST(SimFiles, wholeFileWrites_replaceALinkNotItsTarget_andKeepTheOldFileWhenAWriteFails)
{
    Folder d;
    ASSERT_TRUE(writeWholeFile(d.path("link"), "{}", false, nullptr));
    EXPECT_EQ(d.read("victim"), "precious");
    EXPECT_FALSE(writeWholeFile(d.path("link"), "other", true, nullptr)); // exclusive: it exists
    // Beyond the file size limit every write fails, as on a full disk.
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1024;
    const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_FALSE(writeWholeFile(d.path("link"), std::string(4096, 'x'), false, nullptr));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(d.read("link"), "{}");
}

TEST(SimNet, anIdleClient_isLetGoAfterItsIdleTime)
{
    test::Rig rig(BoardKind::Ketch);
    NetProtocol proto(rig.fw, rig.ram, "Ketch", 1, 1000);
    proto.feed(NetProtocol::frame(0x02, {0, 0, 4, 0}), 15000); // a request starts the idle time again
    EXPECT_FALSE(proto.tick(15000 + NetProtocol::IdleTimeoutMs).close);
    const NetProtocol::Output bye = proto.tick(15001 + NetProtocol::IdleTimeoutMs);
    ASSERT_TRUE(bye.close && bye.bytes.size() > 7);
    EXPECT_EQ(bye.bytes[6], NetProtocol::Idle);
}

TEST(SimProgram, aLinkAsStateFile_aFifoAsZelpciCfg_orEscapesInABusFile_stopTheStartWithAMessage)
{
    Folder d;
    ::mkdir(d.path("driver").c_str(), 0700);
    ::mkfifo(d.path("driver/zelpci.cfg").c_str(), 0600);
    writeWholeFile(d.path("bus.txt"), "12 ident=\x1b]0;owned\x07\n", false, nullptr);
    const std::pair<QStringList, QByteArray> starts[] = {
        {{"--board", "ketch", "--tcp", "0", "--state", d.dir.filePath("link")}, "link: is a symbolic link; refused"},
        {{"--root", d.dir.path(), "--demo"}, "zelpci.cfg: not a regular file"},
        {{"--board", "ketch", "--tcp", "0", "--bus", d.dir.filePath("bus.txt")}, "'\\x1B]0;owned\\x07'"},
    };
    for (const auto &[args, message] : starts) {
        QProcess p;
        p.start(QStringLiteral(MERIDAN_BOARDSIM_EXE), args);
        if (!p.waitForFinished(10000))
            p.kill();
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_TRUE(p.readAllStandardError().contains(message)) << message.constData();
    }
    EXPECT_EQ(d.read("victim"), "precious");
}
