// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/configfile.h"
#include "core/bytes.h"
#include "config/listline.h"
#include "support/fixture.h"
#include "support/golden.h"
#include "config/image.h"

#include <QDir>
#include <QFileInfo>

using namespace meridan;
using namespace meridan::test;

namespace {

constexpr int kFirstSlave = 264; // after the header and the master record

// The checked-in sample: a master at 1.5 Mbit/s with auto-clear; slaves 12 (user
// parameters, identifiers, GSD code, name, modules), 40, 60 (longer than one job) and 99.
QByteArray GoldenFile(const char *name)
{
    return Golden(QStringLiteral("config/golden/") + QLatin1String(name));
}

// A fixture holding the sample, loaded.
struct SampleFixture : Fixture {
    SampleFixture()
    {
        write("sample.dp1", GoldenFile("sample.dp1"));
        EXPECT_EQ(LoadConfigFile(ctx, file("sample.dp1")), 4);
    }
    // Loads `bytes` as a file into another fixture.
    int load(Fixture &g, const QByteArray &bytes) const
    {
        write("test.dp1", bytes);
        return LoadConfigFile(g.ctx, file("test.dp1"));
    }
};

} // namespace

TEST(ConfigFile, sample_loadsAndSavesBackByteForByte)
{
    Fixture f;
    f.write("in.dp1", GoldenFile("sample.dp1"));
    f.st.image.at(110, 0) = kSlaveMarker; // above the list: survives a load
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("in.dp1")), 4);
    EXPECT_EQ(f.st.melde1, " 4 Slave records loaded");
    EXPECT_EQ(f.st.image.at(110, 0), kSlaveMarker);
    EXPECT_TRUE(f.st.listLines[11].startsWith(" 12. "));
    EXPECT_EQ(f.st.listLines[12], " 13. ");
    EXPECT_GE(f.ui.listRefreshes, 1);

    // A save writes stations 10 to 99 in order, clears byte 6 and caps byte 7 at
    // what one job carries (the sample's station 60 is longer than that).
    f.st.image.at(40, 6) = 0x77;
    f.st.image.at(60, 7) = 0x99;
    for (int outside : {5, 105}) {
        Record &r = f.st.image.slot(outside);
        r[0] = kSlaveMarker;
        r[3] = uint8_t(outside);
        putBe16(r.span(), 8, 20);
    }
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("out.dp1")));
    EXPECT_EQ(f.read("out.dp1"), GoldenFile("sample.dp1"));
    EXPECT_EQ(f.st.melde1, " 4 Slave records writen: " + QDir::toNativeSeparators(f.file("out.dp1")));
}

TEST(ConfigFile, junkAndTruncation_loadWhatIsWhole)
{
    SampleFixture f;
    QByteArray b = GoldenFile("sample.dp1");
    const int first = kFirstSlave + (uint8_t(b[kFirstSlave + 8]) << 8 | uint8_t(b[kFirstSlave + 9])) + 1;
    b.insert(first, QByteArray(8, 0));          // a junk group between two slaves
    b.insert(kFirstSlave, QByteArray(16, 'x')); // two before the first
    Fixture g;
    EXPECT_EQ(f.load(g, b), 4);
    for (int s : {12, 40, 60, 99})
        EXPECT_EQ(g.st.image.slot(s), f.st.image.slot(s)) << s;

    // The file ends inside a record, even inside its length word: what is there is kept.
    for (int cut : {20, 9}) {
        Fixture t;
        EXPECT_EQ(f.load(t, GoldenFile("sample.dp1").left(kFirstSlave + cut)), 1) << cut;
        EXPECT_EQ(t.st.image.at(12, cut - 1), f.st.image.at(12, cut - 1)) << cut;
        EXPECT_EQ(t.st.image.at(12, cut), 0) << cut;
    }
}

TEST(ConfigFile, damagedRecords_endLoadKeepingCompleteOnes)
{
    SampleFixture f;
    const auto rec = [](int station, uint8_t hi, uint8_t lo) {
        QByteArray r(10, '\0');
        r[0] = char(kSlaveMarker);
        r[3] = char(station);
        r[8] = char(hi);
        r[9] = char(lo);
        return r;
    };
    const std::pair<const char *, QByteArray> cases[] = {
        {"station above 125", rec(126, 0, 20)},
        {"station 0 would overwrite the master", rec(0, 0, 20)},
        {"length above 511", rec(30, 0x02, 0x00)},
        {"high length byte above 127", rec(30, 0x80, 0x10)},
    };
    for (const auto &[name, tail] : cases) {
        SCOPED_TRACE(name);
        Fixture g;
        g.st.melde1 = "before";
        EXPECT_EQ(f.load(g, GoldenFile("sample.dp1") + tail + QByteArray(64, 'z')), -1);
        EXPECT_EQ(g.st.melde1, "before"); // the status line is not changed
        EXPECT_EQ(g.st.image.slot(0), f.st.image.slot(0));
        EXPECT_EQ(g.st.image.slot(99), f.st.image.slot(99));
        EXPECT_FALSE(g.st.image.hasSlave(30));
        EXPECT_EQ(g.ui.shown.size(), 0u);
    }
}

