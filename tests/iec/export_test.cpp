// SPDX-License-Identifier: GPL-3.0-or-later
// The IEC export as a user meets it: Ioconfig.cnf written by other tools and
// editors, its backup over several exports, and the variables file that must
// keep agreeing with the blocks.
#include "config/image.h"
#include "iec/export_paths.h"
#include "iec/ioconfig.h"
#include "iec/vars.h"
#include "iec_support.h"

#include <QDateTime>
#include <QFileInfo>
#include <functional>
#include <sys/stat.h>

using namespace meridan;
using namespace meridan::iec;
using namespace meridan::test;

namespace {

// Another driver's block, as that driver's tool writes it.
const QByteArray kLocalIn = "PROGRAM LocalIn : INPUT\n(\n  VAR_ADR := 0,\n  END_VAR_ADR := 3,\n  DEVICE := DRIVER,\n"
                            "  DRIVER_NAME := 'LocalIO',\n  DRIVER_PAR1 := 1\n);\n";

// One of our blocks as an earlier export wrote it, with line ends `eol`.
QByteArray OldBlock(int station, const QByteArray &eol)
{
    QByteArray b = IoBlockText(Dir::In, station, {}, 0, 0, 0);
    b.replace("\r\n", eol);
    return b;
}

} // namespace

// Files pass through editors that end lines with CR LF, LF or a bare CR. A
// foreign block must survive every mix, and our own blocks are found so that
// none is written twice.
TEST(IoConfigLineEnds, everyKindOfLineEnd_keepsForeignBlocksAndFindsOurs)
{
    struct Row {
        const char *what;
        QByteArray old;
    };
    QByteArray crOnly = OldBlock(12, "\r") + QByteArray(kLocalIn).replace('\n', '\r');
    QByteArray bareCrTerminator = OldBlock(12, "\r\n");
    bareCrTerminator.replace(" );\r\n \r\n", " );\r"); // the block's end glued to the next line by a CR
    bareCrTerminator += kLocalIn;
    QByteArray noBlankLine = OldBlock(12, "\r\n");
    noBlankLine.chop(3); // another driver's block straight after ours
    noBlankLine += kLocalIn;
    const Row rows[] = {
        {"CR only", crOnly},
        {"a bare CR after ');'", bareCrTerminator},
        {"no blank line after our block", noBlankLine},
        {"LF only", OldBlock(12, "\n") + kLocalIn},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Project p;
        WriteFile(p.cnf(), row.old);
        PutSlave(p.ctx, 12, {0x13});
        PutSlave(p.ctx, 30, {0x10});
        const IoRewrite r = RewriteIoConfig(p.ctx, p.map());
        ASSERT_EQ(r.error, QString());
        const QByteArray after = ReadFile(p.cnf());
        // The foreign block is there once, each of its lines with the end it had.
        const QByteArray foreignEol = row.old.contains("LocalIn : INPUT\r") ? "\r" : "\n";
        EXPECT_EQ(after.count(QByteArray(kLocalIn).replace("\n", foreignEol)), 1) << after.constData();
        EXPECT_EQ(r.plan.removed, 0);
        EXPECT_EQ(after.count("PROGRAM in12"), 1) << after.constData();
        EXPECT_EQ(after.count("PROGRAM in30"), 1) << after.constData();
        ExpectSyntax("ioconfig", after);
        // Exported again: nothing to change.
        EXPECT_FALSE(RewriteIoConfig(p.ctx, p.map()).changed);
    }
}

