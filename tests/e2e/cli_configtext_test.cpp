// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli export, import and diff as a script and git see them, and the
// comparison of a file with the configuration a simulated board holds.
#include "e2e_support.h"

#include <QRegularExpression>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Plant : DemoRoot {
    // The demo configuration with the first of each `from` in its text changed.
    QString changed(const QString &name, const QList<std::pair<QByteArray, QByteArray>> &edits) const
    {
        QByteArray text = cli({"export", config()}).out;
        for (const auto &[from, to] : edits) {
            EXPECT_TRUE(text.contains(from));
            text.replace(text.indexOf(from), from.size(), to);
        }
        EXPECT_TRUE(WriteFile(path(name + ".json"), text));
        EXPECT_EQ(cli({"import", path(name + ".json"), path(name + ".dp1")}).code, 0);
        return path(name + ".dp1");
    }
};

// Station 12's watchdog from 1000 to 2000 ms.
const QList<std::pair<QByteArray, QByteArray>> kSlowWatchdog = {{R"("watchdog_factors": [20, 5])", R"("watchdog_factors": [40, 5])"},
                                                                 {R"("watchdog_ms": 1000)", R"("watchdog_ms": 2000)"}};

} // namespace

TEST(CliConfigText, exportImportDiff_exitAsAScriptExpects_andARefusedImportWritesNothing)
{
    Plant r;
    ASSERT_EQ(r.cli({"demo-config"}).code, 0);
    // The text on stdout or into a file; back into the same bytes.
    const CliRun exported = r.cli({"export", r.config()});
    ASSERT_EQ(exported.code, 0) << exported.err.constData();
    EXPECT_TRUE(exported.out.startsWith("{\n  \"format\": \"meridan-config-text/1\",\n"));
    EXPECT_EQ(r.cli({"export", r.config(), "--out", r.path("demo.json")}).out, "wrote " + r.path("demo.json").toUtf8() + "\n");
    EXPECT_EQ(ReadFile(r.path("demo.json")), exported.out);
    CliRun c = r.cli({"import", r.path("demo.json"), r.path("back.dp1")});
    EXPECT_EQ(c.out, "wrote " + r.path("back.dp1").toUtf8() + " (5 slave records)\n");
    EXPECT_EQ(ReadFile(r.path("back.dp1")), ReadFile(r.config()));

    // diff: exit 0 and nothing said when equal, whatever the form; 1 with the changes.
    c = r.cli({"diff", r.config(), r.path("demo.json")});
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(c.out, "");
    const QString changed = r.changed("slow", {{R"("ttr": 100000)", R"("ttr": 200000)"}});
    c = r.cli({"diff", r.config(), changed});
    EXPECT_EQ(c.code, 1);
    EXPECT_EQ(c.out, "master: TTR 100000 → 200000 tbit\n");
    EXPECT_EQ(c.err, "");

    // A refused text: exit 2, the station and field named, the target untouched or not made.
    QByteArray bad = exported.out;
    bad.replace(R"("station": 20)", R"("station": 12)");
    ASSERT_TRUE(WriteFile(r.path("bad.json"), bad));
    for (const QString &target : {r.path("back.dp1"), r.path("new.dp1")}) {
        const QByteArray before = ReadFile(target);
        c = r.cli({"import", r.path("bad.json"), target});
        EXPECT_EQ(c.code, 2);
        EXPECT_EQ(c.err, "meridan-cli import: " + r.path("bad.json").toUtf8() + ": station 12: the station is in the text twice; nothing written\n");
        EXPECT_EQ(ReadFile(target), before);
        EXPECT_EQ(QFileInfo::exists(target), !before.isEmpty());
    }
    // Unreadable and damaged input, and a missing second file.
    ASSERT_TRUE(WriteFile(r.path("cut.dp1"), ReadFile(r.config()).left(300)));
    for (const QStringList &args : {QStringList{"export", r.path("none.dp1")}, QStringList{"export", r.path("cut.dp1")},
                                    QStringList{"diff", r.config(), r.path("cut.dp1")}})
        EXPECT_EQ(r.cli(args).code, 2) << args.join(' ').toStdString();
    c = r.cli({"export", r.path("cut.dp1")});
    EXPECT_TRUE(c.err.contains("is cut short")) << c.err.constData();
    EXPECT_EQ(r.cli({"diff", r.config()}).code, 2);
}

