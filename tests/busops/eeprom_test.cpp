// Burn, Read and Erase against a scripted board in virtual time: what goes to
// the EEPROM or the master, what the message line says, and that a failure
// never costs the configuration in memory.
#include "busops/eeprom.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "config/image.h"
#include "core/bytes.h"
#include "fake_link.h"

#include <QDir>
#include <QFileInfo>
#include <set>

using namespace meridan;
using namespace meridan::test;

namespace {

struct EepromOps {
    Commissioning com;
    Eeprom ee;
    EepromOps(Context &ctx, Connection &conn) : com(ctx, conn), ee(ctx, com) {}
    void Timer1_Timer() { com.Timer1_Timer(); }
};

using Bytes = std::vector<uint8_t>;

struct Bench : BoardBench<EepromOps> {
    Bench() { BuildDemoConfiguration(ctx); }

    // Master and one slave at 12 with a 123-byte parameter set.
    void master12()
    {
        ClearImage(st.image);
        Record m;
        m[11] = 6;
        SetMasterDefaults(m);
        for (int i = 42; i <= 73; ++i)
            m[i] = uint8_t('A' + i % 26); // the class 2 name reaches byte 73
        st.image.slot(0) = m;
        Record &r = st.image.slot(12);
        r[0] = kSlaveMarker;
        r[3] = 12;
        r[7] = 123;
        putBe16(r.span(), 8, 123);
        for (int i = 10; i <= 130; ++i)
            r[i] = uint8_t(i);
    }
    // A master that keeps `records` (station -> bytes 0 .. L + 7) and answers
    // the read-back and EEPROM jobs; `junk` stands in the header bytes a
    // reply leaves untouched.
    void masterHolds(std::map<int, Bytes> records, uint8_t eepromCode = 0, uint8_t junk = 0x5A)
    {
        board.onJob = [this, records, eepromCode, junk](const Bytes &j) {
            if (j[0] == 0x3F) {
                board.replies.push_back({0xFF, 0, eepromCode, eepromCode, 0, 0, 0, 0});
                return;
            }
            if (j[0] != 0x22 && j[0] != 0x23)
                return;
            const int s = j[0] == 0x22 ? 0 : j[3];
            auto it = records.find(s);
            Bytes m = {uint8_t(j[0] + 0xC0), junk, 0, uint8_t(s), junk, junk, junk, 0};
            if (s > 0) {
                auto next = records.upper_bound(s);
                m[2] = next == records.end() ? 127 : uint8_t(next->first);
            }
            if (it != records.end()) {
                m[7] = it->second[7];
                m.insert(m.end(), it->second.begin() + 8, it->second.end());
            } else if (s == 0) {
                m[2] = 1; // no master record
            }
            board.replies.push_back(m);
        };
    }
    Bytes recordOf(int s) const
    {
        const Record &r = st.image.slot(s);
        return Bytes(r.bytes.begin(), r.bytes.begin() + 8 + r[7]);
    }
    bool statusSeen(const QString &t) const { return std::find(ui.statuses.begin(), ui.statuses.end(), t) != ui.statuses.end(); }
    bool startedMaster() const
    {
        return std::find(board.writes.begin(), board.writes.end(), std::pair<uint32_t, uint8_t>{0x400, 0}) != board.writes.end();
    }
};

std::set<int> WrittenAddresses(const FakeBoard &b)
{
    std::set<int> out;
    for (const auto &w : b.eeWrites)
        out.insert(w.first);
    return out;
}

} // namespace

// ---- Burn -------------------------------------------------------------------

TEST(Burn, bytewiseMasterAnd12_programsTheirPagesAndByte0OfEveryOtherPage)
{
    Bench b;
    b.master12();
    b.plug("ravelin:com1");
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    std::set<int> want;
    for (int a = 0; a <= 73; ++a)
        want.insert(a);
    for (int a = 3072; a <= 3202; ++a)
        want.insert(a);
    for (int s = 1; s <= 100; ++s)
        want.insert(s * 256);
    EXPECT_EQ(WrittenAddresses(b.board), want);
    EXPECT_EQ(b.board.eeWrites.size(), want.size()); // nothing written twice when all reads back right
    for (int k = 0; k <= 130; ++k)
        ASSERT_EQ(b.board.eeprom[3072 + k], b.st.image.at(12, k)) << k;
    EXPECT_EQ(b.board.eeprom[5 * 256], 0);
    EXPECT_TRUE(b.statusSeen("Program :  12"));
    EXPECT_TRUE(b.statusSeen("Verify :  12"));
    EXPECT_EQ(b.st.melde1, "Programming O.K");
    EXPECT_TRUE(b.startedMaster());
    EXPECT_TRUE(b.panel.run);
}

