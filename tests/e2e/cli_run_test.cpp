// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli run, status, mode, gc, diag and eeprom-start against the demo
// boards: what a user does headless on site, on every kind of connection.
#include "core/context.h"
#include "e2e_support.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "explain_cases.h"
#include "support/fixture.h"
#include "support/test_gsd.h"

#include <QJsonArray>

using namespace meridan;
using namespace meridan::test;

namespace {

using DemoBoards = DemoSuite;

struct Hw {
    const char *name;  // the --hw argument
    const char *board; // the simulator's board name
};
void PrintTo(const Hw &hw, std::ostream *os) { *os << hw.name; }

// Every connection, downloading as fast as the board answers and paced by the
// status poll: the exchange and what the board receives are the same.
class RunOnEveryConnection : public DemoBoards, public ::testing::WithParamInterface<std::tuple<Hw, bool>> {};

} // namespace

TEST_P(RunOnEveryConnection, reachesOperateAndTheBoardHoldsTheImageBytes)
{
    const Hw hw = std::get<0>(GetParam());
    const bool tick = std::get<1>(GetParam());
    QStringList args{"-v", "run", "--hw", hw.name, demoFile(), "--timeout", "40"};
    if (tick)
        args << "--tick";
    const CliRun r = cli(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(r.out, "Operate\n");
    // The message log: the message line texts as they appeared, in the order of the exchange.
    const QStringList lines = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    const auto at = [&](const QString &t) { return lines.indexOf(t); };
    EXPECT_GE(at("init"), 0);
    EXPECT_LT(at("init"), at("Master record loaded"));
    EXPECT_LT(at("Master record loaded"), at("Slave  12 record loaded"));
    EXPECT_LT(at("Slave  12 record loaded"), at("Slave  40 record loaded"));

    // What the board received is the image, record for record.
    Fixture f;
    ASSERT_EQ(LoadConfigFile(f.ctx, demoFile()), 5);
    EXPECT_TRUE(Eventually([&] { return demo_->sim.state(hw.board)["mode"].toString() == "Operate"; }));
    const QJsonObject state = demo_->sim.state(hw.board);
    const QJsonArray stations = state["stations"].toArray();
    ASSERT_EQ(stations.size(), 5);
    for (const QJsonValue &v : stations) {
        const QByteArray got = QByteArray::fromHex(v.toObject()["record"].toString().toLatin1());
        ASSERT_GT(got.size(), 8);
        const int station = uint8_t(got[3]);
        const Record &slot = f.st.image.slot(station);
        EXPECT_EQ(got, QByteArray(reinterpret_cast<const char *>(slot.bytes.data()), got.size())) << "station " << station;
    }
}

INSTANTIATE_TEST_SUITE_P(Demo, RunOnEveryConnection,
                         ::testing::Combine(::testing::Values(Hw{"tessel", "Tessel"}, Hw{"corvet-dpram", "Corvet"},
                                                              Hw{"ravelin:com1", "Ravelin"}, Hw{"dromon:com2", "Dromon"},
                                                              Hw{"ravelin-tcp", "OS9Target"}, Hw{"ketch-tcp:Ketch", "Ketch"}),
                                            ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).board) + (std::get<1>(info.param) ? "_tick" : "_fast");
                         });

TEST_F(DemoBoards, noBoardOrNoEeprom_failsClearly)
{
    EXPECT_EQ(cli({"run", "--hw", "vme:3", demoFile()}).code, 1); // no board in that slot
    EXPECT_EQ(cli({"peek", "--hw", "vme:2", "0"}).code, 1);
    const CliRun r = cli({"eeprom-start", "--hw", "tessel"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "meridan-cli eeprom-start: Only Ravelin or TCP/IP Connection\n");
}

TEST_F(DemoBoards, peekAndPoke_workOverEveryConnection)
{
    const auto run = [](const QStringList &args) {
        const CliRun r = cli(args);
        return std::make_pair(r.code, r.out);
    };
    EXPECT_EQ(run({"peek", "--hw", "tessel", "0x0C", "3"}), std::make_pair(0, QByteArray("5A 45 4C  ZEL\n")));
    int value = 0x41;
    for (const char *hw : {"corvet-dpram", "ravelin:com1", "dromon:com2", "ravelin-tcp", "dromon-tcp", "ketch-tcp:Ketch"}) {
        // A byte the firmware leaves alone, in every map.
        EXPECT_EQ(run({"poke", "--hw", hw, "0x10", QString::number(value)}).first, 0) << hw;
        const QByteArray hex = QByteArray::number(value, 16).toUpper();
        EXPECT_EQ(run({"peek", "--hw", hw, "16", "2"}), std::make_pair(0, hex + " 00  " + char(value) + ".\n")) << hw;
        ++value;
    }
    // The last byte of the address range can be read.
    EXPECT_EQ(run({"peek", "--hw", "tessel", "0xFFFF", "1"}).first, 0);
}

// A board that dies in the middle of a download is reported, and nothing hangs
// (the window's tests kill a Ravelin on COM1 and a Ketch over TCP).
TEST(DemoBoardKilled, duringRunOnADromon_reportsTheLostConnection)
{
    DemoRoot d;
    if (!d.start({}))
        GTEST_SKIP() << d.sim.error.toStdString();
    const Caught c = KillBoardWhen(d.sim, {"--root", d.dir.path(), "run", "--hw", "dromon:com2", d.config(), "--timeout", "60"}, "Master record loaded");
    EXPECT_EQ(c.code, 1) << c.out.constData();
    EXPECT_TRUE(c.out.contains("Communicationtimeout from Ravelin/Dromon")) << c.out.constData();
}

// The explainer through meridan-cli on a simulated bus that shows each case:
// station 12 missing, 20 with other modules that it reports, 30 with channel
// diagnosis, 40 with the demo's wrong ident. The lines are the core's.
TEST(ExplainOnTheBus, diagExplain_printsTheExplanationOfEachCase)
{
    if (BoardSim::binary().isEmpty())
        GTEST_SKIP() << "meridan-boardsim is not built";
    QTemporaryDir dir;
    const Root root(dir.path());
    root.ensureLayout();
    InstallTestGsd(root);
    ASSERT_TRUE(WriteFile(dir.filePath("bus.txt"), "20 ident=C0DE cfg=11,23 report=modules\n"
                                                   "30 ident=4224 cfg=10,20 diag=02,01,42,02,81,80,21,81,81,10\n"
                                                   "40 ident=4225 cfg=10\n"));
    BoardSim sim;
    ASSERT_TRUE(sim.start(dir.path(), {"--no-pace", "--bus", dir.filePath("bus.txt")})) << sim.error.toStdString();
    const QStringList inRoot = {"--root", dir.path()};
    ASSERT_EQ(RunCli(inRoot + QStringList{"demo-config"}).code, 0);
    ASSERT_EQ(RunCli(inRoot + QStringList{"run", "--hw", "tessel", dir.filePath("setup/AutoLoad.dp1")}).code, 0);
    int shown = 0;
    for (const ExplainCase &c : ExplainCases()) {
        if (!c.onBus)
            continue;
        SCOPED_TRACE(c.station);
        const CliRun r = RunCli(inRoot + QStringList{"diag", "--hw", "tessel", QString::number(c.station), "--explain"});
        ASSERT_EQ(r.code, 0) << r.err.constData();
        const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(lines.mid(7).join('\n').toStdString(), c.lines.join('\n').toStdString()); // after the decoded bytes
        ++shown;
    }
    EXPECT_EQ(shown, 4);
}