// The backup is the file as it was before this program last changed it:
// exports that follow one another do not push the original out.
TEST(IoConfigBackup, keepsTheFileBeforeOurChanges_untilSomeoneElseChangesIt)
{
    Project p;
    const QByteArray original = Golden("iec/golden/other-drivers.before.cnf");
    WriteFile(p.cnf(), original);
    PutSlave(p.ctx, 12, {0x13});
    IoRewrite r = RewriteIoConfig(p.ctx, p.map());
    ASSERT_EQ(r.error, QString());
    EXPECT_EQ(ReadFile(p.old()), original);
    EXPECT_FALSE(r.backupKept);

    PutSlave(p.ctx, 20, {0x21});
    r = RewriteIoConfig(p.ctx, p.map());
    EXPECT_TRUE(r.changed);
    EXPECT_TRUE(r.backupKept);
    EXPECT_EQ(r.backup, p.old());
    EXPECT_EQ(ReadFile(p.old()), original) << "the second export pushed the original out";

    // A hand edit since: that file is what the next change backs up.
    const QByteArray edited = ReadFile(p.cnf()) + "(* checked by the commissioning engineer *)\r\n";
    WriteFile(p.cnf(), edited);
    PutSlave(p.ctx, 30, {0x10});
    r = RewriteIoConfig(p.ctx, p.map());
    EXPECT_FALSE(r.backupKept);
    EXPECT_EQ(ReadFile(p.old()), edited);

    // Our own output with no backup at all: it is kept, there being nothing else.
    QFile::remove(p.old());
    p.st.image.slot(30).clear();
    const QByteArray own = ReadFile(p.cnf());
    ASSERT_TRUE(IsOwnOutput(own));
    RewriteIoConfig(p.ctx, p.map());
    EXPECT_EQ(ReadFile(p.old()), own);
}

// A configuration change moves a station's data; the variables placed on its
// channels move with them, so the PLC reads what the blocks say it reads.
TEST(IecExport, configurationChange_movesTheLocatedVariablesWithTheirChannels)
{
    const QByteArray vars = "(* press line *)\r\nVAR_GLOBAL\r\n    Lamp : BOOL;\r\nEND_VAR\r\n";
    Project p(vars);
    // Another driver holds inputs 0..3 and outputs 0..1: our bases are 4 and 2.
    WriteFile(p.cnf(), Golden("iec/golden/other-drivers.before.cnf"));
    PutSlave(p.ctx, 12, {0x13, 0x21}, 0x10, 0x20); // 4 bytes in, 2 bytes out
    PutSlave(p.ctx, 40, {0x50}, 0x30);             // one input word
    VarTable t;
    ReadVars(p.ctx, t);
    const IoMap before = p.map();
    for (const auto &[name, type, station, module, dir, k] :
         {std::tuple{"Start_A", kBool, 12, 1, Dir::In, 5}, std::tuple{"Count_A", kInt, 40, 1, Dir::In, 0},
          std::tuple{"Valve_B", kBool, 12, 2, Dir::Out, 9}}) {
        ASSERT_EQ(AddVariable(p.ctx, t, QLatin1String(name), type), "");
        const SlaveIo &s = *before.slave(station);
        ASSERT_EQ(AttachVariable(t, t.find(QLatin1String(name)), s, module, *FindChannel(s, module, dir, k)), "");
    }
    ASSERT_EQ(SaveVars(p.ctx, t).error, QString());
    const QByteArray saved = ReadFile(p.vars());
    EXPECT_TRUE(saved.contains("AT %IW8 :INT")) << saved.constData();
    EXPECT_TRUE(saved.contains("AT %QX3.1 :BOOL")) << saved.constData();

    // Station 20 comes in before 40: 40's word moves from input byte 8 to 16.
    PutSlave(p.ctx, 20, {0x17}, 0x40);
    const IoRewrite r = RewriteIoConfig(p.ctx, p.map());
    ASSERT_EQ(r.error, QString());
    EXPECT_TRUE(r.changed);
    EXPECT_TRUE(r.varsChanged);
    EXPECT_EQ(r.vars, p.vars());
    EXPECT_EQ(r.varNotes, QStringList{"Count_A moved from %IW8 to %IW16"});
    const QByteArray cnf = ReadFile(p.cnf());
    const QByteArray after = ReadFile(p.vars());
    EXPECT_TRUE(after.contains("AT %IW16 :INT  ;  (* #S40M1K0 *)")) << after.constData();
    // Lines whose channel stayed are left exactly as they were.
    for (const QByteArray &line : saved.split('\n'))
        if (!line.contains("Count_A")) {
            EXPECT_TRUE(after.contains(line)) << line.constData();
        }
    EXPECT_EQ(ReadFile(p.dir + "/globals.old"), saved);
    ExpectSyntax("ioconfig", cnf);
    ExpectSyntax("vars", after);
    ExpectVarsInsideBlocks(cnf, after);

    // The command line's export does the same; a station that is gone takes
    // its variables' places with it.
    p.st.image.slot(40).clear();
    const QString dp1 = p.file("plant.dp1");
    ASSERT_TRUE(SaveConfig(p.ctx, dp1));
    const CliRun cli = RunCli({"--root", p.root.dir(), "iec-export", dp1, "--project", p.dir});
    ASSERT_EQ(cli.code, 0) << cli.err.constData();
    const QByteArray cliVars = ReadFile(p.vars());
    EXPECT_TRUE(cliVars.contains(QByteArray("Count_A").leftJustified(32) + "    :INT  ; ")) << cliVars.constData();
    ExpectSyntax("vars", cliVars);
    ExpectVarsInsideBlocks(ReadFile(p.cnf()), cliVars);

    // Nothing to change: neither file is written again.
    const QDateTime stamp = QFileInfo(p.vars()).lastModified();
    const IoRewrite again = RewriteIoConfig(p.ctx, p.map());
    EXPECT_FALSE(again.changed || again.varsChanged);
    EXPECT_EQ(QFileInfo(p.vars()).lastModified(), stamp);
}

