// What the outside can do to the interface layer: a board that freezes in the
// middle of a job, replies that cannot be answers, a FIFO where the driver
// table belongs, a line of text that would flood or steer a terminal.
#include "config/configfile.h"
#include "fakes.h"
#include "iface/hardware.h"
#include "iface/serial_links.h"
#include "iface/zelpci_cfg.h"

#include <QElapsedTimer>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

// A Ravelin with firmware 5.2: every mailbox byte is one command on the line.
struct ByteWise : LinkFixture {
    std::unique_ptr<SerialLink> link;
    ByteWise()
    {
        monitorOnNextPort([](FakeMonitor &) {});
        auto line = std::make_unique<SerialLine>(newPort(), pump, st.mbuf);
        line->onTimeout = [this] { ++timeouts; };
        line->deadline = &env.deadlineMs;
        line->open("com1", 9600);
        const HwChoice c = *ParseHwName("ravelin:com1");
        link = std::make_unique<SerialLink>(env, TraitsFor(c), MapOf(c), std::move(line));
    }
    // The board answers `answered` commands, then freezes.
    void freezeAfter(int answered)
    {
        serial->onWrite = [this, answered](const QByteArray &b) {
            monitor->mute = serial->tx.count('\r') > answered;
            monitor->take(b);
        };
    }
    qsizetype commands() const { return serial->tx.count('\r'); }
};

// A reader blocked in open() on a FIFO is let go after `ms`, so a test of
// code that blocks fails instead of hanging.
struct FifoAt {
    std::string path;
    std::atomic<bool> done{false};
    std::thread opener;
    FifoAt(const QString &p, int ms) : path(QFile::encodeName(p).toStdString())
    {
        ::mkfifo(path.c_str(), 0600);
        opener = std::thread([this, ms] {
            for (int waited = 0; !done; waited += 10) {
                const int fd = waited < ms ? -1 : ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                    return;
                }
                ::usleep(10000);
            }
        });
    }
    ~FifoAt()
    {
        done = true;
        opener.join();
    }
};

} // namespace

TEST(FrozenSerialBoard, midJob_theFirstTimeOutEndsTheJob)
{
    ByteWise f;
    f.freezeAfter(4); // both toggle bytes and two job bytes went through
    Record master;
    master[0] = '$';
    master[7] = 66;
    EXPECT_FALSE(f.link->putJob(master));
    EXPECT_TRUE(f.link->lost());
    EXPECT_EQ(f.commands(), 5);
    EXPECT_EQ(f.timeouts, 1);
    EXPECT_EQ(f.pump.nowMs(), kReplyPolls * kPollMs);
    EXPECT_EQ(f.link->faultText(), "no reply to W2127,0");
}

TEST(FrozenSerialBoard, theOperationsDeadline_endsEveryWaitAndNothingIsSentAfterIt)
{
    ByteWise f;
    f.monitor->mute = true;
    f.env.deadlineMs = 1200;
    f.link->getByte(0x400);
    EXPECT_TRUE(f.link->lost());
    EXPECT_EQ(f.pump.nowMs(), 1200);
    f.link->getMessage();
    f.link->line().quietWait(3000);
    EXPECT_EQ(f.commands(), 1);
    EXPECT_EQ(f.pump.nowMs(), 1200);
}

TEST(SerialLineFaults, aReplyThatIsNotTheAnswer_losesTheLineForGood)
{
    ByteWise f;
    f.serial->onWrite = [&](const QByteArray &) { f.serial->rx += "W52"; };
    f.link->getByte(0x400);
    EXPECT_TRUE(f.link->lost());
    EXPECT_EQ(f.link->faultText(), "line fault: reply \"W52\" to R400");
    // A proper answer afterwards does not make the line trustworthy again.
    f.serial->onWrite = [&](const QByteArray &) { f.serial->rx += "R52"; };
    EXPECT_EQ(f.link->getByte(0x400), 0x52);
    EXPECT_TRUE(f.link->lost());

    ByteWise g;
    g.serial->onWrite = [&](const QByteArray &) { g.serial->rx += "R\x1b["; };
    g.link->getByte(0x400);
    EXPECT_EQ(g.link->faultText(), "line fault: reply \"R\\x1B[\" to R400");
}

TEST(SerialLineFaults, liveListFrames_onlyForAnIndexAskedForAndOnlyWithFourBytes)
{
    ByteWise f;
    SerialLine &line = f.link->line();
    line.orderLiveList(4);
    const auto frame = [](int index, int length) {
        return QByteArray("\x15\x00\x01", 3) + char(index) + char(length) + QByteArray("\x0F\xF0\x01\x02", 4);
    };
    f.serial->rx = frame(6, 4) + frame(4, 4);
    line.receiveMessage();
    EXPECT_EQ(line.runList[4], 0x0F);
    EXPECT_EQ(line.runList[6], 0); // nobody asked for byte 6
    EXPECT_FALSE(f.link->lost());
    line.orderLiveList(6);
    f.serial->rx = frame(6, 9);
    line.receiveMessage();
    EXPECT_EQ(line.runList[6], 0);
    EXPECT_TRUE(f.link->lost());
}

TEST(ZelpciCfgFaults, aFifoInItsPlace_isRefusedAtOnce)
{
    Fixture f;
    FifoAt fifo(f.root.path("driver/zelpci.cfg"), 3000);
    QElapsedTimer t;
    t.start();
    const DriverConfig cfg = DriverConfig::load(f.root);
    EXPECT_LT(t.elapsed(), 2000);
    ASSERT_EQ(cfg.warnings.size(), 1);
    EXPECT_EQ(cfg.warnings[0], "cannot be read: not a regular file");
    EXPECT_EQ(cfg.serialDevice(1), f.root.path("driver/com1")); // the defaults stand

    FifoAt dp1(f.file("fifo.dp1"), 3000);
    QString damage;
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("fifo.dp1"), &damage), -1);
    EXPECT_EQ(damage, "not a regular file");
    EXPECT_LT(t.elapsed(), 2000);
}

TEST(ZelpciCfgFaults, aHugeLineWithEscapes_isEchoedShortAndHarmless)
{
    Fixture f;
    f.write("driver/zelpci.cfg", "[serial]\n\x1b]0;owned\x07" + QByteArray(1 << 20, 'x') + "\n");
    const DriverConfig cfg = DriverConfig::load(f.root);
    ASSERT_EQ(cfg.warnings.size(), 1);
    // The file is read up to 1 MiB: the line is what of it follows "[serial]\n".
    EXPECT_EQ(cfg.warnings[0], "line 2: not a section or key=value: \\x1B]0;owned\\x07" + QString(64, QLatin1Char('x'))
                                   + QStringLiteral("... (%1 characters in all)").arg((1 << 20) - 9));
}
