// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli as a script sees it: the exit status says whether the board is
// where it was asked to be, stdout carries the result only, the JSON of
// every command is fixed by golden files, and every command reads its line
// the same way.
#include "e2e_support.h"
#include "support/golden.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace meridan;
using namespace meridan::test;

namespace {

// A root with the demo boards (logging every job) and the demo configuration.
struct Demo : DemoRoot {
    bool ok = start({"--no-pace", "-v"});
    // The jobs with `code` the simulator logged so far.
    QStringList jobs(const char *code)
    {
        QStringList found;
        const QRegularExpression job(QStringLiteral("job %1 param .*").arg(QLatin1String(code)));
        for (const QString &line : QString::fromUtf8(sim.output()).split('\n'))
            if (const auto m = job.match(line); m.hasMatch())
                found << m.captured(0);
        return found;
    }
};

#define START_DEMO(demo)                                                                                               \
    Demo demo;                                                                                                         \
    if (!(demo).ok)                                                                                                    \
    GTEST_SKIP() << (demo).sim.error.toStdString()

} // namespace

TEST(CliContract, modeChange_isDoneOnlyWhenTheBoardSaysSo)
{
    START_DEMO(d);
    // A board without configuration refuses Operate and stays Offline.
    CliRun r = d.cli({"mode", "--hw", "ravelin-tcp:OS9Target", "operate"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("the board reports Offline, not Operate")) << r.err.constData();
    EXPECT_TRUE(d.cli({"status", "--hw", "ravelin-tcp:OS9Target"}).out.contains("mode: Offline\n"));
    // status --wait ends at the deadline naming the mode the board reports.
    r = d.cli({"status", "--hw", "tessel", "--wait", "operate", "--timeout", "2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("the board reports Offline, not Operate")) << r.err.constData();
}

TEST(CliContract, globalControlBytes_reachTheBoardAsWritten_aBadOneSendsNothing)
{
    START_DEMO(d);
    for (const QStringList &bytes : {QStringList{"0x14", "0x2"}, QStringList{"14", "2"}, QStringList{"0X14", "02"}}) {
        const CliRun r = d.cli(QStringList{"gc", "--hw", "ketch-tcp:Ketch"} + bytes);
        EXPECT_EQ(r.code, 0) << r.err.constData();
        EXPECT_EQ(r.out, "Global Control sent: control 14 group 02\n");
    }
    const QStringList sent = d.jobs("2E");
    ASSERT_EQ(sent.size(), 3);
    for (const QString &j : sent)
        EXPECT_TRUE(j.startsWith("job 2E param 14 n 0: 2E 7F 00 14 02")) << j.toStdString();
    for (const QStringList &bad : {QStringList{"zz", "1"}, QStringList{"1", "100"}, QStringList{"0x", "1"}, QStringList{"-1", "1"}}) {
        const CliRun r = d.cli(QStringList{"gc", "--hw", "ketch-tcp:Ketch", "--"} + bad);
        EXPECT_EQ(r.code, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("is a hexadecimal byte, 0..FF")) << r.err.constData();
    }
    EXPECT_EQ(d.jobs("2E").size(), 3);
}

TEST(CliContract, resultsOnStdout_messagesOnStderrOnlyWhenAsked_confirmationsWithYes)
{
    START_DEMO(d);
    CliRun r = d.cli({"run", "--hw", "corvet-dpram", d.config()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Operate\n");
    EXPECT_EQ(r.err, "");
    // Burnt, then erase without --yes: exit 3, nothing sent, the EEPROM as it was.
    ASSERT_EQ(d.cli({"burn", "--hw", "corvet-dpram", d.config(), "--yes"}).code, 0);
    r = d.cli({"erase", "--hw", "corvet-dpram"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "meridan-cli erase: erasing clears the configuration the master starts from\n"
                     "meridan-cli erase: give --yes to go ahead\n");
    EXPECT_EQ(d.jobs("3F").size(), 1); // the burn's
    EXPECT_EQ(d.sim.state("Corvet")["eeprom"].toObject()["slaves"].toArray().size(), 5);

    // A project folder that is not there: exit 2, nothing created.
    const QString missing = d.dir.filePath("no/such/project");
    r = d.cli({"iec-export", d.config(), "--project", missing});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("is not an existing folder"));
    EXPECT_FALSE(QFileInfo::exists(d.dir.filePath("no")));
}

// The JSON of every command on the demo, paths under the root written ROOT.
TEST(CliContract, jsonOfEveryCommand_matchesItsGoldenFile)
{
    START_DEMO(d);
    QDir().mkpath(d.dir.filePath("plc"));
    const QString hw = "dromon:com2";
    // The demo with a slower token rotation, for diff.
    ASSERT_TRUE(WriteFile(d.dir.filePath("slow.json"), d.cli({"export", d.config()}).out.replace(R"("ttr": 100000)", R"("ttr": 200000)")));
    ASSERT_EQ(d.cli({"import", d.dir.filePath("slow.json"), d.dir.filePath("slow.dp1")}).code, 0);
    const std::pair<const char *, QStringList> commands[] = {
        {"run", {"run", "--hw", hw, d.config()}},
        {"status", {"status", "--hw", hw}},
        {"diag", {"diag", "--hw", hw, "30", "40", "--explain"}},
        {"mode", {"mode", "--hw", hw, "clear"}},
        {"halt-go", {"mode", "--hw", hw, "halt-go"}}, // from Clear to Operate
        {"gc", {"gc", "--hw", hw, "20", "1"}},
        {"peek", {"peek", "--hw", hw, "0x0C", "3"}},
        {"burn", {"burn", "--hw", hw, d.config(), "--yes"}},
        {"upload", {"upload", "--hw", hw, d.dir.filePath("back.dp1")}},
        {"erase", {"erase", "--hw", hw}},
        {"eeprom-stop", {"eeprom-stop", "--hw", hw}},
        {"eeprom-start", {"eeprom-start", "--hw", hw}},
        {"poke", {"poke", "--hw", hw, "0x10", "0x41"}},
        {"demo-config", {"demo-config"}},
        {"gsd-check", {"gsd-check", d.dir.filePath("GSD/SIM4225.gsd")}},
        {"check", {"check", d.config()}},
        {"catalogue", {"catalogue"}},
        {"iec-export", {"iec-export", d.config(), "--project", d.dir.filePath("plc")}},
        {"vars", {"vars", d.config(), "--project", d.dir.filePath("plc")}},
        {"print", {"print", d.config(), "--pdf", d.dir.filePath("plant.pdf")}},
        {"export", {"export", d.config(), "--out", d.dir.filePath("plant.json")}},
        {"import", {"import", d.dir.filePath("plant.json"), d.dir.filePath("plant.dp1")}},
        {"diff", {"diff", d.config(), d.dir.filePath("slow.dp1")}},
        {"io", {"io", "--hw", hw, "50"}}, // back in Operate from the EEPROM: the loop-back station
    };
    for (const auto &[name, args] : commands) {
        const CliRun r = d.cli(QStringList{"--json"} + args);
        QByteArray json = r.out;
        json.replace(d.dir.path().toUtf8(), "ROOT");
        ExpectGolden(QStringLiteral("e2e/golden/%1.json").arg(QLatin1String(name)), json);
    }
}

// What the script in docs/scripting.md does, run as the document shows it.
TEST(CliContract, theCommissioningScriptOfTheDocs_runsAsWritten)
{
    START_DEMO(d);
    const QString doc = QString::fromUtf8(ReadFile(QStringLiteral(MERIDAN_SOURCE_DIR "/docs/scripting.md")));
    const auto block = QRegularExpression("```sh\n(.*?)```", QRegularExpression::DotMatchesEverythingOption).match(doc);
    ASSERT_TRUE(block.hasMatch());
    const QString script = d.dir.filePath("commission.sh");
    ASSERT_TRUE(WriteFile(script, block.captured(1).toUtf8()));
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZEL_ROOT", d.dir.path());
    env.insert("PATH", QStringLiteral(MERIDAN_BINARY_DIR "/src:") + env.value("PATH"));
    sh.setProcessEnvironment(env);
    sh.setWorkingDirectory(d.dir.path());
    sh.start("sh", {script, d.config()});
    ASSERT_TRUE(sh.waitForFinished(120000));
    EXPECT_EQ(sh.exitCode(), 0) << sh.readAllStandardError().constData();
    EXPECT_TRUE(sh.readAllStandardOutput().endsWith("commissioned: " + d.config().toUtf8() + " on ketch-tcp:Ketch (diagnosis in diagnosis.json)\n"));
    const QJsonObject diag = QJsonDocument::fromJson(ReadFile(d.dir.filePath("diagnosis.json"))).object();
    EXPECT_EQ(diag["outcome"].toString(), "done");
    EXPECT_EQ(diag["stations"].toArray().size(), 5);
    EXPECT_EQ(d.sim.state("Ketch")["eeprom"].toObject()["slaves"].toArray().size(), 5);
}

// Every command reads its line one way: -h, --opt=value, options anywhere,
// --, and a usage error (exit 2) that names what is wrong.
TEST(CliOptions, everyCommand_readsItsLineTheSameWay)
{
    QTemporaryDir dir;
    const QStringList inRoot{"--root", dir.path()};
    const QByteArray help = RunCli({"--help"}).out;
    const QByteArray table = help.mid(help.indexOf("Commands:\n"));
    const QStringList commands = QString::fromUtf8(table.left(table.indexOf("\n\n")))
                                     .split('\n')
                                     .filter(QRegularExpression("^  [a-z-]+"))
                                     .replaceInStrings(QRegularExpression("^  ([a-z-]+).*"), "\\1");
    ASSERT_GE(commands.size(), 20);
    for (const QString &c : commands) {
        SCOPED_TRACE(c.toStdString());
        for (const QStringList &h : {QStringList{c, "-h"}, QStringList{"--help", c}, QStringList{c, "--help"}}) {
            const CliRun r = RunCli(h);
            EXPECT_EQ(r.code, 0);
            EXPECT_TRUE(r.out.startsWith("usage: meridan-cli " + c.toUtf8())) << r.out.constData();
        }
        CliRun r = RunCli(inRoot + QStringList{c, "--no-such-option"});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith("meridan-cli " + c.toUtf8() + ": Unknown option 'no-such-option'")) << r.err.constData();
        r = RunCli(QStringList{c, "--root"});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains("Missing value after '--root'")) << r.err.constData();
    }
    // --opt=value and --opt value, options before and after the command.
    const QString file = dir.filePath("a.dp1");
    ASSERT_EQ(RunCli(inRoot + QStringList{"demo-config", file}).code, 0);
    const QByteArray german = RunCli({"print", file, "--lang", "de"}).out;
    EXPECT_TRUE(german.contains("Teilnehmer") || german.contains("Station")) << german.left(200).constData();
    EXPECT_EQ(RunCli({"print", "--lang=de", file}).out, german);
    EXPECT_EQ(RunCli({"--json", "dump", file}).out, RunCli({"dump", file, "--json"}).out);
    EXPECT_EQ(RunCli({"dump", file, "--root", dir.path()}).code, 0);
    // After --, a name that looks like an option is a file.
    CliRun r = RunCli(inRoot + QStringList{"dump", "--", "--weird.dp1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("cannot read --weird.dp1")) << r.err.constData();
    // A stray argument, a number out of range, a missing --hw: each named.
    const std::pair<QStringList, const char *> usage[] = {
        {{"status", "--hw", "tessel", "extra"}, "unexpected argument extra"},
        {{"peek", "--hw", "tessel", "0x10000"}, "ADDR is 0..65535"},
        {{"peek", "--hw", "tessel", "0xFFFF", "2"}, "COUNT is 1..1"},
        {{"diag", "--hw", "tessel", "0"}, "STATION is 1..125"},
        {{"diag", "--hw", "tessel"}, "name the STATION"},
        {{"run", "--hw", "tessel", file, "--timeout", "0"}, "--timeout is 1..86400"},
        {{"status"}, "--hw HW is required"},
        {{"mode", "--hw", "tessel", "sideways"}, "sideways is not one of stop|clear|operate|halt-go"},
        {{"print", file, "--lang", "fr"}, "--lang takes de|en, not fr"},
        {{"nonsense"}, "unknown command nonsense"},
    };
    for (const auto &[args, why] : usage) {
        r = RunCli(inRoot + args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(why)) << r.err.constData();
    }
}

TEST(CliOptions, completionScripts_nameEveryCommandAndHardware)
{
    const CliRun bash = RunCli({"completion", "bash"});
    ASSERT_EQ(bash.code, 0);
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("c.bash"), bash.out));
    // What bash offers after "meridan-cli run --hw ra" and after "meridan-cli er".
    const auto offer = [&](const QString &line) {
        QProcess p;
        p.start("bash", {"-c", QStringLiteral(". %1; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _meridan_cli; echo \"${COMPREPLY[*]}\"")
                               .arg(dir.filePath("c.bash"), line)});
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    EXPECT_EQ(offer("meridan-cli run --hw ra"), "ravelin:com1 ravelin:com2 ravelin-tcp");
    EXPECT_EQ(offer("meridan-cli er"), "erase");
    EXPECT_EQ(offer("meridan-cli --json status --w"), "--wait");
    const CliRun zsh = RunCli({"completion", "zsh"});
    EXPECT_EQ(zsh.code, 0);
    EXPECT_TRUE(zsh.out.startsWith("#compdef meridan-cli\n"));
    EXPECT_TRUE(zsh.out.contains("'iec-export:") && zsh.out.contains("ketch-tcp"));
}
