// The host stack against meridan-boardsim on every transport: the DP-RAM
// files, the pseudo-terminals and TCP on ports the system picked.
#include "boardsim.h"
#include "iface/board.h"
#include "iface/connect.h"
#include "iface/dpram.h"
#include "iface/hwname.h"
#include "iface/mailbox.h"
#include "iface/serial.h"
#include "iface/startup.h"
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
    Board board{root, pump};
    BoardSim sim;

    Live()
    {
        root.ensureLayout();
        st.language = kEnglish;
        ctx.board = &board;
    }
    ~Live() { Disconnect(ctx); }

    bool connect(const QString &hw)
    {
        const auto c = ParseHwName(hw);
        return c && ConnectHw(ctx, *c);
    }

    // Hands over a set-mode job and waits (bounded) for its E7 reply.
    bool setMode(uint8_t mode)
    {
        st.record.clear();
        st.record[0] = 0x27;
        st.record[3] = mode;
        bool sent = false;
        for (int i = 0; i < 200 && !sent; ++i) {
            sent = PutKomm(ctx) == 1;
            if (!sent)
                pump.sleepMs(5);
        }
        if (!sent)
            return false;
        for (int i = 0; i < 400; ++i) {
            if (GetMeld(ctx) == 1 && st.mbuf[0] == 0xE7)
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

struct Connection {
    const char *hw;
    uint8_t kind;
    double firmware;
};

void PrintTo(const Connection &c, std::ostream *os)
{
    *os << c.hw;
}

class EveryConnection : public ::testing::TestWithParam<Connection> {};

} // namespace

TEST_P(EveryConnection, connectAndSetMode_findTheMasterAndChangeTheBusState)
{
    Live f;
    START_SIM(f);
    const Connection c = GetParam();
    ASSERT_TRUE(f.connect(c.hw)) << f.st.melde1.toStdString();
    EXPECT_EQ(f.st.interfaceKind, c.kind);
    EXPECT_DOUBLE_EQ(f.board.firmwareVersion, c.firmware);
    EXPECT_EQ(f.board.view.betriebsart, c.firmware > 5.2 || c.kind != 2 ? "Offline" : "");
    EXPECT_EQ(GetByte(f.ctx, f.board.map.startByte), kReady);

    ASSERT_TRUE(f.setMode(0x40));
    EXPECT_EQ(GetByte(f.ctx, f.board.map.busState), 1);
    ASSERT_TRUE(f.setMode(0x00));
    EXPECT_EQ(GetByte(f.ctx, f.board.map.busState), 0);
    EXPECT_FALSE(f.board.serialTimeout);
    EXPECT_TRUE(f.ui.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(BoardSim, EveryConnection,
                         ::testing::Values(Connection{"tessel", 1, 5.3}, Connection{"corvet-dpram", 1, 5.3},
                                           Connection{"ravelin:com1", 2, 5.2}, Connection{"dromon:com2", 3, 5.3},
                                           Connection{"ravelin-tcp", 4, 5.3}, Connection{"dromon-tcp", 4, 5.3},
                                           Connection{"ketch-tcp:Ketch", 4, 5.3}),
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
        SetByte(f.ctx, f.board.map.startByte, 1); // a stopped master takes no jobs
        PauseWithEvents(f.ctx, 20);
        f.st.record.clear();
        f.st.record[0] = 0x27;
        const uint8_t before = GetByte(f.ctx, f.board.map.jobToggle);
        EXPECT_EQ(PutKomm(f.ctx), 1) << hw;
        EXPECT_EQ(GetByte(f.ctx, f.board.map.jobToggle), (before ^ 1)) << hw;
        f.st.record[3] = 0x40;
        EXPECT_EQ(PutKomm(f.ctx), 0) << hw;
        EXPECT_EQ(GetByte(f.ctx, f.board.map.jobArea + 3), 0x00) << hw; // the first job stays as written
    }
}

TEST(BoardSimSerial, messageFrameWaitingWhenReadStarts_isReportedByTheNextGetMeld)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon:com2"));
    ASSERT_TRUE(f.board.frameMode);
    f.st.record.clear();
    f.st.record[0] = 0x27;
    f.st.record[3] = 0x40;
    SendJob(f.ctx);
    OrderMeld(f.ctx, 0);
    f.board.msgRequestCounter = 5;
    SerialCollect(f.ctx, 200); // the E7 frame is waiting now
    ASSERT_GT(f.board.serial->bytesAvailable(), 0);
    EXPECT_EQ(SerRead(f.ctx, f.board.map.busState), 1);
    EXPECT_EQ(f.board.msgPending, 1);
    EXPECT_EQ(GetMeld(f.ctx), 1);
    EXPECT_EQ(f.st.mbuf[0], 0xE7);
    EXPECT_EQ(f.st.mbuf[3], 0x40);
}

TEST(BoardSimStartUp, tesselWithoutLoadRequest_getsOnlyThe331Image)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("tessel"));
    EXPECT_EQ(f.board.driver.PCI_GetByte(0x0D3B), 1); // fresh from power-up
    ASSERT_TRUE(StartUp(f.ctx));
    EXPECT_EQ(f.sim.state("Tessel").value("imagesLoaded").toInt(), 2);
    EXPECT_EQ(f.board.driver.PCI_GetByte(0x0D3B), 0);
    ASSERT_TRUE(StartUp(f.ctx));
    EXPECT_EQ(f.sim.state("Tessel").value("imagesLoaded").toInt(), 3);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(GetByte(f.ctx, 0x1953), 0x53);
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
    EXPECT_TRUE(StartUp(f.ctx));
    ASSERT_FALSE(f.ui.shown.empty());
    EXPECT_EQ(f.ui.shown[0].text, "Error while loading 331: 19");
    EXPECT_EQ(f.ui.shown[0].title, "Loader:");
    EXPECT_EQ(GetByte(f.ctx, f.board.map.startByte), kReady);
}

TEST(BoardSimFaults, frozenNetworkBoard_givesFailureAndTheTimeoutFlag)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon-tcp"));
    f.sim.freeze(true);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(GetByte(f.ctx, f.board.map.startByte), 0);
    EXPECT_TRUE(f.board.serialTimeout);
    EXPECT_EQ(PutKomm(f.ctx), 0);
    EXPECT_EQ(GetMeld(f.ctx), 0);
    EXPECT_LT(t.elapsed(), 5000);
    f.sim.freeze(false);
    ConnectionLost(f.ctx);
    EXPECT_EQ(f.st.melde1, "Communicationtimeout from TCP Port");
    EXPECT_EQ(f.st.interfaceKind, 0);
}

TEST(BoardSimFaults, killedNetworkBoard_givesFailureAtOnce)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("ketch-tcp:Ketch"));
    f.sim.kill();
    EXPECT_EQ(GetByte(f.ctx, f.board.map.startByte), 0);
    EXPECT_TRUE(f.board.serialTimeout);
    EXPECT_EQ(GetMultiByteToMbuf(f.ctx, 0x3000, 16, 0), 0);
}

TEST(BoardSimFaults, killedSerialBoard_closesThePortAndTimesOut)
{
    Live f;
    START_SIM(f);
    ASSERT_TRUE(f.connect("dromon:com2"));
    f.sim.kill();
    QElapsedTimer t;
    t.start();
    SerRead(f.ctx, 0x400);
    EXPECT_TRUE(f.board.serialTimeout);
    EXPECT_EQ(f.ui.lastText(), "timeout");
    EXPECT_FALSE(f.board.serial->isOpen());
    EXPECT_EQ(GetMeld(f.ctx), 0);
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