// When the variables file cannot be replaced, the export leaves both files
// as they were: they still agree with each other.
TEST(IecExport, variablesFileNotWritable_bothFilesStayAsTheyWere)
{
    Project p("VAR_GLOBAL\r\n  Lamp AT %IX0.0 : BOOL; (* #S12M1K0 *)\r\nEND_VAR\r\n");
    const QByteArray cnf = Golden("iec/golden/other-drivers.before.cnf");
    WriteFile(p.cnf(), cnf);
    QDir().mkpath(p.dir + "/globals.old"); // the variables' backup cannot be written
    PutSlave(p.ctx, 12, {0x10});
    const IoRewrite r = RewriteIoConfig(p.ctx, p.map());
    EXPECT_TRUE(r.error.startsWith("Cannot write " + p.vars())) << qPrintable(r.error);
    EXPECT_TRUE(r.error.endsWith(p.cnf() + " is unchanged")) << qPrintable(r.error);
    EXPECT_FALSE(r.changed || r.varsChanged);
    EXPECT_EQ(ReadFile(p.cnf()), cnf);
}

// A variables file that is a folder, a FIFO or a link to nothing is named and
// refused; the project's other name (NAME.vb) is not taken silently instead.
TEST(IecExport, variablesFileThatIsNoFile_isRefusedNotReplaced)
{
    struct Row {
        const char *what;
        std::function<void(const QString &)> make;
        const char *why;
    };
    const Row rows[] = {
        {"folder", [](const QString &path) { QDir().mkpath(path); }, "not a regular file"},
        {"FIFO", [](const QString &path) { ::mkfifo(QFile::encodeName(path).constData(), 0600); }, "not a regular file"},
        {"dangling link", [](const QString &path) { QFile::link(path + ".gone", path); }, "a link to nothing"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Project p;
        row.make(p.vars());
        PutSlave(p.ctx, 12, {0x10});
        EXPECT_EQ(GetExportPaths(p.ctx).vars, p.vars());
        VarTable t;
        EXPECT_EQ(ReadVars(p.ctx, t), "Cannot read " + p.vars() + ": " + row.why);
        const IoRewrite r = RewriteIoConfig(p.ctx, p.map());
        EXPECT_EQ(r.error, "Cannot read " + p.vars() + ": " + row.why);
        AddVariable(p.ctx, t, "Horn", kBool);
        EXPECT_FALSE(SaveVars(p.ctx, t).error.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(p.dir + "/proj.vb"));
        EXPECT_FALSE(QFileInfo::exists(p.cnf()));
    }
}