TEST(Burn, bytewiseByteThatDoesNotTake_isRewrittenUntilItDoesOrGivesErrorAt)
{
    Bench b;
    b.master12();
    b.plug("ravelin:com1");
    b.board.eeStuck[5] = 1; // the first write of page 0 byte 5 does not take
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    EXPECT_TRUE(b.statusSeen("Verify :  0 Cnt: 1 at  5"));
    EXPECT_EQ(std::count_if(b.board.eeWrites.begin(), b.board.eeWrites.end(), [](auto w) { return w.first == 5; }), 2);
    EXPECT_EQ(b.st.melde1, "Programming O.K");

    Bench c;
    c.master12();
    c.plug("ravelin:com1");
    c.board.eeStuck[3075] = 100;
    EXPECT_FALSE(c.ops.ee.Burn_Click());
    EXPECT_EQ(c.st.melde1, "Error at  3075");
    EXPECT_TRUE(c.statusSeen("Verify :  12 Cnt: 9 at  3075"));
    EXPECT_FALSE(c.statusSeen("Verify :  12 Cnt: 10 at  3075"));
    EXPECT_EQ(std::count_if(c.board.eeWrites.begin(), c.board.eeWrites.end(), [](auto w) { return w.first == 3075; }), 10);
    EXPECT_FALSE(c.startedMaster());
}

TEST(Burn, bytewiseDeadLine_stopsAtTheFirstTimeOutWithOneMessage)
{
    Bench b;
    b.master12();
    b.plug("ravelin:com1");
    b.board.eeAnswers = 10;
    EXPECT_FALSE(b.ops.ee.Burn_Click());
    EXPECT_EQ(b.board.eeWrites.size(), 10u);
    EXPECT_EQ(b.st.melde1, "Burn stopped: no answer from the EEPROM at address 10");
    EXPECT_FALSE(b.startedMaster());
    EXPECT_TRUE(b.panel.hardwareMenuEnabled); // the commands are given back
}

TEST(Burn, refusedBeforeAnythingIsWritten)
{
    struct Case {
        const char *hw;
        std::function<void(Bench &)> spoil;
        QString text;
    };
    const Case cases[] = {
        {"ravelin:com1", [](Bench &b) { b.st.image.slot(0).clear(); }, "Not burnt: missing Master record !"},
        {"ravelin-tcp", [](Bench &b) { b.st.image.slot(0).clear(); }, "Not burnt: missing Master record !"},
        {"ravelin:com1", [](Bench &b) { putBe16(b.st.image.slot(12).span(), 8, 246); b.st.image.at(12, 7) = 244; },
         "Not burnt: the record of station 12 does not fit its EEPROM page"},
        {"ravelin:com1", [](Bench &b) { b.st.image.at(12, 7) = 249; }, "Not burnt: the record of station 12 does not fit its EEPROM page"},
        {"tessel", [](Bench &) {}, "Ravelin/Ketch only !"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Bench b;
        b.master12();
        c.spoil(b);
        b.plug(c.hw);
        bool burnt = false;
        b.board.burnFile = [&](const QString &) { burnt = true; return 0; };
        EXPECT_FALSE(b.ops.ee.Burn_Click());
        EXPECT_EQ(b.st.melde1, c.text);
        EXPECT_TRUE(b.board.eeWrites.empty());
        EXPECT_FALSE(burnt);
        EXPECT_TRUE(b.board.jobs.empty());
    }
}

TEST(Burn, boardInOperate_asksFirstAndNoLeavesItRunning)
{
    Bench b;
    b.master12();
    b.plug("ravelin:com1");
    b.board.ram[0x3FF6] = 3; // Operate
    b.ui.answers = {No};
    EXPECT_FALSE(b.ops.ee.Burn_Click());
    ASSERT_EQ(b.ui.shown.size(), 1u);
    EXPECT_EQ(b.ui.shown[0].buttons, Yes | No);
    EXPECT_EQ(b.st.melde1, "Burn cancelled");
    EXPECT_TRUE(b.board.eeWrites.empty());
    b.ui.answers = {Yes};
    EXPECT_TRUE(b.ops.ee.Burn_Click());
}

TEST(Burn, networkHandsOverAPrivateTemporaryFileAndChecksTheResult)
{
    Bench b;
    b.plug("ravelin-tcp");
    QString seen;
    QByteArray content;
    QFileDevice::Permissions dirPerms;
    b.board.burnFile = [&](const QString &path) {
        seen = path;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        content = f.readAll();
        dirPerms = QFileInfo(QFileInfo(path).path()).permissions();
        return 0;
    };
    const qint64 before = b.pump.nowMs();
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    EXPECT_TRUE(seen.startsWith(b.root.dir() + "/"));
    EXPECT_FALSE(QFileInfo::exists(seen));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(seen).path()));
    EXPECT_EQ(dirPerms & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    Fixture f;
    f.write("got.dp1", content);
    EXPECT_EQ(LoadConfigFile(f.ctx, f.file("got.dp1")), 4);
    EXPECT_EQ(f.st.image.slot(20), b.st.image.slot(20));
    EXPECT_EQ(b.st.melde1, "Programming O.K");
    EXPECT_TRUE(b.startedMaster());
    EXPECT_GE(b.pump.nowMs() - before, 1000);

    Bench c;
    c.plug("ravelin-tcp");
    c.board.burnFile = [](const QString &) { return 3; };
    EXPECT_FALSE(c.ops.ee.Burn_Click());
    EXPECT_EQ(c.st.melde1, "Error Programming:  3");
    EXPECT_FALSE(c.startedMaster());
}

