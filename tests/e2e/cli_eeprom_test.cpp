// meridan-cli burn, upload and erase against the simulated boards, one way of
// storing a configuration per connection: what is burnt survives a restart of
// the board, starts it, and reads back byte for byte; a board that dies in
// the middle costs nothing but a clear message.
#include "boardsim.h"
#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <functional>

using namespace meridan;
using namespace meridan::test;

namespace {

struct CliResult {
    int code = -1;
    QString out, err;
};

const QString kCli = QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli");

CliResult Cli(const QString &root, const QStringList &args, int timeoutMs = 90000)
{
    QProcess p;
    p.start(kCli, QStringList{"--root", root} + args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

bool Eventually(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Way {
    const char *hw;      // the --hw argument
    const char *board;   // the simulator's board name
    const char *noData;  // what Read says after Erase
};
void PrintTo(const Way &w, std::ostream *os) { *os << w.hw; }

class EveryWay : public ::testing::TestWithParam<Way> {
protected:
    void SetUp() override
    {
        if (BoardSim::binary().isEmpty())
            GTEST_SKIP() << "meridan-boardsim is not built";
        restart();
        ASSERT_EQ(Cli(dir.path(), {"demo-config"}).code, 0);
    }
    // The boards start afresh; each keeps its EEPROM file.
    void restart()
    {
        sim = std::make_unique<BoardSim>();
        ASSERT_TRUE(sim->start(dir.path(), {"--no-pace"})) << sim->error.toStdString();
    }
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString mode(const char *board) const { return sim->state(board)["mode"].toString(); }

    QTemporaryDir dir;
    std::unique_ptr<BoardSim> sim;
};

} // namespace

TEST_P(EveryWay, burnRestartStartFromEepromReadBack_givesTheSameConfiguration)
{
    const Way w = GetParam();
    const QString config = file("setup/AutoLoad.dp1");
    const QByteArray original = ReadAll(config);
    CliResult r = Cli(dir.path(), {"burn", "--hw", w.hw, config, "--yes"});
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("Programming O.K\n")) << r.out.toStdString();
    EXPECT_EQ(ReadAll(config), original);

    // The board forgets everything but its EEPROM file.
    restart();
    ASSERT_EQ(Cli(dir.path(), {"eeprom-start", "--hw", w.hw}).code, 0);
    EXPECT_TRUE(Eventually([&] { return mode(w.board) == "Operate"; }));

    r = Cli(dir.path(), {"upload", "--hw", w.hw, file("back.dp1")});
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    const CliResult burnt = Cli(dir.path(), {"dump", config});
    const CliResult back = Cli(dir.path(), {"dump", file("back.dp1")});
    ASSERT_EQ(back.code, 0);
    EXPECT_EQ(back.out, burnt.out);

    // Erased and started from it: Read finds nothing and writes nothing; an
    // older file stays.
    ASSERT_EQ(Cli(dir.path(), {"erase", "--hw", w.hw}).code, 0);
    ASSERT_EQ(Cli(dir.path(), {"eeprom-start", "--hw", w.hw}).code, 0);
    EXPECT_TRUE(Eventually([&] { return mode(w.board) == "Offline"; }));
    const QByteArray kept = ReadAll(file("back.dp1"));
    r = Cli(dir.path(), {"upload", "--hw", w.hw, file("back.dp1")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.endsWith(QString::fromLatin1(w.noData) + "\n")) << r.out.toStdString();
    EXPECT_EQ(ReadAll(file("back.dp1")), kept);
}

INSTANTIATE_TEST_SUITE_P(Demo, EveryWay,
                         ::testing::Values(Way{"ravelin-tcp", "OS9Target", "No Config loaded"},
                                           Way{"ketch-tcp:Ketch", "Ketch", "No Config loaded"},
                                           Way{"corvet-dpram", "Corvet", "Error: unvalid EEPROM data / no Busparameter "},
                                           Way{"dromon:com2", "Dromon", "Error: unvalid EEPROM data / no Busparameter "},
                                           Way{"ravelin:com1", "Ravelin", "Error: unvalid EEPROM data / no Busparameter "}),
                         [](const auto &info) { return std::string(info.param.board); });

// A weak EEPROM cell on the serial Ravelin: a byte that takes its second write
// is rewritten once and the burn goes on; one that takes none ends it.
TEST(EepromFaults, weakCells_verifyRewritesThenErrorAt)
{
    if (BoardSim::binary().isEmpty())
        GTEST_SKIP() << "meridan-boardsim is not built";
    QTemporaryDir dir;
    BoardSim sim;
    ASSERT_TRUE(sim.start(dir.path(), {"--no-pace", "--eeprom-flaky", "5", "--eeprom-flaky", "0xC03:100"})) << sim.error.toStdString();
    ASSERT_EQ(Cli(dir.path(), {"demo-config"}).code, 0);
    const CliResult r = Cli(dir.path(), {"burn", "--hw", "ravelin:com1", dir.filePath("setup/AutoLoad.dp1")});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains("Verify :  0 Cnt: 1 at  5")) << r.out.toStdString();
    EXPECT_FALSE(lines.contains("Verify :  0 Cnt: 2 at  5"));
    EXPECT_TRUE(lines.contains("Verify :  12 Cnt: 9 at  3075"));
    EXPECT_EQ(lines.last(), "Error at  3075");
}

// The board dies while a command runs: the command ends within its time-out
// budget with a message that says so, and the files stay as they were. (On
// DP-RAM the master answers a burn job within milliseconds, before it could
// be caught; the job's time-out is a core test.)
TEST(EepromFaults, boardKilledDuringBurnOrRead_clearMessageNoHangFilesUnchanged)
{
    if (BoardSim::binary().isEmpty())
        GTEST_SKIP() << "meridan-boardsim is not built";
    struct Case {
        const char *command;
        const char *hw;
        const char *prepare; // a command that gives the board something to read back
        const char *when;    // the line after which the board dies
        bool freeze;         // stopped at once, so that the command is caught waiting
        const char *says;    // a line of the output
    };
    const Case cases[] = {
        {"burn", "ravelin:com1", nullptr, "Program :  12", false, "Burn stopped: no answer from the EEPROM at address"},
        {"upload", "ravelin:com1", "burn", "UpLoad :  12 =  124 Byte´s", false, "Read stopped: no answer from the EEPROM at address"},
        {"upload", "dromon:com2", "run", "Reading actual configuration", true, "Error loading Slave"},
        {"upload", "corvet-dpram", "run", "Reading actual configuration", true, "Error loading Slave"},
        {"burn", "dromon-tcp", nullptr, "Burning actual configuration to EEProm ...", true, "Timeout"},
        {"upload", "dromon-tcp", "run", "Reading actual configuration", true, "Error loading Slave"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.hw) + " " + c.command);
        QTemporaryDir dir;
        auto sim = std::make_unique<BoardSim>();
        const QString config = dir.filePath("setup/AutoLoad.dp1");
        if (c.prepare) {
            // Prepared at full speed; a board restarted keeps its EEPROM, not its RAM.
            ASSERT_TRUE(sim->start(dir.path(), {"--no-pace"})) << sim->error.toStdString();
            ASSERT_EQ(Cli(dir.path(), {"demo-config"}).code, 0);
            if (QByteArray(c.prepare) == "burn") {
                ASSERT_EQ(Cli(dir.path(), {"burn", "--hw", c.hw, config, "--yes"}).code, 0);
                sim = std::make_unique<BoardSim>();
            }
        }
        if (!c.prepare || QByteArray(c.prepare) == "burn") {
            ASSERT_TRUE(sim->start(dir.path())) << sim->error.toStdString(); // paced: the serial ways take a while
            ASSERT_EQ(Cli(dir.path(), {"demo-config"}).code, 0);
        } else {
            ASSERT_EQ(Cli(dir.path(), {c.prepare, "--hw", c.hw, config}).code, 0);
        }
        const QString target = QByteArray(c.command) == "upload" ? dir.filePath("back.dp1") : config;
        const QByteArray before = ReadAll(target);

        QProcess p;
        p.start(kCli, {"--root", dir.path(), c.command, "--hw", c.hw, target});
        ASSERT_TRUE(p.waitForStarted(10000));
        QByteArray out;
        QDeadlineTimer reached(60000);
        while (!out.contains(QByteArray(c.when) + '\n') && !reached.hasExpired() && p.state() == QProcess::Running) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains(c.when)) << out.constData();
        if (c.freeze)
            sim->freeze(true);
        QThread::msleep(200);
        sim->kill();
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(p.waitForFinished(30000)) << out.constData();
        out += p.readAllStandardOutput();
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(out.contains(c.says)) << out.constData();
        EXPECT_LT(t.elapsed(), 20000);
        EXPECT_EQ(ReadAll(target), before);
    }
}
