// The host stack against meridan-boardsim on every transport: the DP-RAM
// files, the pseudo-terminals and TCP on ports the system picked.
#include "boardsim.h"
#include "busops/connection.h"
#include "iface/dpram_link.h"
#include "iface/network_link.h"
#include "iface/serial_links.h"
#include "support/fixture.h"

#include <QElapsedTimer>
#include <QJsonArray>

using namespace meridan;
using namespace meridan::iface;
using namespace meridan::test;

namespace {

struct Live {
    QTemporaryDir tmp;
    Root root{tmp.path()};
    State st;
    ScriptedPrompts ui;
    QtPump pump;
    Context ctx{st, ui, pump, root};
    Panel panel;
    meridan::Connection conn{ctx, panel};
    BoardSim sim;

    Live()
    {
        root.ensureLayout();
        st.language = kEnglish;
    }

    bool connect(const QString &hw)
    {
        const auto c = ParseHwName(hw);
        return c && conn.ConnectItem(*c);
    }
    Link &link() { return conn.link(); }

    // Hands over a set-mode job and waits (bounded) for its E7 reply.
    bool setMode(uint8_t mode)
    {
        st.record.clear();
        SetJob(st.record, JobCode::SetMode, mode);
        bool sent = false;
        for (int i = 0; i < 200 && !sent; ++i) {
            sent = link().putJob(st.record);
            if (!sent)
                pump.sleepMs(5);
        }
        if (!sent)
            return false;
        for (int i = 0; i < 400; ++i) {
            if (link().getMessage() && st.mbuf[0] == 0xE7)
                return st.mbuf[2] == 0 && st.mbuf[3] == mode;
            pump.sleepMs(5);
        }
        return false;
    }
};

#define START_SIM(f)                                                                                                   \
    if (BoardSim::binary().isEmpty())                                                                                  \
        GTEST_SKIP() << "meridan-boardsim is not built";                                                               \
    ASSERT_TRUE((f).sim.start((f).root.dir())) << (f).sim.error.toStdString()

struct Way {
    const char *hw;
    InterfaceKind kind;
    double firmware;
};

void PrintTo(const Way &c, std::ostream *os)
{
    *os << c.hw;
}

class EveryConnection : public ::testing::TestWithParam<Way> {};

} // namespace

TEST_P(EveryConnection, connectAndSetMode_findTheMasterAndChangeTheBusState)
{
    Live f;
    START_SIM(f);
    const Way c = GetParam();
    ASSERT_TRUE(f.connect(c.hw)) << f.st.melde1.toStdString();
    Link &link = f.link();
    EXPECT_EQ(link.traits().kind, c.kind);
    EXPECT_DOUBLE_EQ(link.firmwareVersion, c.firmware);
    EXPECT_EQ(f.panel.betriebsart(), c.firmware > 5.2 || c.kind != InterfaceKind::Com1 ? "Offline" : "");
    EXPECT_EQ(link.getByte(link.map().startByte), kReady);

    ASSERT_TRUE(f.setMode(0x40));
    EXPECT_EQ(link.getByte(link.map().busState), 1);
    ASSERT_TRUE(f.setMode(0x00));
    EXPECT_EQ(link.getByte(link.map().busState), 0);
    EXPECT_FALSE(link.lost());
    EXPECT_TRUE(f.ui.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(BoardSim, EveryConnection,
                         ::testing::Values(Way{"tessel", InterfaceKind::Dpram, 5.3}, Way{"corvet-dpram", InterfaceKind::Dpram, 5.3},
                                           Way{"ravelin:com1", InterfaceKind::Com1, 5.2}, Way{"dromon:com2", InterfaceKind::Com2, 5.3},
                                           Way{"ravelin-tcp", InterfaceKind::Network, 5.3}, Way{"dromon-tcp", InterfaceKind::Network, 5.3},
                                           Way{"ketch-tcp:Ketch", InterfaceKind::Network, 5.3}),
                         [](const auto &info) {
                             std::string n = info.param.hw;
                             for (char &ch : n)
                                 if (!isalnum(uchar(ch)))
                                     ch = '_';
                             return n;
                         });

TEST(BoardSimHandshake, stoppedMaster_leavesTheFirstJobPendingAndRefusesTheSecond)
{
    for (const char *hw : {"tessel", "corvet-dpram"}) {
        Live f;
        START_SIM(f);
        ASSERT_TRUE(f.connect(hw)) << hw;
        Link &link = f.link();
        link.setByte(link.map().startByte, 1); // a stopped master takes no jobs
        f.conn.PauseWithEvents(20);
        f.st.record.clear();
        f.st.record[0] = 0x27;
        const uint8_t before = link.getByte(link.map().jobToggle);
        EXPECT_TRUE(link.putJob(f.st.record)) << hw;
        EXPECT_EQ(link.getByte(link.map().jobToggle), (before ^ 1)) << hw;
        f.st.record[3] = 0x40;
        EXPECT_FALSE(link.putJob(f.st.record)) << hw;
        EXPECT_EQ(link.getByte(link.map().jobArea + 3), 0x00) << hw; // the first job stays as written
    }
}

TEST(BoardSimSerial, messageFrameWaitingWhenReadStarts_isReportedByTheNextGetMeld)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon:com2"));
    auto *link = dynamic_cast<FrameLink *>(&f.link());
    ASSERT_NE(link, nullptr);
    f.st.record.clear();
    SetJob(f.st.record, JobCode::SetMode, 0x40);
    link->putJob(f.st.record);
    link->line().orderMessage(0);
    link->line().msgRequestCounter = 5;
    ASSERT_TRUE(link->line().waitForBytes(5, 2000)); // the E7 frame is waiting now
    EXPECT_EQ(link->getByte(link->map().busState), 1);
    EXPECT_TRUE(link->getMessage());
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0x40);
}