TEST(Burn, jobWay_sendsAClean3FAndReportsTheMastersAnswer)
{
    Bench b;
    b.plug("corvet-dpram");
    b.masterHolds({}, 0);
    std::fill(b.st.record.bytes.begin(), b.st.record.bytes.end(), 0x77); // whatever the record buffer holds
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    ASSERT_EQ(b.board.jobs.size(), 1u);
    EXPECT_EQ(b.board.jobs[0], (Bytes{0x3F, 0, 0, 2, 0, 0, 0, 0}));
    EXPECT_EQ(b.st.melde1, "Programming O.K");
    EXPECT_TRUE(b.panel.timerEnabled);

    Bench c;
    c.plug("dromon:com2");
    c.masterHolds({}, 1);
    EXPECT_FALSE(c.ops.ee.Burn_Click());
    EXPECT_EQ(c.st.melde1, "Error Programming:  1");

    Bench t;
    t.plug("corvet-dpram");
    const qint64 before = t.pump.nowMs();
    EXPECT_FALSE(t.ops.ee.Burn_Click());
    EXPECT_EQ(t.st.melde1, "Timeout");
    EXPECT_GE(t.pump.nowMs() - before, 1000 * 50);
    EXPECT_LT(t.pump.nowMs() - before, 1000 * 50 + 2000);
}

// ---- Erase ------------------------------------------------------------------

