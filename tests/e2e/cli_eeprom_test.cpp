// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli burn, upload and erase against the simulated boards, one way of
// storing a configuration per connection: what is burnt survives a restart of
// the board, starts it and reads back the same; a board that dies in the
// middle costs nothing but a clear message.
#include "e2e_support.h"

using namespace meridan;
using namespace meridan::test;

namespace {

struct Way {
    const char *hw;     // the --hw argument
    const char *board;  // the simulator's board name
    const char *noData; // what Read says after Erase
    bool restarts;      // a burn restarts the master from the EEPROM
};
void PrintTo(const Way &w, std::ostream *os) { *os << w.hw; }

class EveryWay : public ::testing::TestWithParam<Way> {};

} // namespace

TEST_P(EveryWay, burnRestartStartFromEepromReadBack_givesTheSameConfiguration)
{
    if (BoardSim::binary().isEmpty())
        GTEST_SKIP() << "meridan-boardsim is not built";
    const Way w = GetParam();
    QTemporaryDir dir;
    auto sim = std::make_unique<BoardSim>();
    const auto restart = [&] { // the boards keep nothing but their EEPROM files
        sim = std::make_unique<BoardSim>();
        return sim->start(dir.path(), {"--no-pace"});
    };
    // Exit code and message log (with what went wrong) of one command.
    const auto cli = [&](const QStringList &args) {
        const CliRun r = RunCli(QStringList{"--root", dir.path(), "-v"} + args, 90000);
        return std::make_pair(r.code, r.err);
    };
    const auto reaches = [&](const char *mode) { return Eventually([&] { return sim->state(w.board)["mode"].toString() == mode; }); };
    ASSERT_TRUE(restart());
    const QString config = dir.filePath("setup/AutoLoad.dp1");
    const QString back = dir.filePath("back.dp1");
    ASSERT_EQ(cli({"demo-config"}).first, 0);
    const QByteArray original = ReadFile(config);
    auto [code, out] = cli({"burn", "--hw", w.hw, config, "--yes"});
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.endsWith("Programming O.K\n")) << out.toStdString();
    EXPECT_EQ(ReadFile(config), original);

    ASSERT_TRUE(restart());
    ASSERT_EQ(cli({"eeprom-start", "--hw", w.hw}).first, 0);
    EXPECT_TRUE(reaches("Operate"));
    // A running bus is restarted only when the user says so, on every way.
    std::tie(code, out) = cli({"burn", "--hw", w.hw, config});
    EXPECT_EQ(code, 3) << out.toStdString();
    EXPECT_TRUE(out.endsWith("give --yes to go ahead\n")) << out.toStdString();
    std::tie(code, out) = cli({"upload", "--hw", w.hw, back});
    ASSERT_EQ(code, 0) << out.toStdString();
    const auto dump = [&](const QString &file) { return RunCli({"dump", file}).out; };
    EXPECT_EQ(dump(back), dump(config));
    EXPECT_FALSE(dump(back).isEmpty());

    // Erased (when confirmed) and started from it: the master stays
    // Offline, and Read finds nothing and writes nothing.
    EXPECT_EQ(cli({"erase", "--hw", w.hw}).first, 3);
    ASSERT_EQ(cli({"erase", "--hw", w.hw, "--yes"}).first, 0);
    std::tie(code, out) = cli({"eeprom-start", "--hw", w.hw});
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.contains("the master did not start from its EEPROM: the board reports Offline")) << out.toStdString();
    EXPECT_TRUE(reaches("Offline"));
    const QByteArray kept = ReadFile(back);
    std::tie(code, out) = cli({"upload", "--hw", w.hw, back});
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.contains(QByteArray(w.noData) + "\n")) << out.toStdString();
    EXPECT_EQ(ReadFile(back), kept);
}

INSTANTIATE_TEST_SUITE_P(Demo, EveryWay,
                         ::testing::Values(Way{"ravelin-tcp", "OS9Target", "No Config loaded", true},
                                           Way{"ketch-tcp:Ketch", "Ketch", "No Config loaded", true},
                                           Way{"corvet-dpram", "Corvet", "Error: unvalid EEPROM data / no Busparameter ", false},
                                           Way{"dromon:com2", "Dromon", "Error: unvalid EEPROM data / no Busparameter ", false},
                                           Way{"ravelin:com1", "Ravelin", "Error: unvalid EEPROM data / no Busparameter ", true}),
                         [](const auto &info) { return std::string(info.param.board); });

// Weak cells of the Ravelin's EEPROM: byte 5 takes its second write and is
// rewritten once; byte 3075 takes none and ends the burn.
TEST(EepromFaults, weakCells_verifyRewritesThenErrorAt)
{
    DemoRoot d;
    if (!d.start({"--no-pace", "--eeprom-flaky", "5", "--eeprom-flaky", "0xC03:100"}))
        GTEST_SKIP() << d.sim.error.toStdString();
    const CliRun r = d.cli({"-v", "burn", "--hw", "ravelin:com1", d.config()});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains("Verify :  0 Cnt: 1 at  5") && !lines.contains("Verify :  0 Cnt: 2 at  5")) << r.err.toStdString();
    EXPECT_TRUE(lines.contains("Verify :  12 Cnt: 9 at  3075"));
    EXPECT_TRUE(lines.contains("Error at  3075"));
    EXPECT_EQ(lines.last(), "meridan-cli burn: Error at  3075");
}

// The board dies while a command runs (paced lines, so that it is caught in
// the middle): the command ends within its time-out budget with a message
// that says so, and the files stay as they were. On DP-RAM the master
// answers a burn job within milliseconds, too fast to catch; the job's
// time-out is a core test.
TEST(EepromFaults, boardKilledDuringBurnOrRead_clearMessageNoHangFilesUnchanged)
{
    const struct {
        const char *command, *hw;
        const char *prepare; // what gives the board something to read back
        const char *when;    // the line after which the board dies
        const char *says;
    } cases[] = {
        {"burn", "ravelin:com1", nullptr, "Program :  12", "Burn stopped: no answer from the EEPROM at address"},
        {"upload", "ravelin:com1", "burn", "UpLoad :  12 =  124 Byte´s", "Read stopped: no answer from the EEPROM at address"},
        {"upload", "corvet-dpram", "run", "Reading actual configuration", "Error loading Slave"},
        {"burn", "dromon-tcp", nullptr, "Burning actual configuration to EEProm ...", "Timeout"},
        {"upload", "dromon-tcp", "run", "Reading actual configuration", "Error loading Slave"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.hw) + " " + c.command);
        DemoRoot d;
        if (!d.start({}))
            GTEST_SKIP() << d.sim.error.toStdString();
        if (c.prepare) {
            ASSERT_EQ(d.cli({c.prepare, "--hw", c.hw, d.config()}).code, 0);
        }
        const QString target = c.prepare ? d.path("back.dp1") : d.config();
        const QByteArray before = ReadFile(target);
        const Caught k = KillBoardWhen(d.sim, {"--root", d.dir.path(), c.command, "--hw", c.hw, target}, c.when);
        EXPECT_EQ(k.code, 1) << k.out.constData();
        EXPECT_TRUE(k.out.contains(c.says)) << k.out.constData();
        EXPECT_EQ(ReadFile(target), before);
    }
}
