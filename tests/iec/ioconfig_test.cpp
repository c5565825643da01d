// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/export_paths.h"
#include "iec/ioconfig.h"
#include "iec_support.h"

#include <QFileInfo>

using namespace meridan;
using namespace meridan::iec;
using namespace meridan::test;

// Each file against its golden result: another driver's file without our
// blocks keeps every line and gets ours after its areas; a station gone from
// the configuration loses its blocks (the old input area 40.. of the new
// station 60 would run into the analog card at 48: the inputs move to the
// lowest free place, the outputs keep theirs); an outputs-only slave gets an
// output block only, in a new file with nothing to back up.
TEST(IoConfigFile, eachFile_isRewrittenAsItsGoldenResult_andTheOldOneKept)
{
    struct Slave {
        int station;
        std::vector<uint8_t> cfg;
        int in, out;
    };
    const struct {
        const char *name; // iec/golden/NAME.before.cnf (when there is one) and NAME.after.cnf
        bool before;
        std::vector<Slave> slaves;
        QStringList notes;
    } cases[] = {
        {"other-drivers", true, {{20, {0x31}, 0x10, 0x20}, {12, {0x13, 0x23}, 0x100, 0x200}}, {}},
        {"stale-station", true, {{12, {0x17, 0x23}, 0, 0}, {60, {0x11}, 8, 0}},
         {"line 40: block in200 left as it is: DRIVER_PAR1 200 is not a station address (0..125)"}},
        {"outputs-only", false, {{33, {0x23}, 0, 0x40}}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Project p;
        const QByteArray before = c.before ? Golden(QStringLiteral("iec/golden/%1.before.cnf").arg(c.name)) : QByteArray();
        if (c.before)
            WriteFile(p.cnf(), before);
        for (const Slave &sl : c.slaves)
            PutSlave(p.ctx, sl.station, sl.cfg, sl.in, sl.out);
        const IoRewrite r = RewriteIoConfig(p.ctx, p.map());
        ASSERT_EQ(r.error, QString());
        EXPECT_TRUE(r.changed);
        EXPECT_EQ(r.plan.notes, c.notes);
        const QByteArray after = ReadFile(p.cnf());
        ExpectGolden(QStringLiteral("iec/golden/%1.after.cnf").arg(c.name), after);
        EXPECT_EQ(QFileInfo::exists(p.old()), c.before);
        EXPECT_EQ(r.backup.isEmpty(), !c.before);
        EXPECT_EQ(ReadFile(p.old()), before);
        ExpectSyntax("ioconfig", after);
    }
}

TEST(IoConfigFile, ninetySlaves_allBlocksRegenerated_secondExportChangesNothing)
{
    Project p;
    for (int s = 10; s <= 99; ++s)
        PutSlave(p.ctx, s, {0x11, 0x61}, (s - 10) * 2, (s - 10) * 4);
    ASSERT_EQ(RewriteIoConfig(p.ctx, p.map()).error, QString());
    const QByteArray first = ReadFile(p.cnf());
    ExpectGolden("iec/golden/ninety.after.cnf", first);
    ExpectSyntax("ioconfig", first);

    // 180 blocks are all recognised: none is kept twice, and an export that
    // changes nothing writes nothing, not even a backup.
    const IoRewrite again = RewriteIoConfig(p.ctx, p.map());
    EXPECT_FALSE(again.changed);
    EXPECT_EQ(again.plan.written, 180);
    EXPECT_EQ(ReadFile(p.cnf()), first);
    EXPECT_FALSE(QFileInfo::exists(p.old()));

    // One slave less: its two blocks go, the others keep their base.
    p.st.image.slot(55).clear();
    const IoRewrite fewer = RewriteIoConfig(p.ctx, p.map());
    EXPECT_EQ(fewer.plan.removed, 2);
    EXPECT_EQ(fewer.plan.written, 178);
    EXPECT_EQ(ParseIoBlock(ReadFile(p.cnf())).blocks.size(), 178u);
    EXPECT_EQ(ReadFile(p.old()), first);
}

TEST(IoBlockParser, blocksEndAtTheirTerminatorOrTheNextProgram_keepHeadersAndLineEnds)
{
    const QByteArray text = "PROGRAM in3 WITH T1 : INPUT (VAR_ADR := 16#10, END_VAR_ADR := 2#11,\n"
                            "  DRIVER_NAME := 'ProfiDP', (* DRIVER_PAR1 := 99, *) DRIVER_PAR1 := 3);\n"
                            "PROGRAM out4 : OUTPUT\r\n"
                            "(\r\n"
                            "  DRIVER_NAME := 'ProfiDP', DRIVER_PAR1 := 4\r\n"
                            "PROGRAM main : PLC_PRG;\r\n"
                            "PROGRAM x:OUTPUT (DRIVER_PAR1 := 1) ;";
    const IoText t = ParseIoBlock(text);
    ASSERT_EQ(t.lines.size(), 7u);
    EXPECT_EQ(t.lines[2].size - t.lines[2].content, 2);
    EXPECT_EQ(t.lines[6].size, t.lines[6].content);
    ASSERT_EQ(t.blocks.size(), 3u);
    const IoBlock &a = t.blocks[0];
    EXPECT_EQ(a.name, "in3");
    EXPECT_EQ(a.header, " WITH T1 ");
    EXPECT_EQ(a.lastLine, 1);
    EXPECT_TRUE(a.terminated);
    EXPECT_EQ(a.varAdr, 16);
    EXPECT_EQ(a.endVarAdr, 3);
    EXPECT_EQ(a.par1, 3); // the commented one does not count
    const IoBlock &b = t.blocks[1];
    EXPECT_EQ(b.dir, Dir::Out);
    EXPECT_FALSE(b.terminated); // damaged: ends before the next PROGRAM line
    EXPECT_EQ(b.lastLine, 4);
    EXPECT_EQ(b.par1, 4);
    EXPECT_EQ(t.blocks[2].firstLine, 6); // "main" is not an I/O program
    EXPECT_EQ(t.blocks[2].header, "");
}

TEST(IoConfigFile, lastLineWithoutLineEnd_getsOneBeforeTheBlocks)
{
    const QByteArray old = "(* no line end *)";
    Fixture f;
    PutSlave(f.ctx, 12, {0x10});
    const IoPlan plan = PlanIoConfig(old, BuildIoMap(f.st.image));
    EXPECT_TRUE(plan.text.startsWith(old + "\r\nPROGRAM in12: INPUT\r\n"));
}

TEST(IoConfigFaults, readOnlyOrFullFileSystem_errorAndFileUnchanged)
{
    for (const bool full : {false, true}) {
        SmallFs fs(64);
        if (!fs.ok())
            GTEST_SKIP() << "cannot mount a small file system here (needs root): fault test skipped";
        Fixture f;
        f.st.projectFolder = fs.path() + "/";
        const QByteArray before = Golden("iec/golden/stale-station.before.cnf");
        ASSERT_TRUE(WriteFile(fs.path() + "/Ioconfig.cnf", before));
        if (full) {
            // Room for the backup, not for the new file.
            ASSERT_TRUE(WriteFile(fs.path() + "/reserve", QByteArray(8192, 'r')));
            fs.fill();
            QFile::remove(fs.path() + "/reserve");
        } else {
            ASSERT_TRUE(fs.makeReadOnly());
        }
        for (int s = 10; s <= 99; ++s)
            PutSlave(f.ctx, s, {0x1F, 0x2F});
        const IoRewrite r = RewriteIoConfig(f.ctx, BuildIoMap(f.st.image));
        EXPECT_FALSE(r.error.isEmpty()) << (full ? "full" : "read-only");
        EXPECT_TRUE(r.error.contains("unchanged")) << qPrintable(r.error);
        if (full) {
            EXPECT_TRUE(r.error.startsWith("Cannot write " + fs.path() + "/Ioconfig.cnf")) << qPrintable(r.error);
            // The system's reason, not "Unknown error": part of the file did fit.
            EXPECT_TRUE(r.error.contains("No space left on device")) << qPrintable(r.error);
        }
        EXPECT_EQ(ReadFile(fs.path() + "/Ioconfig.cnf"), before);
        QDir d(fs.path());
        EXPECT_EQ(d.entryList(QDir::Files).size(), full ? 3 : 1) << qPrintable(d.entryList(QDir::Files).join(' '));
    }
}


TEST(IecExportCli, demoConfiguration_writesBlocksAndSaysWhatItDid)
{
    Project p;
    const QString dp1 = p.file("demo.dp1");
    ASSERT_EQ(RunCli({"--root", p.root.dir(), "demo-config", dp1}).code, 0);
    const QByteArray before = Golden("iec/golden/other-drivers.before.cnf");
    WriteFile(p.cnf(), before);
    CliRun r = RunCli({"--root", p.root.dir(), "iec-export", dp1, "--project", p.dir});
    ASSERT_EQ(r.code, 0) << r.err.constData();
    // The demo: 12 (2 in, 2 out), 20 (2 + 4 in), 30 (1 in, 1 out), 40 (1 in), 50 (3 in, 3 out).
    EXPECT_EQ(QString::fromLocal8Bit(r.out), "I/O configuration: " + p.cnf() + "\nblocks written: 8 (input base 4, output base 2)\n"
                     "blocks removed: 0\nbackup: " + p.old() + "\n");

    r = RunCli({"--root", p.root.dir(), "iec-export", dp1, "--project", p.dir});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.endsWith("unchanged: nothing written\n")) << r.out.constData();

    // No configuration: exit 2. The backup cannot be written: exit 1, the file untouched.
    QFile::remove(p.old());
    QDir().mkpath(p.old());
    r = RunCli({"--root", p.root.dir(), "iec-export", p.file("none.dp1"), "--project", p.dir});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.startsWith("meridan-cli iec-export: cannot read " + p.file("none.dp1").toUtf8())) << r.err.constData();
    WriteFile(p.cnf(), before);
    r = RunCli({"--root", p.root.dir(), "iec-export", dp1, "--project", p.dir});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Cannot write the backup " + p.old().toUtf8())) << r.err.constData();
    EXPECT_EQ(ReadFile(p.cnf()), before);
}
