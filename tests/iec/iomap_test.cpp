// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/export_paths.h"
#include "iec/iomap.h"
#include "iec_support.h"

using namespace meridan;
using namespace meridan::iec;
using namespace meridan::test;

namespace {

// Each slave's input and output areas with their parameters, in map order.
QString Areas(const IoMap &map)
{
    QStringList out;
    for (const SlaveIo &s : map.slaves)
        out << QString::number(s.station)
                   + (s.hasInputs ? QStringLiteral(" in %1..%2 @%3").arg(s.inputFirst).arg(s.inputLast).arg(s.inputParam) : QString())
                   + (s.hasOutputs ? QStringLiteral(" out %1..%2 @%3").arg(s.outputFirst).arg(s.outputLast).arg(s.outputParam) : QString());
    return out.join(QStringLiteral("; "));
}

} // namespace

TEST(IoMap, identifiers_specialFormatCoversItsLengthAndMakerBytes)
{
    // 0x53: 4 words in; 0xC2 0x41 0x03 + 2 maker bytes: one identifier over
    // 5 bytes, 2 words out and 4 bytes in; 0x00: an empty slot. The lengths
    // themselves are the record model's (its tests check them).
    const uint8_t cfg[] = {0x53, 0xC2, 0x41, 0x03, 0xAA, 0xBB, 0x00};
    const std::vector<CfgIdentifier> ids = SplitIdentifiers(cfg, int(sizeof cfg));
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_TRUE(ids[0].inputWords);
    EXPECT_EQ(ids[1].first * 10 + ids[1].size, 15);
    EXPECT_TRUE(ids[1].outputWords);
    EXPECT_FALSE(ids[1].inputWords);
    EXPECT_EQ(ids[2].first, 6);
    // Maker bytes that run past the end cover what is there.
    const uint8_t cut[] = {0x4F, 0x01};
    ASSERT_EQ(SplitIdentifiers(cut, 2).size(), 1u);
    EXPECT_EQ(SplitIdentifiers(cut, 2)[0].inputBytes, 2);
}

TEST(IoMap, runningCounts_ascendingStations_inputsAndOutputsSeparately_aDamagedRecordLeftOut)
{
    Fixture f;
    PutSlave(f.ctx, 30, {0x23}, 0, 0x20);       // 4 out
    PutSlave(f.ctx, 12, {0x13, 0x31}, 0x100, 0); // 4 in; 2 in + 2 out
    PutSlave(f.ctx, 20, {0x50});                 // 1 word in: 2 bytes
    const IoMap map = BuildIoMap(f.st.image);
    EXPECT_EQ(Areas(map), "12 in 0..5 @256 out 0..1 @0; 20 in 6..7 @0; 30 out 2..5 @32");
    EXPECT_EQ(map.slave(12)->modules[1].inputAt, 4);
    EXPECT_EQ(map.inputBytes() * 100 + map.outputBytes(), 806);

    // The record being edited counts instead of its stored slot.
    f.st.currentStation = 20;
    f.st.record = f.st.image.slot(20);
    f.st.slave.c = 0;
    RemoveCfg(f.st);
    f.st.slave.cfg[0] = 0x17; // 8 bytes in
    f.st.slave.c = 1;
    InsertCfg(f.ctx);
    EXPECT_EQ(BuildIoMap(f.st.image, &f.st.record).slave(20)->inputLast, 13);

    // A damaged record is left out with a note: the next station takes its place.
    PutSlave(f.ctx, 13, {0x13});
    f.st.image.at(12, 25) = 255; // user-parameter length far outside the record
    const IoMap damaged = BuildIoMap(f.st.image);
    ASSERT_EQ(damaged.notes.size(), 1);
    EXPECT_TRUE(damaged.notes[0].startsWith("station 12"));
    EXPECT_FALSE(damaged.slave(12)->hasInputs);
    EXPECT_EQ(damaged.slave(13)->inputFirst, 0);
}