TEST(ConfigFile, missingMasterOrHostileFiles_saySoAndNeverCrash)
{
    Fixture f;
    // Load: a master slot not starting with "$".
    f.write("nomaster.dp1", QByteArray(8, '\x10') + QByteArray(256, 'A'));
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("nomaster.dp1")), -1);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), "Missing Master record!");
    EXPECT_EQ(f.st.image.at(0, 0), 'A');

    // Save after New: the other English text, and a header-only file.
    Neufile(f.ctx);
    f.st.language = kGerman;
    EXPECT_TRUE(SaveConfigFile(f.ctx, f.file("new.dp1")));
    EXPECT_EQ(f.ui.lastText(), "Master Parametersatz fehlt !");
    EXPECT_EQ(f.read("new.dp1"), GoldenFile("sample.dp1").left(8));

    f.st.language = kEnglish;
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("does-not-exist.dp1")), -1);
    EXPECT_EQ(f.ui.lastText(), "Missing Master record!");

    f.write("empty.dp1", QByteArray());
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("empty.dp1")), -1);
    EXPECT_EQ(LoadConfigFile(f.ctx, f.tmp.path()), -1); // a folder
    QByteArray noise;
    for (int i = 0; i < 5000; ++i)
        noise.append(char((i * 37) ^ (i >> 3)));
    noise[8] = kMasterMarker;
    f.write("noise.dp1", noise);
    LoadConfigFile(f.ctx, f.file("noise.dp1"));
}

TEST(ConfigFile, failingSave_keepsOldFileAndSaysSo)
{
    SampleFixture f;
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("keep.dp1")));
    const QByteArray before = f.read("keep.dp1");

    // A damaged slave whose length points beyond its slot cannot be written.
    Record &bad = f.st.image.slot(30);
    bad[0] = kSlaveMarker;
    bad[3] = 30;
    putBe16(bad.span(), 8, 600);
    EXPECT_FALSE(SaveConfigFile(f.ctx, f.file("keep.dp1")));
    EXPECT_EQ(f.read("keep.dp1"), before);
    EXPECT_TRUE(f.st.melde1.startsWith("Not saved, file unchanged"));

    // A folder that cannot be written to.
    QDir(f.tmp.path()).mkdir("ro");
    QFile::setPermissions(f.file("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bad.clear();
    const bool root = QFileInfo(f.file("ro")).isWritable();
    if (!root) {
        EXPECT_FALSE(SaveConfigFile(f.ctx, f.file("ro/x.dp1")));
        EXPECT_FALSE(QFileInfo::exists(f.file("ro/x.dp1")));
    }
    EXPECT_FALSE(SaveConfigFile(f.ctx, f.tmp.path())); // a folder as the target
}

// The start-up file and the menu's file dialogs are the window's tests; here
// what only the loader decides.
TEST(ConfigFile, autoLoad_findsTheDefaultFileInAnyCaseWithoutRefreshingTheList)
{
    Fixture f;
    f.write("setup/autoload.dp1", GoldenFile("sample.dp1"));
    Fixture g;
    Root other(f.tmp.path()); // the start-up file lives in the other fixture's root
    Context ctx{g.st, g.ui, g.pump, other};
    EXPECT_TRUE(AutoLoad(ctx, QString()));
    EXPECT_TRUE(g.st.image.hasSlave(12));
    EXPECT_EQ(g.ui.listRefreshes, 0); // the window refreshes when it is activated
    EXPECT_FALSE(AutoLoad(g.ctx, QString()));
    EXPECT_TRUE(g.st.configFileName.endsWith("setup/AutoLoad.dp1"));
}

TEST(ConfigFile, load_refusesWhatIsNoConfigurationAndSaysWhatADamagedOneLost)
{
    SampleFixture f;
    const Record master = f.st.image.slot(0);
    for (const QByteArray &bytes : {QByteArray(), QByteArray("notes\nmore notes\n"), QByteArray(300, '\x7f')}) {
        f.write("other.bin", bytes);
        f.ui.files.push_back(f.file("other.bin"));
        Laden(f.ctx);
        EXPECT_EQ(f.ui.lastText(), f.file("other.bin") + "\nnot a configuration file");
        EXPECT_TRUE(f.st.image.slot(0) == master && f.st.image.hasSlave(99)); // the configuration stays
    }
    // Cut inside station 12's record while the record buffer holds station 99:
    // the line is built from the file's 36 bytes alone.
    f.st.record = f.st.image.slot(99);
    f.write("cut.dp1", GoldenFile("sample.dp1").left(300));
    f.ui.files.push_back(f.file("cut.dp1"));
    Laden(f.ctx);
    EXPECT_EQ(f.ui.lastText(), "The file is damaged: the record of station 12 at byte 264 is cut short (36 bytes).\n"
                               "Kept: the master record and 1 slave records.");
    Fixture fromFile;
    std::copy_n(GoldenFile("sample.dp1").constData() + kFirstSlave, 36, fromFile.st.record.bytes.begin());
    BuildListLine(fromFile.st);
    EXPECT_EQ(f.st.listLines[11], fromFile.st.listLines[11]);
}
