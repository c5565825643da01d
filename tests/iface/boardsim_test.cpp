// The host stack against meridan-boardsim where the fakes cannot stand in:
// a network board that freezes, and peek/poke on every transport (the runs on
// every connection, the boot loader and boards that die are end-to-end tests).
#include "boardsim.h"
#include "busops/connection.h"
#include "support/fixture.h"

#include <QElapsedTimer>

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
};

#define START_SIM(f)                                                                                                   \
    if (BoardSim::binary().isEmpty())                                                                                  \
        GTEST_SKIP() << "meridan-boardsim is not built";                                                               \
    ASSERT_TRUE((f).sim.start((f).root.dir())) << (f).sim.error.toStdString()

} // namespace

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

TEST(BoardSimCli, peekAndPoke_workOverEveryConnection)
{
    Live f;
    START_SIM(f);
    auto cli = [&](const QStringList &args) {
        const CliRun r = RunCli(QStringList{"--root", f.root.dir()} + args, 30000);
        return std::make_pair(r.code, r.out);
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