TEST(Erase, replyTakenTheMomentItArrives_evenWithMessagesAfterIt)
{
    Bench b;
    b.plug("ravelin:com1");
    b.board.onJob = [&](const Bytes &j) {
        b.board.replies.push_back({0xFF, 0, 0, 0, 0, 0, 0, 0});
        b.board.replies.push_back({0xA8, 0, 0, 0xC0, 0, 0, 0, 0}); // comes right after
    };
    EXPECT_TRUE(b.ops.ee.EE_Erase_Click());
    EXPECT_EQ(b.board.jobs[0], (Bytes{0x3F, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(b.st.melde1, "Erasing EEProm OK");

    Bench c;
    c.plug("ravelin:com1");
    c.board.onJob = [&](const Bytes &) { c.board.replies.push_back({0xFF, 0, 4, 4, 0, 0, 0, 0}); };
    EXPECT_FALSE(c.ops.ee.EE_Erase_Click());
    EXPECT_EQ(c.st.melde1, "Error Erasing EEProm");

    Bench none; // a line that opened without a master: no 50 s wait for nothing
    EXPECT_FALSE(none.ops.ee.EE_Erase_Click());
    EXPECT_EQ(none.st.melde1, "Error Erasing EEProm");
    EXPECT_LT(none.pump.nowMs(), 1000);
}

// ---- Read (upload) ------------------------------------------------------------

TEST(Upload, jobWayWalks1To12To40ThenEndsAndBuildsTheHeadersItself)
{
    Bench src;
    Bench b;
    b.plug("dromon:com2");
    ClearImage(b.st.image);
    b.masterHolds({{0, src.recordOf(0)}, {12, src.recordOf(12)}, {40, src.recordOf(40)}});
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    const std::vector<std::pair<int, int>> want = {{0x22, 0}, {0x23, 1}, {0x23, 12}, {0x23, 40}};
    EXPECT_EQ(b.jobCodes(), want);
    for (int s : {0, 12, 40})
        EXPECT_EQ(b.recordOf(s), src.recordOf(s)) << s; // bytes up to L + 7, no junk in the header
    EXPECT_FALSE(b.st.image.hasSlave(20));
    EXPECT_TRUE(b.statusSeen("Masterparameter loaded - Size: 66"));
    EXPECT_TRUE(b.statusSeen("Loaded Slave 40 - Size: " + QString::number(src.st.image.at(40, 7))));
    EXPECT_EQ(b.st.melde1, " 2 Slave records loaded");
    EXPECT_EQ(b.st.listLines[11], src.st.listLines[11]);
    EXPECT_GT(b.ui.listRefreshes, 0);

    Bench e;
    e.plug("corvet-dpram");
    e.masterHolds({{0, src.recordOf(0)}});
    ASSERT_TRUE(e.ops.ee.Upload_Click());
    EXPECT_EQ(e.st.melde1, " 0 Slave records loaded");
    EXPECT_FALSE(e.st.image.hasSlave(12));
}

TEST(Upload, jobWayFailures_keepTheConfigurationAndSaySo)
{
    const auto spoilSlave = [](int station, std::function<void(Bytes &)> f) {
        return [station, f](Bench &b) {
            auto board = b.board.onJob;
            b.board.onJob = [&b, board, station, f](const Bytes &j) {
                board(j);
                if (j[0] == 0x23 && j[3] == station)
                    f(b.board.replies.back());
            };
        };
    };
    struct Case {
        const char *what;
        std::function<void(Bench &)> spoil;
        QString text;
    };
    const QString slave12 = "Error loading Slave 12 - configuration unchanged";
    const Case cases[] = {
        {"no master record", [](Bench &b) { b.masterHolds({}); }, "Error: unvalid EEPROM data / no Busparameter "},
        {"no reply at 40", spoilSlave(40, [](Bytes &m) { m[0] = 0xE0; }), "Error loading Slave 40 - configuration unchanged"},
        {"next not above", spoilSlave(12, [](Bytes &m) { m[2] = 12; }), slave12},
        {"next outside the image", spoilSlave(12, [](Bytes &m) { m[2] = 126; }), slave12},
        {"another station", spoilSlave(12, [](Bytes &m) { m[3] = 13; }), slave12},
        {"L disagrees", spoilSlave(12, [](Bytes &m) { m[7] = uint8_t(m[7] - 1); }), slave12},
        {"L beyond a page", spoilSlave(12, [](Bytes &m) { m[7] = 250; m.resize(258, 0); putBe16(m, 8, 250); }), slave12},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        const ConfigImage before = b.st.image;
        const auto lines = b.st.listLines;
        b.plug("dromon:com2");
        b.masterHolds({{0, b.recordOf(0)}, {12, b.recordOf(12)}, {40, b.recordOf(40)}});
        c.spoil(b);
        EXPECT_FALSE(b.ops.ee.Upload_Click());
        EXPECT_EQ(b.st.melde1, c.text);
        EXPECT_TRUE(b.st.image.slot(0) == before.slot(0) && b.st.image.slot(20) == before.slot(20));
        EXPECT_EQ(b.st.listLines, lines);
        EXPECT_LE(b.board.jobs.size(), 4u);
        EXPECT_TRUE(b.panel.timerEnabled);
    }
}

TEST(Upload, eepromWayReadsPage3ByteByByteUpToLPlus7)
{
    Bench b;
    b.plug("ravelin:com1");
    const Bytes master = b.recordOf(0);
    std::copy(master.begin(), master.end(), b.board.eeprom.begin());
    for (int s = 1; s <= 100; ++s)
        b.board.eeprom[s * 256] = 0;
    Bytes page3(28, 0x33);
    page3[0] = '%';
    page3[3] = 3;
    page3[7] = 20;
    std::copy(page3.begin(), page3.end(), b.board.eeprom.begin() + 768);
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    std::vector<int> want = {768, 775};
    for (int a = 769; a <= 795; ++a)
        want.push_back(a);
    auto at = std::find(b.board.eeReads.begin(), b.board.eeReads.end(), 768);
    ASSERT_NE(at, b.board.eeReads.end());
    EXPECT_EQ(std::vector<int>(at, at + long(want.size())), want);
    EXPECT_EQ(b.recordOf(3), page3);
    EXPECT_EQ(b.recordOf(0), master);
    EXPECT_TRUE(b.statusSeen("UpLoad :  3 =  20 Byte´s"));
    EXPECT_EQ(b.st.melde1, " 1 Slave records loaded");
}

TEST(Upload, eepromWaySkipsForeignPagesAndKeepsTheConfigurationOnFailure)
{
    Bench b;
    b.plug("ravelin:com1");
    std::fill(b.board.eeprom.begin(), b.board.eeprom.end(), 0);
    const Bytes master = b.recordOf(0);
    std::copy(master.begin(), master.end(), b.board.eeprom.begin());
    b.board.eeprom[5 * 256] = '%';
    b.board.eeprom[5 * 256 + 3] = 7; // claims station 7
    b.board.eeprom[5 * 256 + 7] = 20;
    b.board.eeprom[6 * 256] = '%';
    b.board.eeprom[6 * 256 + 3] = 6;
    b.board.eeprom[6 * 256 + 7] = 250; // would run into page 7
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    EXPECT_FALSE(b.st.image.hasSlave(5));
    EXPECT_FALSE(b.st.image.hasSlave(6));
    EXPECT_FALSE(b.st.image.hasSlave(7));
    EXPECT_EQ(b.st.melde1, " 0 Slave records loaded");

    Bench erased; // all 0xFF
    erased.plug("ravelin:com1");
    const ConfigImage before = erased.st.image;
    EXPECT_FALSE(erased.ops.ee.Upload_Click());
    EXPECT_EQ(erased.st.melde1, "Error: unvalid EEPROM data / no Busparameter ");
    EXPECT_EQ(erased.st.image.slot(12), before.slot(12));

    Bench dead;
    dead.plug("ravelin:com1");
    std::copy(master.begin(), master.end(), dead.board.eeprom.begin());
    dead.board.eeAnswers = 20;
    EXPECT_FALSE(dead.ops.ee.Upload_Click());
    EXPECT_EQ(dead.st.melde1, "Read stopped: no answer from the EEPROM at address 19 - configuration unchanged");
    EXPECT_EQ(dead.board.eeReads.size(), 20u);
    EXPECT_EQ(dead.st.image.slot(12), before.slot(12));
}

TEST(Upload, bytewiseBurnThenRead_givesTheSameImageBack)
{
    Bench b;
    b.plug("ravelin:com1");
    const ConfigImage burnt = b.st.image;
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    ClearImage(b.st.image);
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    for (int s = 0; s <= 100; ++s)
        ASSERT_EQ(b.st.image.slot(s), burnt.slot(s)) << s;
    EXPECT_EQ(b.st.melde1, " 4 Slave records loaded");
}

TEST(Upload, networkLoadsAPrivateFileAndKeepsTheConfigurationWithoutOne)
{
    Bench src;
    SaveConfigFile(src.ctx, src.file("board.dp1"));
    const QByteArray boardFile = src.read("board.dp1");
    QString seen;
    Bench b;
    b.plug("ketch-tcp");
    ClearImage(b.st.image);
    b.board.readConfigFile = [&](const QString &path) {
        seen = path;
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(boardFile) == boardFile.size() ? 1 : -1;
    };
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    EXPECT_EQ(b.st.melde1, "Loaded local configurationfile");
    EXPECT_EQ(b.st.image.slot(40), src.st.image.slot(40));
    EXPECT_TRUE(seen.startsWith(b.root.dir() + "/"));
    EXPECT_FALSE(QFileInfo::exists(seen));

    for (const QByteArray &junk : {QByteArray(), QByteArray(300, 'x')}) {
        Bench c;
        c.plug("ketch-tcp");
        const ConfigImage before = c.st.image;
        c.board.readConfigFile = [&](const QString &path) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(junk);
            return junk.isEmpty() ? 0 : 1;
        };
        EXPECT_FALSE(c.ops.ee.Upload_Click());
        EXPECT_EQ(c.st.melde1, "No Config loaded");
        EXPECT_EQ(c.st.image.slot(12), before.slot(12));
        EXPECT_TRUE(c.ui.shown.empty());
    }

    Bench t;
    t.plug("tessel");
    EXPECT_FALSE(t.ops.ee.Upload_Click());
    EXPECT_EQ(t.st.melde1, "Ravelin or TCP/IP Connection only !");
}