TEST(BoardSimStartUp, tesselWithoutLoadRequest_getsOnlyThe331Image)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("tessel"));
    EXPECT_EQ(f.link().getByte(0x0D3B), 1); // fresh from power-up
    ASSERT_TRUE(f.conn.StartUp());
    EXPECT_EQ(f.sim.state("Tessel").value("imagesLoaded").toInt(), 2);
    EXPECT_EQ(f.link().getByte(0x0D3B), 0);
    ASSERT_TRUE(f.conn.StartUp());
    EXPECT_EQ(f.sim.state("Tessel").value("imagesLoaded").toInt(), 3);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(f.link().getByte(0x1953), 0x53);
}

TEST(BoardSimStartUp, badImage_showsItsLoaderCodeAndTheCardStillComesBack)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("tessel"));
    QFile img(f.root.path("download/DPM1.lo"));
    ASSERT_TRUE(img.open(QIODevice::ReadWrite));
    QByteArray bytes = img.readAll();
    bytes[bytes.size() - 1] = char(bytes.back() ^ 0xFF); // CRC no longer matches
    img.seek(0);
    img.write(bytes);
    img.close();
    EXPECT_TRUE(f.conn.StartUp());
    ASSERT_FALSE(f.ui.shown.empty());
    EXPECT_EQ(f.ui.shown[0].text, "Error while loading 331: 19");
    EXPECT_EQ(f.ui.shown[0].title, "Loader:");
    EXPECT_EQ(f.link().getByte(f.link().map().startByte), kReady);
}

TEST(BoardSimFaults, frozenNetworkBoard_givesFailureAndTheTimeoutFlag)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon-tcp"));
    f.sim.freeze(true);
    QElapsedTimer t;
    t.start();
    Link &link = f.link();
    EXPECT_EQ(link.getByte(link.map().startByte), 0);
    EXPECT_TRUE(link.lost());
    EXPECT_FALSE(link.putJob(f.st.record));
    EXPECT_FALSE(link.getMessage());
    EXPECT_LT(t.elapsed(), 5000);
    f.sim.freeze(false);
    EXPECT_TRUE(f.conn.CheckLost());
    EXPECT_EQ(f.st.melde1, "Communicationtimeout from TCP Port");
    EXPECT_FALSE(f.conn.connected());
}

TEST(BoardSimFaults, killedNetworkBoard_givesFailureAtOnce)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("ketch-tcp:Ketch"));
    f.sim.kill();
    auto *link = dynamic_cast<NetworkLink *>(&f.link());
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->getByte(link->map().startByte), 0);
    EXPECT_TRUE(link->lost());
    link->getMultiByte(0x3000, 16, 0);
}

TEST(BoardSimFaults, killedSerialBoard_closesThePortAndTimesOut)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon:com2"));
    f.sim.kill();
    QElapsedTimer t;
    t.start();
    auto *link = dynamic_cast<SerialLink *>(&f.link());
    ASSERT_NE(link, nullptr);
    link->getByte(0x400);
    EXPECT_TRUE(link->lost());
    EXPECT_EQ(f.ui.lastText(), "timeout");
    EXPECT_FALSE(link->line().isOpen());
    EXPECT_FALSE(link->getMessage());
    EXPECT_LT(t.elapsed(), 6000);
}

TEST(BoardSimCli, peekAndPoke_workOverEveryConnection)
{
    Live f;
    START_SIM(f);
    auto cli = [&](const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), QStringList{"--root", f.root.dir()} + args);
        p.waitForFinished(30000);
        return std::make_pair(p.exitCode(), p.readAllStandardOutput());
    };
    EXPECT_EQ(cli({"peek", "--hw", "tessel", "0x0C", "3"}), std::make_pair(0, QByteArray("5A 45 4C  ZEL\n")));
    int value = 0x41;
    for (const char *hw : {"corvet-dpram", "ravelin:com1", "dromon:com2", "ravelin-tcp", "dromon-tcp", "ketch-tcp:Ketch"}) {
        // A byte the firmware leaves alone, in every map.
        EXPECT_EQ(cli({"poke", "--hw", hw, "0x10", QString::number(value)}).first, 0) << hw;
        const QByteArray hex = QByteArray::number(value, 16).toUpper();
        EXPECT_EQ(cli({"peek", "--hw", hw, "16", "2"}), std::make_pair(0, hex + " 00  " + char(value) + ".\n")) << hw;
        ++value;
    }
    // Bad arguments are usage errors; a board that does not answer is a failure.
    for (const QStringList &bad : {QStringList{"peek", "0x0C"}, {"peek", "--hw", "pci", "0"}, {"peek", "--hw", "tessel", "0x10000"},
                                   {"peek", "--hw", "tessel", "0xFFFF", "2"}, {"poke", "--hw", "tessel", "0", "256"}})
        EXPECT_EQ(cli(bad).first, 2) << bad.join(' ').toStdString();
    EXPECT_EQ(cli({"peek", "--hw", "vme:2", "0"}).first, 1);
}
