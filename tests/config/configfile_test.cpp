#include "config/configfile.h"
#include "core/bytes.h"
#include "config/listline.h"
#include "support/fixture.h"
#include "config/image.h"

#include <QDir>
#include <QFileInfo>

using namespace meridan;
using namespace meridan::test;

namespace {

void PutMaster(State &st)
{
    Record m;
    m[11] = 6;
    SetMasterDefaults(m);
    st.image.slot(0) = m;
}

// A slave at `station` whose parameter set is `len` bytes long, filled with a
// recognisable pattern.
void PutSlave(State &st, int station, int len)
{
    Record &r = st.image.slot(station);
    r.clear();
    r[0] = kSlaveMarker;
    r[3] = uint8_t(station);
    r[6] = 0x77; // normalised to 0 on save
    r[7] = uint8_t(len);
    putBe16(r.span(), 8, uint16_t(len));
    for (int i = 10; i <= len; ++i)
        r[i] = uint8_t(i * 7 + station);
    r[25] = 9; // no user parameters, no identifiers: the list line stays readable
    r[34] = 2;
}

QByteArray Header()
{
    QByteArray h(8, '\0');
    h[0] = 0x10;
    return h;
}

} // namespace

TEST(ConfigFile, masterOnly_savesExactly264Bytes)
{
    Fixture f;
    PutMaster(f.st);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("m.dp1")));
    const QByteArray bytes = f.read("m.dp1");
    ASSERT_EQ(bytes.size(), 264);
    EXPECT_EQ(bytes.left(8), Header());
    EXPECT_EQ(bytes.mid(8), QByteArray(reinterpret_cast<const char *>(f.st.image.slot(0).bytes.data()), 256));
    EXPECT_EQ(f.st.melde1, " 0 Slave records writen");
}

TEST(ConfigFile, slaves_writtenInOrderNormalisedAndOnly10To99)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 40, 30);
    PutSlave(f.st, 12, 40);
    PutSlave(f.st, 5, 20);   // outside the list: not written
    PutSlave(f.st, 105, 20); // likewise
    PutSlave(f.st, 60, 300); // long record: byte 7 becomes 244
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("s.dp1")));
    const QByteArray b = f.read("s.dp1");
    ASSERT_EQ(b.size(), 264 + 41 + 31 + 301);
    EXPECT_EQ(uint8_t(b[264]), kSlaveMarker);
    EXPECT_EQ(uint8_t(b[264 + 3]), 12);
    EXPECT_EQ(uint8_t(b[264 + 6]), 0);
    EXPECT_EQ(uint8_t(b[264 + 41 + 3]), 40);
    const int third = 264 + 41 + 31;
    EXPECT_EQ(uint8_t(b[third + 3]), 60);
    EXPECT_EQ(uint8_t(b[third + 7]), 244);
    EXPECT_EQ(f.st.melde1, " 3 Slave records writen");
}

TEST(ConfigFile, roundTrip_givesSameBytesAndRebuildsList)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
    PutSlave(f.st, 99, 131);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("a.dp1")));
    Fixture g;
    g.st.image.at(110, 0) = kSlaveMarker; // survives a load
    EXPECT_EQ(LoadConfigFile(g.ctx, f.file("a.dp1")), 2);
    EXPECT_EQ(g.st.melde1, " 2 Slave records loaded");
    EXPECT_EQ(g.st.image.at(110, 0), kSlaveMarker);
    EXPECT_TRUE(g.st.listLines[11].startsWith(" 12. "));
    EXPECT_EQ(g.st.listLines[12], " 13. ");
    ASSERT_TRUE(SaveConfigFile(g.ctx, g.file("b.dp1")));
    EXPECT_EQ(f.read("a.dp1"), g.read("b.dp1"));
    EXPECT_GE(g.ui.listRefreshes, 1);
}

TEST(ConfigFile, load_skipsJunkGroupsBetweenRecords)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
    PutSlave(f.st, 20, 60);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("a.dp1")));
    QByteArray b = f.read("a.dp1");
    b.insert(264, QByteArray(16, 'x'));        // two junk groups before the first slave
    b.insert(264 + 16 + 41, QByteArray(8, 0)); // one between the slaves
    f.write("junk.dp1", b);
    Fixture g;
    EXPECT_EQ(LoadConfigFile(g.ctx, f.file("junk.dp1")), 2);
    EXPECT_EQ(g.st.image.slot(12), f.st.image.slot(12));
    EXPECT_EQ(g.st.image.slot(20), f.st.image.slot(20));
}

TEST(ConfigFile, damagedRecords_endLoadKeepingCompleteOnes)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("good.dp1")));
    const QByteArray good = f.read("good.dp1");

    struct Case {
        const char *name;
        QByteArray tail;
    };
    const auto rec = [](int station, uint8_t hi, uint8_t lo) {
        QByteArray r(10, '\0');
        r[0] = kSlaveMarker;
        r[3] = char(station);
        r[8] = char(hi);
        r[9] = char(lo);
        return r;
    };
    const Case cases[] = {
        {"station above 125", rec(126, 0, 20)},
        {"station 0 would overwrite the master", rec(0, 0, 20)},
        {"length above 511", rec(30, 0x02, 0x00)},
        {"high length byte above 127", rec(30, 0x80, 0x10)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        f.write("bad.dp1", good + c.tail + QByteArray(64, 'z'));
        Fixture g;
        g.st.melde1 = "before";
        EXPECT_EQ(LoadConfigFile(g.ctx, f.file("bad.dp1")), -1);
        EXPECT_EQ(g.st.melde1, "before"); // the status line is not changed
        EXPECT_TRUE(g.st.image.hasMaster());
        EXPECT_EQ(g.st.image.slot(12), f.st.image.slot(12));
        EXPECT_FALSE(g.st.image.hasSlave(30));
        EXPECT_EQ(g.ui.shown.size(), 0u);
    }
}