TEST(IoMap, channels_bitsPerByteWordsPerWord_namesAndLocations)
{
    Fixture f;
    PutSlave(f.ctx, 12, {0x13, 0x31, 0xE1});
    const IoMap map = BuildIoMap(f.st.image);
    const SlaveIo &s = *map.slave(12);
    // Module 2: 2 bytes in and out, bit channels IX0..IX15 then QX0..QX15.
    const std::vector<Channel> ch = Channels(s.modules[1]);
    ASSERT_EQ(ch.size(), 32u);
    EXPECT_EQ(ch[13].name(), "IX13");
    EXPECT_EQ(ch[13].location(0), " AT %IX5.5");
    EXPECT_EQ(ch[16].name(), "QX0");
    EXPECT_EQ(ch[16].location(10), " AT %QX10.0");
    // Module 3: 2 output words at output bytes 2 and 4.
    const std::optional<Channel> w = FindChannel(s, 3, Dir::Out, 1);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->name(), "QW1");
    EXPECT_EQ(w->location(100), " AT %QW104");
    EXPECT_FALSE(FindChannel(s, 3, Dir::In, 0));
    EXPECT_FALSE(FindChannel(s, 4, Dir::Out, 0));
    EXPECT_FALSE(FindChannel(s, 1, Dir::In, 32));
}

TEST(ExportPaths, followTheProjectFolderAndFindNamesInAnyCase)
{
    Fixture f;
    // No folder: the root folder.
    ExportPaths p = GetExportPaths(f.ctx);
    EXPECT_EQ(p.vars, f.root.dir() + "/Sps.vb");
    EXPECT_EQ(p.ioConfig, f.root.dir() + "/Ioconfig.cnf");
    EXPECT_EQ(p.backup, f.root.dir() + "/IoConfig.old");

    // Neither file: the project's own name; an existing IOCONFIG.CNF is found.
    const QString proj = f.file("proj/plc1");
    QDir().mkpath(proj);
    WriteFile(proj + "/IOCONFIG.CNF", "x");
    f.st.projectFolder = proj; // written without its trailing separator
    p = GetExportPaths(f.ctx);
    EXPECT_EQ(p.folder, proj + "/");
    EXPECT_EQ(p.vars, proj + "/plc1.vb");
    EXPECT_EQ(p.ioConfig, proj + "/IOCONFIG.CNF");

    WriteFile(proj + "/Globals.VB", "x");
    EXPECT_EQ(GetExportPaths(f.ctx).vars, proj + "/Globals.VB");

    QDir().mkpath(proj + "/unpacked");
    WriteFile(proj + "/unpacked/globals.vb", "x");
    p = GetExportPaths(f.ctx);
    EXPECT_EQ(p.vars, proj + "/unpacked/globals.vb");
    EXPECT_EQ(p.ioConfig, proj + "/unpacked/Ioconfig.cnf");
    EXPECT_EQ(p.backup, proj + "/IoConfig.old"); // directly in the project folder

    // The original's fixed folder maps into the root; a name without a
    // separator after its first character is a plain prefix.
    f.st.projectFolder = "C:\\ZEL\\proj\\plc1\\";
    EXPECT_EQ(GetExportPaths(f.ctx).vars, proj.left(proj.size() - 10) + "/proj/plc1/unpacked/globals.vb");
    f.st.projectFolder = "x";
    EXPECT_EQ(GetExportPaths(f.ctx).vars, "xSps.vb");
}

// The PLC gets areas only for the stations the master is sent: the download
// walks the image with NextSlave, which starts after station 1 and stops at 100.
TEST(IoMap, onlyTheStationsTheDownloadSends_theOthersNoted)
{
    Fixture f;
    for (int s : {1, 2, 57, 100, 101, 125})
        PutSlave(f.ctx, s, {0x10});
    const IoMap map = BuildIoMap(f.st.image);
    std::vector<int> exported;
    for (const SlaveIo &s : map.slaves)
        exported.push_back(s.station);
    std::vector<int> downloaded;
    f.st.currentStation = 1; // where the download starts
    while (NextSlave(f.st))
        downloaded.push_back(f.st.currentStation);
    EXPECT_EQ(exported, downloaded);
    EXPECT_EQ(exported, (std::vector<int>{2, 57, 100}));
    EXPECT_EQ(map.notes, (QStringList{"station 1 is left out: the download sends stations 2..100 only",
                                      "station 101 is left out: the download sends stations 2..100 only",
                                      "station 125 is left out: the download sends stations 2..100 only"}));
    EXPECT_EQ(map.inputBytes(), 3);
}