// The lines docs/config-text.md gives make git show the text of .dp1 files.
TEST(CliConfigText, gitDiffOfADp1File_showsTheChangedFieldsThroughTheTextconvDriver)
{
    Plant r;
    ASSERT_EQ(r.cli({"demo-config"}).code, 0);
    const QString doc = QString::fromUtf8(ReadFile(QStringLiteral(MERIDAN_SOURCE_DIR "/docs/config-text.md")));
    const auto attributes = QRegularExpression("```gitattributes\n(.*?)```", QRegularExpression::DotMatchesEverythingOption).match(doc);
    const auto config = QRegularExpression("```sh\n(git config [^\n]*)\n```").match(doc);
    ASSERT_TRUE(attributes.hasMatch() && config.hasMatch());

    const QString repo = r.path("plant");
    QDir().mkpath(repo);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZEL_ROOT", r.dir.path());
    env.insert("PATH", QStringLiteral(MERIDAN_BINARY_DIR "/src:") + env.value("PATH"));
    env.insert("GIT_CONFIG_NOSYSTEM", "1");
    env.insert("HOME", r.dir.path());
    const auto git = [&](const QString &line) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(repo);
        p.start("sh", {"-c", line});
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0) << line.toStdString() << p.readAllStandardError().constData();
        return p.readAllStandardOutput();
    };
    git("git init -q . && git config user.email t@example.org && git config user.name t");
    git(config.captured(1));
    ASSERT_TRUE(WriteFile(repo + "/.gitattributes", attributes.captured(1).toUtf8()));
    QFile::copy(r.config(), repo + "/plant.dp1");
    git("git add . && git commit -qm start");
    QFile::remove(repo + "/plant.dp1");
    QFile::copy(r.changed("wd", kSlowWatchdog), repo + "/plant.dp1");
    const QByteArray shown = git("git diff -- plant.dp1");
    EXPECT_TRUE(shown.contains("\n-      \"watchdog_factors\": [20, 5],\n")) << shown.constData();
    EXPECT_TRUE(shown.contains("\n+      \"watchdog_factors\": [40, 5],\n")) << shown.constData();
    EXPECT_TRUE(shown.contains("\n+      \"watchdog_ms\": 2000,\n")) << shown.constData();
}

// The file against the board, read as Read reads it: equal after a run or a
// burn, the change named after the file changed, and nothing sent that would
// change the board.
TEST(CliConfigText, diffWithTheBoard_isEqualAfterARun_andNamesAChangeOfTheFile)
{
    Plant r;
    BoardSim sim;
    if (!sim.start(r.dir.path(), {"--no-pace", "-v"}))
        GTEST_SKIP() << sim.error.toStdString();
    ASSERT_EQ(r.cli({"demo-config"}).code, 0);
    const QString changed = r.changed("wd", kSlowWatchdog);
    ASSERT_EQ(r.cli({"run", "--hw", "corvet-dpram", r.config()}).code, 0);
    ASSERT_EQ(r.cli({"burn", "--hw", "ketch-tcp:Ketch", r.config(), "--yes"}).code, 0);
    const auto sent = [&] { return QString::fromUtf8(sim.output()).count(QRegularExpression("job (24|25|27|3F) ")); };
    const int before = sent();
    for (const char *hw : {"corvet-dpram", "ketch-tcp:Ketch"}) {
        SCOPED_TRACE(hw);
        CliRun c = r.cli({"diff", "--hw", hw, r.config()});
        EXPECT_EQ(c.code, 0) << c.err.constData();
        EXPECT_EQ(c.out, "");
        c = r.cli({"diff", "--hw", hw, changed});
        EXPECT_EQ(c.code, 1) << c.err.constData();
        EXPECT_EQ(c.out, "station 12: watchdog 2000 ms → 1000 ms\n");
        c = r.cli({"--json", "diff", "--hw", hw, changed});
        EXPECT_TRUE(c.out.contains(R"("field": "watchdog_ms",)")) << c.out.constData();
    }
    EXPECT_EQ(sent(), before);
    EXPECT_EQ(sim.state("Corvet")["mode"].toString(), "Operate");
    // What Read writes comes back through its text byte for byte, too.
    for (const char *hw : {"corvet-dpram", "ketch-tcp:Ketch"}) {
        ASSERT_EQ(r.cli({"upload", "--hw", hw, r.path("up.dp1")}).code, 0) << hw;
        ASSERT_EQ(r.cli({"export", r.path("up.dp1"), "--out", r.path("up.json")}).code, 0) << hw;
        ASSERT_EQ(r.cli({"import", r.path("up.json"), r.path("up2.dp1")}).code, 0) << hw;
        EXPECT_EQ(ReadFile(r.path("up2.dp1")), ReadFile(r.path("up.dp1"))) << hw;
    }
    // A board that keeps no configuration says so.
    const CliRun tessel = r.cli({"diff", "--hw", "tessel", r.config()});
    EXPECT_EQ(tessel.code, 1);
    EXPECT_TRUE(tessel.err.contains("Ravelin or TCP/IP Connection only !")) << tessel.err.constData();
}
