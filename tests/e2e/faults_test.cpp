// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a user meets on site, end to end: a full disk, a board that died or
// froze, a download larger than a fixed time-out allows.
#include "busops/connection.h"
#include "e2e_support.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "support/fixture.h"

#include <QRegularExpression>
#include <sys/mount.h>

using namespace meridan;
using namespace meridan::test;

namespace {

// The demo boards in a root of their own, and meridan-cli on them.
struct Site : Fixture {
    BoardSim sim;
    std::pair<int, QString> cli(const QStringList &args)
    {
        const CliRun r = RunCli(QStringList{"--root", tmp.path()} + args, 60000);
        return {r.code, QString::fromLocal8Bit(r.out + r.err)};
    }
    // The demo configuration; with `copies`, its first slave again at stations 10 and up.
    QString configuration(int copies = 0)
    {
        BuildDemoConfiguration(ctx);
        for (int s = 10; s < 10 + copies; ++s) {
            st.image.slot(s) = st.image.slot(12);
            st.image.slot(s)[3] = uint8_t(s);
        }
        EXPECT_TRUE(SaveConfigFile(ctx, file("site.dp1")));
        return file("site.dp1");
    }
};

#define START_SITE(site)                                                                                               \
    if (BoardSim::binary().isEmpty())                                                                                  \
        GTEST_SKIP() << "meridan-boardsim is not built";                                                               \
    ASSERT_TRUE((site).sim.start((site).tmp.path(), {"--no-pace"})) << (site).sim.error.toStdString()

} // namespace

TEST(FullDisk, savingAConfiguration_failsAndLeavesTheOldFile)
{
    Site site;
    const QByteArray disk = QFile::encodeName(site.file("disk"));
    QDir().mkpath(site.file("disk"));
    if (::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs the privilege to mount)";
    const QString target = site.file("disk/AutoLoad.dp1");
    EXPECT_EQ(site.cli({"demo-config", target}).first, 0);
    const QByteArray before = site.read("disk/AutoLoad.dp1");
    QFile filler(site.file("disk/filler"));
    if (filler.open(QIODevice::WriteOnly))
        while (filler.write(QByteArray(4096, 'f')) > 0 && filler.flush()) {
        }
    const auto again = site.cli({"demo-config", "--force", target});
    EXPECT_EQ(again.first, 1);
    EXPECT_FALSE(again.second.contains("wrote")) << again.second.toStdString();
    BuildDemoConfiguration(site.ctx); // the window's Save goes the same way
    EXPECT_FALSE(SaveConfigFile(site.ctx, target));
    EXPECT_EQ(site.read("disk/AutoLoad.dp1"), before);
    filler.close();
    ::umount2(disk.constData(), MNT_DETACH);
}

TEST(DeadBoard, statusFromTheDPRamItLeftBehind_saysNoAnswer)
{
    Site site;
    START_SITE(site);
    ASSERT_EQ(site.cli({"run", "--hw", "tessel", site.configuration()}).first, 0);
    EXPECT_TRUE(site.cli({"status", "--hw", "tessel"}).second.contains("mode: Operate"));
    site.sim.kill(); // its DP-RAM file stays, reading as a running bus
    EXPECT_EQ(site.cli({"status", "--hw", "tessel"}), std::make_pair(1, QString("meridan-cli status: no answer from the master\n")));
}

TEST(DeadBoard, frozenNetworkBoard_failsEveryCallAndIsReportedLost)
{
    Site site;
    START_SITE(site);
    Panel panel;
    Connection conn{site.ctx, panel};
    ASSERT_TRUE(conn.ConnectItem(*iface::ParseHwName("dromon-tcp")));
    site.sim.freeze(true);
    iface::Link &link = conn.link();
    EXPECT_EQ(link.getByte(link.map().startByte), 0);
    EXPECT_TRUE(link.lost());
    EXPECT_FALSE(link.putJob(site.st.record));
    EXPECT_FALSE(link.getMessage());
    site.sim.freeze(false);
    EXPECT_TRUE(conn.CheckLost());
    EXPECT_EQ(site.st.melde1, "Communicationtimeout from TCP Port");
    EXPECT_FALSE(conn.connected());
}

TEST(LargeDownload, cutByATimeOut_saysItEndedHalfWay)
{
    Site site;
    START_SITE(site);
    // Paced by the status poll, 90 slave records take at least 95 polls of 400 ms over TCP.
    const auto r = site.cli({"run", "--hw", "ketch-tcp:Ketch", site.configuration(90), "--timeout", "8", "--tick"});
    EXPECT_EQ(r.first, 1);
    const auto m = QRegularExpression("the time-out ended the download half-way: (\\d+) of 90 slave records loaded").match(r.second);
    ASSERT_TRUE(m.hasMatch()) << r.second.toStdString();
    EXPECT_LT(m.captured(1).toInt(), 90);
}
