// SPDX-License-Identifier: GPL-3.0-or-later
// Burn, Read and Erase against a scripted board in virtual time: what goes to
// the EEPROM or the master, what the message line says, and that a failure
// never costs the configuration in memory.
#include "busops/eeprom.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "config/image.h"
#include "core/bytes.h"
#include "fake_link.h"

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

// The demo configuration (master, slaves 12, 20, 30, 40, 50) behind `hw`.
struct Bench : BoardBench<EepromOps> {
    explicit Bench(const char *hw = nullptr)
    {
        BuildDemoConfiguration(ctx);
        if (hw)
            plug(hw);
    }
    void masterHolds(std::map<int, Bytes> records, uint8_t eepromCode = 0) { board.masterHolds(std::move(records), eepromCode); }
    Bytes recordOf(int s) const { return RecordBytes(st.image, s); }
    bool seen(const QString &t) const { return std::count(ui.statuses.begin(), ui.statuses.end(), t) > 0; }
    bool startedMaster() const { return std::count(board.writes.begin(), board.writes.end(), std::pair<uint32_t, uint8_t>{0x400, 0}) > 0; }
};

} // namespace

TEST(Burn, bytewiseMasterAnd12_programsTheirPagesAndByte0OfEveryOtherPage)
{
    Bench b;
    for (int s : {20, 30, 40, 50})
        b.st.image.slot(s).clear();
    b.st.image.at(12, 7) = 123;
    putBe16(b.st.image.slot(12).span(), 8, 123);
    b.plug("ravelin:com1");
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    std::set<int> want;
    for (int a = 0; a <= 73; ++a)
        want.insert(a);
    for (int a = 3072; a <= 3202; ++a)
        want.insert(a);
    for (int s = 1; s <= 100; ++s)
        want.insert(s * 256);
    std::set<int> got;
    for (const auto &w : b.board.eeWrites)
        got.insert(w.first);
    EXPECT_EQ(got, want);
    // Page 0's marker is invalid from the first write to the last: a burn cut
    // short reads back as no configuration, never as half of two.
    ASSERT_EQ(b.board.eeWrites.size(), want.size() + 1);
    EXPECT_EQ(b.board.eeWrites.front(), std::make_pair(0, uint8_t(0)));
    EXPECT_EQ(b.board.eeWrites.back(), std::make_pair(0, b.st.image.at(0, 0)));
    EXPECT_EQ(b.board.eeWrites[b.board.eeWrites.size() - 2].first, 73); // the master record's last byte
    EXPECT_TRUE(std::equal(b.board.eeprom.begin() + 3072, b.board.eeprom.begin() + 3203, b.st.image.slot(12).bytes.begin()));
    EXPECT_TRUE(b.seen("Program :  12") && b.seen("Verify :  12"));
    EXPECT_EQ(b.st.melde1, "Programming O.K");
    EXPECT_TRUE(b.startedMaster() && b.panel.run);
}

TEST(Burn, refusedBeforeAnythingIsWritten)
{
    const std::tuple<const char *, std::function<void(State &)>, QString> cases[] = {
        {"ravelin:com1", [](State &st) { st.image.slot(0).clear(); }, "Not burnt: missing Master record !"},
        {"ravelin-tcp", [](State &st) { st.image.slot(0).clear(); }, "Not burnt: missing Master record !"},
        {"ravelin:com1", [](State &st) { putBe16(st.image.slot(12).span(), 8, 246); st.image.at(12, 7) = 244; },
         "Not burnt: the record of station 12 does not fit its EEPROM page"},
        {"tessel", [](State &) {}, "Ravelin/Ketch only !"},
    };
    for (const auto &[hw, spoil, text] : cases) {
        Bench b(hw);
        spoil(b.st);
        bool burnt = false;
        b.board.burnFile = [&](const QString &) { return burnt = true, 0; };
        EXPECT_FALSE(b.ops.ee.Burn_Click());
        EXPECT_EQ(b.st.melde1, text);
        EXPECT_TRUE(b.board.eeWrites.empty() && !burnt && b.board.jobs.empty()) << hw;
    }
}