TEST(ConfigFile, truncatedLastRecord_keptAsFarAsFileGoes)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("a.dp1")));
    f.write("t.dp1", f.read("a.dp1").left(264 + 20));
    Fixture g;
    EXPECT_EQ(LoadConfigFile(g.ctx, f.file("t.dp1")), 1);
    EXPECT_EQ(g.st.image.at(12, 19), f.st.image.at(12, 19));
    EXPECT_EQ(g.st.image.at(12, 20), 0);
}

TEST(ConfigFile, missingMaster_messagesDifferOnLoadAndSave)
{
    Fixture f;
    // Load: a master slot not starting with "$".
    f.write("nomaster.dp1", Header() + QByteArray(256, 'A'));
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("nomaster.dp1")), -1);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), "Missing Master record!");
    EXPECT_EQ(f.ui.lastTitle(), "DP-Configurator");
    EXPECT_EQ(f.st.image.at(0, 0), 'A');

    // Save after New: the other English text, and a header-only file.
    Neufile(f.ctx);
    f.st.language = kGerman;
    EXPECT_TRUE(SaveConfigFile(f.ctx, f.file("new.dp1")));
    EXPECT_EQ(f.ui.lastText(), "Master Parametersatz fehlt !");
    EXPECT_EQ(f.ui.lastTitle(), "DP-Konfigurator");
    EXPECT_EQ(f.read("new.dp1"), Header());
    EXPECT_EQ(f.st.melde1, QString::fromUtf8(" 0 Slaveparametersätze geschrieben"));

    f.st.language = kEnglish;
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("does-not-exist.dp1")), -1);
    EXPECT_EQ(f.ui.lastText(), "Missing Master record!");
}

TEST(ConfigFile, hostileFiles_neverCrash)
{
    Fixture f;
    f.write("empty.dp1", QByteArray());
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("empty.dp1")), -1);
    EXPECT_EQ(LoadConfigFile(f.ctx, f.tmp.path()), -1); // a folder
    QByteArray noise;
    for (int i = 0; i < 5000; ++i)
        noise.append(char((i * 37) ^ (i >> 3)));
    noise[8] = kMasterMarker;
    f.write("noise.dp1", noise);
    LoadConfigFile(f.ctx, f.file("noise.dp1"));
    SUCCEED();
}

TEST(ConfigFile, failingSave_keepsOldFileAndSaysSo)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
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

TEST(ConfigFile, autoLoad_defaultPathCaseInsensitiveAndFolderArgument)
{
    Fixture f;
    PutMaster(f.st);
    PutSlave(f.st, 12, 40);
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.root.path("setup/autoload.dp1")));

    Fixture g;
    // The start-up file lives in the other fixture's root.
    Root other(f.tmp.path());
    Context ctx{g.st, g.ui, g.pump, other};
    EXPECT_TRUE(AutoLoad(ctx, QString()));
    EXPECT_TRUE(g.st.image.hasSlave(12));
    EXPECT_EQ(g.ui.listRefreshes, 0); // the window refreshes when it is activated

    QDir(f.tmp.path()).mkpath("proj/Unpacked");
    QFile::copy(f.root.path("setup/autoload.dp1"), f.file("proj/Unpacked/AutoLoad.dp1"));
    Fixture h;
    EXPECT_TRUE(AutoLoad(h.ctx, f.file("proj") + "\\unpacked\\autoload.dp1"));
    EXPECT_TRUE(h.st.image.hasSlave(12));

    Fixture none;
    EXPECT_FALSE(AutoLoad(none.ctx, QString()));
    EXPECT_TRUE(none.st.configFileName.endsWith("setup/AutoLoad.dp1"));
}

TEST(ConfigFile, menuCommands_useTheDialogAndCancelChangesNothing)
{
    Fixture f;
    PutMaster(f.st);
    f.st.configFileName = "preset.dp1";
    Save(f.ctx); // cancelled
    ASSERT_EQ(f.ui.dialogs.size(), 1u);
    EXPECT_EQ(f.ui.dialogs[0].title, "Profibus Setup");
    EXPECT_EQ(f.ui.dialogs[0].filter, "Configdata (*.dp1)|*.dp1|all (*.*)|*.*");
    EXPECT_EQ(f.ui.dialogs[0].defaultSuffix, "dp1");
    EXPECT_EQ(f.ui.dialogs[0].initialDir, f.root.setupDir());
    EXPECT_EQ(f.ui.dialogs[0].fileName, "preset.dp1");
    EXPECT_EQ(f.st.configFileName, "preset.dp1");

    f.ui.files.push_back(f.file("x.dp1"));
    Save(f.ctx);
    EXPECT_EQ(f.st.configFileName, f.file("x.dp1"));
    EXPECT_EQ(f.read("x.dp1").size(), 264);

    Neufile(f.ctx);
    EXPECT_FALSE(f.st.image.hasMaster());
    f.ui.files.push_back(f.file("x.dp1"));
    Laden(f.ctx);
    EXPECT_TRUE(f.st.image.hasMaster());
}