TEST(Burn, networkHandsOverAPrivateTemporaryFileAndChecksTheResult)
{
    Bench b("ravelin-tcp");
    QString seen;
    QFileDevice::Permissions folder;
    b.board.burnFile = [&](const QString &path) {
        seen = path;
        folder = QFileInfo(QFileInfo(path).path()).permissions();
        Fixture f;
        return LoadConfigFile(f.ctx, path) == 5 && f.st.image.slot(20) == b.st.image.slot(20) ? 0 : 9;
    };
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    EXPECT_TRUE(seen.startsWith(b.root.dir() + "/") && !QFileInfo::exists(QFileInfo(seen).path()));
    EXPECT_EQ(folder & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    EXPECT_TRUE(b.startedMaster());
    EXPECT_GE(b.pump.nowMs(), 1000);

    Bench c("ravelin-tcp");
    c.board.burnFile = [](const QString &) { return 3; };
    EXPECT_FALSE(c.ops.ee.Burn_Click());
    EXPECT_EQ(c.st.melde1, "Error Programming:  3");
    EXPECT_FALSE(c.startedMaster());
}

TEST(Burn, jobWay_sendsAClean3FAndReportsTheMastersAnswer)
{
    Bench b("corvet-dpram");
    b.masterHolds({});
    b.st.record.bytes.fill(0x77); // whatever the record buffer holds
    ASSERT_TRUE(b.ops.ee.Burn_Click());
    EXPECT_EQ(b.board.jobs, (std::vector<Bytes>{{0x3F, 0, 0, 2, 0, 0, 0, 0}}));
    EXPECT_EQ(b.st.melde1, "Programming O.K");

    // The master burns what it runs: with nothing running, say so.
    Bench c("dromon:com2");
    c.masterHolds({}, 1);
    EXPECT_EQ(c.ops.ee.Burn_Click().failure, Failure::Refused);
    EXPECT_EQ(c.st.melde1, "Not burnt: the master holds no configuration to burn; Run it first");
    Bench d("dromon:com2");
    d.masterHolds({}, 4);
    const BusOutcome failed = d.ops.ee.Burn_Click();
    EXPECT_EQ(failed.failure, Failure::BoardError);
    EXPECT_EQ(failed.boardCode, 4);
    EXPECT_EQ(d.st.melde1, "Error Programming:  4");

    Bench t("corvet-dpram");
    EXPECT_FALSE(t.ops.ee.Burn_Click());
    EXPECT_EQ(t.st.melde1, "Timeout");
    EXPECT_GE(t.pump.nowMs(), 1000 * 50);
    EXPECT_LT(t.pump.nowMs(), 1000 * 50 + 2000);
    EXPECT_TRUE(t.panel.timerEnabled);
}

TEST(Erase, replyTakenTheMomentItArrives_evenWithMessagesAfterIt)
{
    Bench b("ravelin:com1");
    b.board.onJob = [&](const Bytes &) {
        b.board.replies.push_back({0xFF, 0, 0, 0, 0, 0, 0, 0});
        b.board.replies.push_back({0xA8, 0, 0, 0xC0, 0, 0, 0, 0});
    };
    EXPECT_TRUE(b.ops.ee.EE_Erase_Click());
    EXPECT_EQ(b.board.jobs[0], (Bytes{0x3F, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(b.st.melde1, "Erasing EEProm OK");

    Bench c("ravelin:com1");
    c.masterHolds({}, 4);
    EXPECT_FALSE(c.ops.ee.EE_Erase_Click());
    EXPECT_EQ(c.st.melde1, "Error Erasing EEProm");

    Bench none; // a line that opened without a master: no 50 s wait for nothing
    EXPECT_FALSE(none.ops.ee.EE_Erase_Click());
    EXPECT_EQ(none.st.melde1, "Error Erasing EEProm");
    EXPECT_LT(none.pump.nowMs(), 1000);
}

TEST(Upload, jobWayWalks1To12To40ThenEndsAndBuildsTheHeadersItself)
{
    Bench src;
    for (int k = 1; k <= 7; ++k) { // bytes L + 1 .. L + 7 go with the record
        src.st.image.at(0, 66 + k) = uint8_t('N');
        src.st.image.at(12, src.st.image.at(12, 7) + k) = uint8_t(k);
    }
    // Paced by the status poll, then with fast download: the same walk, the
    // second at the board's pace.
    qint64 took[2] = {};
    for (const bool fast : {false, true}) {
        Bench b("dromon:com2");
        b.st.fastDownload = fast;
        ClearImage(b.st.image);
        b.masterHolds({{0, src.recordOf(0)}, {12, src.recordOf(12)}, {40, src.recordOf(40)}});
        const qint64 start = b.pump.nowMs();
        ASSERT_TRUE(b.ops.ee.Upload_Click());
        took[fast] = b.pump.nowMs() - start;
        EXPECT_EQ(b.jobCodes(), (std::vector<std::pair<int, int>>{{0x22, 0}, {0x23, 1}, {0x23, 12}, {0x23, 40}}));
        for (int s : {0, 12, 40})
            EXPECT_EQ(b.recordOf(s), src.recordOf(s)) << s; // bytes up to L + 7, no junk in the header
        EXPECT_FALSE(b.st.image.hasSlave(20));
        EXPECT_TRUE(b.seen("Masterparameter loaded - Size: 66") && b.seen("Loaded Slave 12 - Size: 124"));
        EXPECT_EQ(b.st.melde1, " 2 Slave records loaded");
        EXPECT_EQ(b.st.listLines[11], src.st.listLines[11]);
        EXPECT_FALSE(b.ops.com.walking);
    }
    EXPECT_LT(took[1] * 4, took[0]) << took[1] << " ms fast, " << took[0] << " ms paced";

    Bench e("corvet-dpram");
    e.masterHolds({{0, src.recordOf(0)}});
    ASSERT_TRUE(e.ops.ee.Upload_Click());
    EXPECT_EQ(e.st.melde1, " 0 Slave records loaded");
    EXPECT_FALSE(e.st.image.hasSlave(12));
}

TEST(Upload, jobWayFailures_keepTheConfigurationAndSaySo)
{
    const QString at12 = "Error loading Slave 12 - configuration unchanged";
    const std::tuple<int, std::function<void(Bytes &)>, QString> cases[] = {
        {0, [](Bytes &m) { m[7] = 0; }, "Error: unvalid EEPROM data / no Busparameter "},
        {40, [](Bytes &m) { m[0] = 0xE0; }, "Error loading Slave 40 - configuration unchanged"},
        {12, [](Bytes &m) { m[2] = 12; }, at12},  // would ask 12 for ever
        {12, [](Bytes &m) { m[2] = 126; }, at12}, // outside the image
        {12, [](Bytes &m) { m[3] = 13; }, at12},  // another station's record
        {12, [](Bytes &m) { --m[7]; }, at12},     // L disagrees with the record's length
    };
    for (const auto &[station, spoil, text] : cases) {
        Bench b("dromon:com2");
        const ConfigImage before = b.st.image;
        const auto lines = b.st.listLines;
        b.masterHolds({{0, b.recordOf(0)}, {12, b.recordOf(12)}, {40, b.recordOf(40)}});
        const auto honest = b.board.onJob;
        b.board.onJob = [&, station = station, spoil = spoil](const Bytes &j) {
            honest(j);
            if ((j[0] == 0x22 ? 0 : j[3]) == station)
                spoil(b.board.replies.back());
        };
        EXPECT_FALSE(b.ops.ee.Upload_Click());
        EXPECT_EQ(b.st.melde1, text);
        EXPECT_TRUE(b.st.image.slot(0) == before.slot(0) && b.st.image.slot(20) == before.slot(20) && b.st.listLines == lines);
        EXPECT_LE(b.board.jobs.size(), 4u);
    }
}

TEST(Upload, eepromWayReadsUpToLPlus7AndNamesTheForeignPagesItSkips)
{
    Bench b("ravelin:com1");
    const Bytes master = b.recordOf(0);
    std::fill(b.board.eeprom.begin(), b.board.eeprom.end(), 0);
    std::copy(master.begin(), master.end(), b.board.eeprom.begin());
    Bytes page3(28, 0x33);
    page3[0] = '%';
    page3[3] = 3;
    page3[7] = 20;
    page3[8] = 0;
    page3[9] = 20;
    std::copy(page3.begin(), page3.end(), b.board.eeprom.begin() + 768);
    // Pages 5 and 100 name other stations: they are skipped, and said so.
    for (const auto &[page, named] : {std::pair{5, 7}, std::pair{100, 99}}) {
        b.board.eeprom[page * 256] = '%';
        b.board.eeprom[page * 256 + 3] = uint8_t(named);
        b.board.eeprom[page * 256 + 7] = 20;
    }
    ASSERT_TRUE(b.ops.ee.Upload_Click());
    std::vector<int> want = {768, 775};
    for (int a = 769; a <= 795; ++a)
        want.push_back(a);
    const auto at = std::find(b.board.eeReads.begin(), b.board.eeReads.end(), 768);
    EXPECT_EQ(std::vector<int>(at, at + long(want.size())), want);
    EXPECT_EQ(b.recordOf(3), page3);
    EXPECT_EQ(b.recordOf(0), master);
    EXPECT_FALSE(b.st.image.hasSlave(5) || b.st.image.hasSlave(7) || b.st.image.hasSlave(100) || b.st.image.hasSlave(12));
    EXPECT_TRUE(b.seen("UpLoad :  3 =  20 Byte´s") && b.seen("UpLoad :  100 =  20 Byte´s"));
    EXPECT_TRUE(b.seen("Page 5 skipped: it holds the record of station 7") && b.seen("Page 100 skipped: it holds the record of station 99"));
    EXPECT_EQ(b.st.melde1, " 1 Slave records loaded, 2 page(s) skipped");

    Bench erased("ravelin:com1"); // all 0xFF
    EXPECT_FALSE(erased.ops.ee.Upload_Click());
    EXPECT_EQ(erased.st.melde1, "Error: unvalid EEPROM data / no Busparameter ");
    EXPECT_TRUE(erased.st.image.hasSlave(12));
}

TEST(Upload, eepromWayDamagedRecord_isNamedAndKeepsTheConfiguration)
{
    // A weak cell burnt into byte 7 or into the length word; a page whose L
    // runs into the next one.
    const std::pair<int, uint8_t> spoils[] = {{7, 117}, {9, 131}, {7, 250}};
    for (const auto &[at, value] : spoils) {
        Bench b("ravelin:com1");
        for (int s : {0, 12, 40})
            std::copy_n(b.st.image.slot(s).bytes.begin(), 8 + b.st.image.at(s, 7), b.board.eeprom.begin() + s * 256);
        b.board.eeprom[12 * 256 + at] = value;
        b.st.image.slot(20).clear();
        const ConfigImage shown = b.st.image;
        const BusOutcome out = b.ops.ee.Upload_Click();
        EXPECT_EQ(out.failure, Failure::BoardError) << at;
        EXPECT_EQ(b.st.melde1, "Error loading Slave 12 - configuration unchanged") << at;
        for (int s = 0; s < kSlots; ++s)
            EXPECT_TRUE(b.st.image.slot(s) == shown.slot(s)) << at << " station " << s;
    }
}

TEST(SerialEeprom, deadLine_stopsAtTheFirstTimeOutWithOneMessage)
{
    Bench burn("ravelin:com1");
    burn.board.eeAnswers = 10; // page 0 made invalid, then the markers of pages 1..9
    EXPECT_EQ(burn.ops.ee.Burn_Click().failure, Failure::LineFault);
    EXPECT_EQ(burn.board.eeWrites.size(), 10u);
    EXPECT_EQ(burn.st.melde1, "Burn stopped: no answer from the EEPROM at address 2560");
    EXPECT_FALSE(burn.startedMaster());

    Bench read("ravelin:com1");
    std::copy_n(read.st.image.slot(0).bytes.begin(), 74, read.board.eeprom.begin());
    read.board.eeAnswers = 20; // 0, 7, 1 .. 18
    EXPECT_FALSE(read.ops.ee.Upload_Click());
    EXPECT_EQ(read.st.melde1, "Read stopped: no answer from the EEPROM at address 19 - configuration unchanged");
    EXPECT_TRUE(read.st.image.hasSlave(12) && read.panel.hardwareMenuEnabled);
}

TEST(Upload, networkLoadsAPrivateFileAndKeepsTheConfigurationWithoutOne)
{
    Bench src;
    SaveConfigFile(src.ctx, src.file("board.dp1"));
    const QByteArray board = src.read("board.dp1");
    for (const QByteArray &sent : {board, QByteArray(300, 'x'), QByteArray()}) {
        Bench b("ketch-tcp");
        b.st.image.slot(40).clear();
        QString seen;
        b.board.readConfigFile = [&](const QString &path) {
            seen = path;
            return WriteFile(path, sent) ? 1 : 0;
        };
        EXPECT_EQ(b.ops.ee.Upload_Click().done(), sent == board);
        EXPECT_EQ(b.st.melde1, sent == board ? "Loaded local configurationfile" : "No Config loaded");
        EXPECT_EQ(b.st.image.hasSlave(40), sent == board);
        EXPECT_TRUE(seen.startsWith(b.root.dir() + "/") && !QFileInfo::exists(seen));
        EXPECT_TRUE(b.ui.shown.empty());
    }
    Bench t("tessel");
    EXPECT_FALSE(t.ops.ee.Upload_Click());
    EXPECT_EQ(t.st.melde1, "Ravelin or TCP/IP Connection only !");
}
