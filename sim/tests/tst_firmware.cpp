// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware core on a plain byte array: handshakes, jobs, messages, bus rules, EEPROM,
// boot loader.
#include "crc32.h"
#include "dp1.h"
#include "hosthelpers.h"
#include "images.h"
#include "transcript.h"

#include <gtest/gtest.h>

using namespace meridan::sim;
using namespace meridan::sim::test;

namespace {

std::uint8_t code(const std::optional<Bytes> &m)
{
    return m ? (*m)[0] : 0;
}

} // namespace

TEST(FirmwareStart, eachVariant_readyAtItsStartByteWithVersionWhereMappedAndBusStateFollows)
{
    struct Case {
        BoardKind kind;
        std::uint32_t start;
        std::optional<std::uint32_t> version;
        std::vector<std::uint32_t> busState;
    };
    for (const auto &c : {Case{BoardKind::Tessel, 0x0400, 0x1953, {0x3FF6}}, Case{BoardKind::CorvetDpram, 0x1FFF, 0x1953, {0x1FF6}},
                          Case{BoardKind::Ravelin, 0x0400, {}, {0x3006}}, Case{BoardKind::Dromon, 0x0400, {}, {0x2FF6}},
                          Case{BoardKind::CorvetSerial, 0x1FFF, {}, {0x1FF6}},
                          Case{BoardKind::Net0, 0x0400, 0x0717, {0x3006, 0x2FF6}}, Case{BoardKind::Ketch, 0x0400, 0x1953, {0x3FF6}}}) {
        SCOPED_TRACE(kindName(c.kind));
        Rig r(c.kind);
        EXPECT_EQ(r.ram.get(c.start), 0x52);
        if (c.version) {
            EXPECT_EQ(r.ram.get(*c.version), defaultVersion(c.kind));
        }
        // Only the Tessel carries the signature and asks for a load.
        const bool tessel = c.kind == BoardKind::Tessel;
        EXPECT_EQ(r.ram.get(0x000C), tessel ? 'Z' : 0);
        EXPECT_EQ(r.ram.get(loader::Request), tessel ? 1 : 0);
        for (auto a : c.busState)
            EXPECT_EQ(r.ram.get(a), 0) << a;
        auto m = r.send(jobOf(job::SetMode, 0x40));
        ASSERT_TRUE(m);
        EXPECT_EQ(*m, (Bytes{0xE7, 0, 0, 0x40, 0, 0, 0, 0}));
        for (auto a : c.busState)
            EXPECT_EQ(r.ram.get(a), 1) << a;
    }
}

TEST(Mailbox, handshake_busyUntilTakenKeepsOtherBitsAndPostsRepliesOneAtATime)
{
    Rig r;
    r.ram.set(0x3FF0, 0xA0);
    r.ram.set(0x3FF8, 0x50);
    ASSERT_TRUE(r.host.putKomm(jobOf(job::SetMode, 0x40)));
    EXPECT_FALSE(r.host.putKomm(jobOf(job::SetMode, 0x00)));
    r.fw.poll(r.now);
    EXPECT_EQ(r.ram.get(0x3FF8) & 1, r.ram.get(0x3FF0) & 1);
    EXPECT_EQ(r.ram.get(0x3FF0) & 0xFC, 0xA0);
    EXPECT_EQ(r.ram.get(0x3FF8) & 0xFC, 0x50);
    ASSERT_TRUE(r.host.putKomm(jobOf(job::Diagnosis, 12)));
    r.fw.poll(r.now);
    r.fw.poll(r.now);
    EXPECT_EQ(r.fw.queuedMessages(), 1u);
    EXPECT_EQ(r.ram.get(0x3025), 0xE7) << "the first reply stays in the area";
    EXPECT_EQ(code(r.host.getMeld()), 0xE7);
    EXPECT_FALSE(r.host.getMeld()) << "not posted before the firmware runs again";
    r.fw.poll(r.now);
    EXPECT_EQ(code(r.host.getMeld()), 0xE1);
    EXPECT_EQ(r.ram.get(0x3FF0) & 0xFC, 0xA0);
    EXPECT_EQ(r.ram.get(0x3FF8) & 0xFC, 0x50);

    // A host that never fetches: the oldest replies go, the queue stays bounded.
    for (int i = 0; i < 100; ++i) {
        r.host.putKomm(jobOf(job::Diagnosis, static_cast<std::uint8_t>(i)));
        r.fw.poll(r.now);
    }
    EXPECT_LE(r.fw.queuedMessages(), Firmware::MaxQueue);
}

// The master takes the 8 + n bytes of a job and nothing of what the job area
// still holds beyond them (the tail of a longer earlier job).
TEST(Mailbox, aJobIsItsLengthAndNoMore)
{
    Rig r;
    r.send(jobOf(job::SetMode, 0x00));
    const Bytes slave = slaveRecord(12, 0x4711, {0x31});
    const Bytes job = recordJob(slave);
    for (std::uint32_t i = 0; i < 300; ++i)
        r.ram.set(r.host.map.jobArea + i, 0xEE);
    ASSERT_EQ(r.status(job), 0);
    auto m = r.send(jobOf(job::ReadSlave, 12));
    ASSERT_TRUE(m);
    EXPECT_EQ((*m)[0], 0xE3);
    EXPECT_EQ(Bytes(m->begin() + 8, m->end()), Bytes(job.begin() + 8, job.end()));
}

TEST(Jobs, downloadOfTheDemoConfiguration_runsMatchingSlavesFlagsTheRestAndAnswersAsWrittenDown)
{
    Rig r;
    auto slaves = demoSlaves();
    slaves.push_back(slaveRecord(55, 0x4711, {0x31})); // not on the bus
    slaves.push_back(slaveRecord(60, 0x1234, {0x10})); // not on the bus either
    r.download(masterRecord(), slaves);
    // 12, 20, 30 and 50 run, 30 and 40 have diagnosis: the end-to-end status
    // shows the lists; here the states behind them and the stations not on the bus.
    EXPECT_EQ(r.fw.mode(), Mode::Operate);
    EXPECT_EQ(r.ram.get(0x3FF6), 3);
    EXPECT_EQ(r.fw.slaveState(40), SlaveState::PrmFault);
    EXPECT_EQ(r.fw.slaveState(50), SlaveState::Running);
    EXPECT_EQ(r.fw.slaveState(55), SlaveState::NonExistent);
    EXPECT_TRUE(r.diag(55) && !r.running(55));

    const std::vector<Step> steps = readTranscript("jobs_session.txt");
    ASSERT_GE(steps.size(), 9u);
    for (const Step &step : steps)
        EXPECT_EQ(r.send(step.send).value_or(Bytes{}), step.expect) << "jobs_session.txt:" << step.line;
    EXPECT_EQ(r.fw.counts().globalControls, 1);
    EXPECT_EQ(r.fw.lastGlobalControl(), 0x20);

    // Identifier bytes differ: Cfg Fault, with the master's own address.
    Rig cfg;
    cfg.download(masterRecord(0, 2), {slaveRecord(12, 0x4711, {0x13})});
    EXPECT_EQ(cfg.fw.slaveState(12), SlaveState::CfgFault);
    EXPECT_EQ(*cfg.send(jobOf(job::Diagnosis, 12)), (Bytes{0xE1, 0, 0, 12, 0, 0, 0, 6, 0x04, 0x05, 0x00, 2, 0x47, 0x11}));

    // With report=modules the slave says which modules differ: the second one
    // (a special identifier with its length byte) is wrong, the third missing.
    Rig says(BoardKind::Tessel, *SimBus::parse("12 ident=4711 cfg=10,C0,41,01 report=modules\n", nullptr));
    says.download(masterRecord(0, 2), {slaveRecord(12, 0x4711, {0x10, 0xC0, 0x41, 0x03, 0x20})});
    EXPECT_EQ(*says.send(jobOf(job::Diagnosis, 12)), (Bytes{0xE1, 0, 0, 12, 0, 0, 0, 13, 0x0C, 0x05, 0x00, 2, 0x47, 0x11,
                                                            0x42, 0x06, 0x05, 0x82, 0x00, 0x00, 0x38}));
}

TEST(Jobs, autoClear_failingSlaveTakesOperateToClearOnlyWhenSwitchedOn)
{
    Rig r;
    r.send(jobOf(job::SetMode, 0x00));
    r.send(recordJob(masterRecord(0x80)));
    for (const auto &s : demoSlaves())
        r.send(recordJob(s));
    r.send(jobOf(job::SetMode, 0x80));
    auto e7 = r.send(jobOf(job::SetMode, 0xC0));
    EXPECT_EQ(*e7, (Bytes{0xE7, 0, 0, 0xC0, 0, 0, 0, 0}));
    auto a8 = r.reply();
    ASSERT_TRUE(a8);
    EXPECT_EQ(*a8, (Bytes{0xA8, 0, 0, 0x80, 1, 2, 0, 0}));
    EXPECT_EQ(r.fw.mode(), Mode::Clear);
    EXPECT_EQ(r.ram.get(0x3FF6), 2);

    Rig off;
    off.download(masterRecord(0x00), demoSlaves());
    EXPECT_EQ(off.fw.mode(), Mode::Operate);
    EXPECT_FALSE(off.reply());
}

// --flap 12:300:1000 and --flap-diag 20:200:1000: each second from Operate, station 12
// is gone for its last 300 ms and station 20 shows a channel fault for its last 200 ms.
TEST(Flaps, dropOutAndDiagnosis_comeAndGoEachPeriod_aDropOutTripsAutoClear)
{
    const std::vector<Flap> flaps = {*parseFlap("12:300:1000", Flap::Kind::DropOut, nullptr),
                                     *parseFlap("20:200:1000", Flap::Kind::Diagnosis, nullptr)};
    Rig r(BoardKind::Tessel, SimBus::demo(), flaps);
    const std::vector<Bytes> slaves = {demoSlaves()[0], demoSlaves()[1]};
    r.download(masterRecord(), slaves);
    while (r.reply()) {
    }
    struct At {
        std::int64_t ms;
        bool run12, diag12, diag20;
    };
    std::int64_t t0 = r.now;
    for (const At &at : {At{699, true, false, false}, At{700, false, true, false}, At{800, false, true, true},
                         At{1000, true, false, false}, At{1750, false, true, false}, At{1850, false, true, true}}) {
        r.advance(t0 + at.ms - r.now);
        SCOPED_TRACE(at.ms);
        EXPECT_EQ(r.running(12), at.run12);
        EXPECT_EQ(r.diag(12), at.diag12);
        EXPECT_EQ(r.diag(20), at.diag20);
        EXPECT_TRUE(r.running(20));
    }
    // Gone: "Station Non existent"; station 20 adds the channel block to its diagnosis.
    EXPECT_EQ(*r.send(jobOf(job::Diagnosis, 12)), (Bytes{0xE1, 0, 0, 12, 0, 0, 0, 6, 0x01, 0, 0, 0xFF, 0, 0}));
    EXPECT_EQ(*r.send(jobOf(job::Diagnosis, 20)), (Bytes{0xE1, 0, 0, 20, 0, 0, 0, 9, 0x08, 0x0C, 0, 1, 0xC0, 0xDE, 0x80, 0x40, 0x26}));

    // With auto-clear the first drop-out takes the bus to Clear.
    Rig ac(BoardKind::Tessel, SimBus::demo(), flaps);
    ac.download(masterRecord(0x80), slaves);
    while (ac.reply()) {
    }
    ac.advance(700);
    EXPECT_EQ(ac.fw.mode(), Mode::Clear);
    EXPECT_EQ(*ac.reply(), (Bytes{0xA8, 0, 0, 0x80, 1, 2, 0, 0}));

    std::string why;
    for (const char *bad : {"12:1000:1000", "0:1:2", "12:5", "12:x:100", "126:1:2", "12:1:86400001"})
        EXPECT_FALSE(parseFlap(bad, Flap::Kind::DropOut, &why)) << bad;
    EXPECT_NE(why.find("STATION:DOWN_MS:EVERY_MS"), std::string::npos);
}

TEST(Jobs, badModesAndRecords_refusedWithTheirStatusAndNotStored)
{
    Rig r;
    EXPECT_EQ(r.status(jobOf(job::SetMode, 0xC0)), 2) << "no master record";
    EXPECT_EQ(r.fw.mode(), Mode::Offline);
    EXPECT_EQ(r.status(jobOf(job::SetMode, 0x40)), 0) << "Stop needs no bus parameters";

    Bytes m = masterRecord();
    m[9] = 65;
    EXPECT_EQ(r.status(recordJob(m)), 2);
    m = masterRecord();
    m[11] = 10;
    EXPECT_EQ(r.status(recordJob(m)), 3);
    EXPECT_TRUE(r.fw.masterRecord().empty());
    EXPECT_EQ(r.status(recordJob(masterRecord())), 0);

    Bytes s = slaveRecord(12, 0x4711, {0x31});
    s[7] = static_cast<std::uint8_t>(s[7] - 1); // short length disagrees with Slave_Para_Len
    EXPECT_EQ(r.status(Bytes(s.begin(), s.begin() + 8 + s[7])), 2);
    s = slaveRecord(12, 0x4711, {0x31});
    s[34] = 7; // Cfg_Data_Len runs past the record
    EXPECT_EQ(r.status(recordJob(s)), 2);
    EXPECT_EQ(r.status(recordJob(slaveRecord(126, 0x4711, {0x31}))), 1);
    EXPECT_EQ(r.status(recordJob(slaveRecord(0, 0x4711, {0x31}))), 1);
    EXPECT_TRUE(r.fw.slaveRecords().empty());
    EXPECT_EQ(*r.send(recordJob(slaveRecord(12, 0x4711, {0x31}))), (Bytes{0xE5, 0, 0, 12, 0, 0, 0, 0}));
    // Longer than a job carries: accepted as the job delivers it.
    Bytes big = slaveRecord(20, 0x4711, {0x31}, 0, 0, 130); // Slave_Para_Len 254
    ASSERT_EQ(big[7], 244);
    EXPECT_EQ(r.status(recordJob(big)), 0);

    // Records while the bus runs.
    Rig running;
    running.download(masterRecord(), demoSlaves());
    EXPECT_EQ(running.status(recordJob(slaveRecord(50, 0x4711, {0x31}))), 4);
}

TEST(Inputs, runningSlaves_inputsChangeOverTimeOutputsAreKeptAndLengthsDecoded)
{
    Rig r;
    r.download(masterRecord(), demoSlaves());
    r.ram.set(0x2000 + 2 + 0x100, 0x77); // somewhere the host keeps outputs
    r.advance(1);
    Bytes first{r.ram.get(0x2000), r.ram.get(0x2001)};
    r.advance(250);
    Bytes later{r.ram.get(0x2000), r.ram.get(0x2001)};
    EXPECT_NE(first, later) << "station 12 counts";
    EXPECT_EQ(r.ram.get(0x2000 + 9), 0) << "station 40 has Prm Fault: no inputs";
    EXPECT_EQ(r.ram.get(0x2000 + 2 + 0x100), 0x77);

    EXPECT_EQ(decodeIoLengths({0x31}).input, 2);
    EXPECT_EQ(decodeIoLengths({0x31}).output, 2);
    EXPECT_EQ(decodeIoLengths({0x11, 0x13}).input, 6);
    EXPECT_EQ(decodeIoLengths({0x50}).input, 2) << "word unit";
    // special: output length byte, then input length byte, then 2 manufacturer bytes
    IoLengths io = decodeIoLengths({0xC2, 0x03, 0x41, 0xAA, 0xBB, 0x00});
    EXPECT_EQ(io.output, 4);
    EXPECT_EQ(io.input, 4);
    EXPECT_EQ(decodeIoLengths({0x80}).output, 0) << "cut short: no crash";
}

TEST(Inputs, loopedSlave_givesBackTheOutputsItReceivedFromTheOutputImage)
{
    Rig r;
    r.download(masterRecord(), demoSlaves());
    // Station 50: outputs at output image + 3 (0x2803..5), inputs at input image + 10.
    r.ram.set(0x2803, 0x28);
    r.ram.set(0x2804, 0x01);
    r.ram.set(0x2805, 0xF4);
    r.ram.set(0x2000 + 3, 0x55); // the input image at the output offset: not the slave's outputs
    r.ram.set(0x2800, 0xA5);     // station 12's first output byte
    r.advance(150);
    EXPECT_EQ(r.fw.receivedOutputs().at(50), (Bytes{0x28, 0x01, 0xF4}));
    EXPECT_EQ(r.fw.receivedOutputs().at(12), (Bytes{0xA5, 0x00}));
    EXPECT_EQ((Bytes{r.ram.get(0x200A), r.ram.get(0x200B), r.ram.get(0x200C)}), (Bytes{0x28, 0x01, 0xF4}));
    EXPECT_EQ(r.ram.get(0x2803), 0x28) << "the board never writes the output image";
    EXPECT_FALSE(r.fw.receivedOutputs().count(40)) << "Prm Fault: no data exchange";

    // In Clear the slaves get zeros, and a looped one gives zeros back.
    r.send(jobOf(job::SetMode, 0x80));
    r.advance(150);
    EXPECT_EQ(r.fw.receivedOutputs().at(50), (Bytes{0, 0, 0}));
    EXPECT_EQ(r.ram.get(0x200A), 0);
    r.send(jobOf(job::SetMode, 0x40));
    EXPECT_TRUE(r.fw.receivedOutputs().empty());

    // A looped slave with fewer outputs than inputs: zeros beyond; inputs that
    // would reach past the input image stop at its end.
    Rig edge(BoardKind::Tessel, *SimBus::parse("7 ident=1 cfg=20,11 input=loop\n8 ident=1 cfg=20,11 input=loop\n", nullptr));
    edge.download(masterRecord(), {slaveRecord(7, 0x0001, {0x20, 0x11}, 0x100, 0x10), slaveRecord(8, 0x0001, {0x20, 0x11}, 0x7FF, 0x11)});
    edge.ram.set(0x2810, 0x99);
    edge.ram.set(0x2811, 0x66);
    edge.ram.set(0x2102, 0x33);
    edge.ram.set(0x2800, 0x77);
    edge.advance(150);
    EXPECT_EQ((Bytes{edge.ram.get(0x2100), edge.ram.get(0x2101), edge.ram.get(0x2102)}), (Bytes{0x99, 0x00, 0x33}));
    EXPECT_EQ(edge.ram.get(0x27FF), 0x66);
    EXPECT_EQ(edge.ram.get(0x2800), 0x77);
}

TEST(StartByte, stop_clearsConfigurationRefusesJobsAndIsReadyAfterTheBootDelay)
{
    Rig r(BoardKind::CorvetDpram);
    r.download(masterRecord(), demoSlaves());
    r.ram.set(0x1FFF, 1);
    r.fw.poll(r.now);
    EXPECT_EQ(r.fw.mode(), Mode::Offline);
    EXPECT_EQ(r.ram.get(0x1FF6), 0);
    EXPECT_FALSE(r.running(12));
    EXPECT_NE(r.ram.get(0x1FFF), 0x52);
    r.host.putKomm(jobOf(job::SetMode, 0x40));
    r.advance(100);
    EXPECT_FALSE(r.host.putKomm(jobOf(job::SetMode, 0x40))) << "not taken while booting";
    r.advance(150);
    EXPECT_EQ(r.ram.get(0x1FFF), 0x52);
    EXPECT_TRUE(r.fw.slaveRecords().empty());
}

TEST(StartByte, startFromEeprom_goesToOperateWithModeReport)
{
    Rig r;
    r.download(masterRecord(), {slaveRecord(12, 0x4711, {0x31})});
    auto ff = *r.send(jobOf(job::Eeprom, 2));
    EXPECT_EQ(ff, (Bytes{0xFF, 0, 0, 0, 0, 0, 0, 0}));
    r.ram.set(0x0400, 1);
    r.advance(2500); // the Tessel loader falls back to its firmware
    ASSERT_EQ(r.ram.get(0x0400), 0x52);
    r.ram.set(0x0400, 0);
    r.fw.poll(r.now);
    EXPECT_EQ(r.ram.get(0x0400), 0x52);
    EXPECT_EQ(r.fw.mode(), Mode::Operate);
    EXPECT_TRUE(r.running(12));
    EXPECT_EQ(*r.reply(), (Bytes{0xA8, 0, 0, 0xC0, 2, 3, 0, 0}));
}

// What a burn job writes, an erase clears and a start from the EEPROM reads
// back is the end-to-end tests' (burn, restart, eeprom-start, upload, erase);
// here the refusals.
TEST(Eeprom, burnJob_refusesWithoutMasterRecordUnknownFunctionOrTooLongARecord)
{
    Rig none;
    Bytes ff = *none.send(jobOf(job::Eeprom, 2));
    EXPECT_EQ(ff[2], 1);
    EXPECT_EQ(ff[3], 1);
    EXPECT_EQ(none.eeprom.read(0), 0xFF) << "nothing burnt";
    EXPECT_EQ((*none.send(jobOf(job::Eeprom, 9)))[3], 5);
    none.send(recordJob(masterRecord()));
    none.send(recordJob(slaveRecord(12, 0x4711, {0x31}, 0, 0, 130)));
    EXPECT_EQ((*none.send(jobOf(job::Eeprom, 2)))[3], 3);
}

// A configuration file burnt and read back over TCP is the end-to-end tests';
// here the files refused before anything is written.
TEST(ConfigFile, badFiles_changeNothing)
{
    Eeprom e;
    EXPECT_EQ(burnConfigFile(e, Bytes(100, 0)).code, 1);
    Bytes file{0x10, 0, 0, 0, 0, 0, 0, 0};
    Bytes master = masterRecord();
    master.resize(256, 0);
    file.insert(file.end(), master.begin(), master.end());
    Bytes cut = file, big = file;
    Bytes s = slaveRecord(12, 0x4711, {0x31});
    cut.insert(cut.end(), s.begin(), s.begin() + 40); // L says more than the file holds
    EXPECT_EQ(burnConfigFile(e, cut).code, 2);
    Bytes longer = slaveRecord(12, 0x4711, {0x31}, 0, 0, 130);
    big.insert(big.end(), longer.begin(), longer.begin() + 254 + 1); // bytes 0..L, L = 254
    EXPECT_EQ(burnConfigFile(e, big).code, 3);
    EXPECT_EQ(e.read(0), 0xFF);
    EXPECT_FALSE(configFileFromEeprom(e));
}

namespace {

// The driver library's image load through the loader registers.
std::uint8_t loadImage(Rig &r, std::uint8_t cpu, const Bytes &img)
{
    auto command = [&](std::uint8_t c) -> std::uint8_t {
        r.ram.set(loader::Cmd, c);
        for (int i = 0; i < 1000 && r.ram.get(loader::Cmd) != 0; ++i)
            r.advance(1);
        return r.ram.get(loader::Cmd) ? 3 : r.ram.get(loader::Status);
    };
    r.ram.set(loader::Cpu, cpu);
    for (std::uint32_t i = 0; i < 16 && i < img.size(); ++i)
        r.ram.set(loader::Window + i, img[i]);
    if (auto s = command(0x01))
        return s;
    std::uint16_t seq = 0;
    for (std::size_t pos = 16; pos < img.size(); pos += 1024, ++seq) {
        std::size_t n = std::min<std::size_t>(1024, img.size() - pos);
        for (std::size_t i = 0; i < n; ++i)
            r.ram.set(loader::Window + static_cast<std::uint32_t>(i), img[pos + i]);
        r.ram.set16(loader::Len, static_cast<std::uint16_t>(n));
        r.ram.set16(loader::Seq, seq);
        if (auto s = command(0x02))
            return s;
    }
    return command(0x03);
}

} // namespace

TEST(BootLoader, sampleImages_loadBothCpusAndBootTheNewVersion)
{
    Rig r;
    r.ram.set(0x0400, 1);
    r.advance(300);
    EXPECT_EQ(loadImage(r, ImageCpu040, sampleOs9Image()), 0);
    EXPECT_EQ(r.ram.get(loader::Request), 0);
    EXPECT_EQ(loadImage(r, ImageCpu331, makeImage(ImageCpu331, 0x54, 3000)), 0);
    r.advance(250);
    EXPECT_EQ(r.ram.get(0x0400), 0x52);
    EXPECT_EQ(r.ram.get(0x1953), 0x54);
    EXPECT_EQ(r.ram.get(loader::Request), 0) << "the 040 keeps its image";
    const std::string check = "123456789"; // the images' CRC is the common CRC-32
    EXPECT_EQ(crc32(Bytes(check.begin(), check.end())), 0xCBF43926u);
}

TEST(BootLoader, badImages_refusedWithTheirCodesAndOldFirmwareComesBack)
{
    Rig r;
    EXPECT_EQ(loadImage(r, ImageCpu331, sampleDpm1Image()), 0x15) << "not while the firmware runs";
    r.ram.set(0x0400, 1);
    r.advance(1);
    Bytes img = sampleDpm1Image();
    Bytes badMagic = img;
    badMagic[0] = 'X';
    EXPECT_EQ(loadImage(r, ImageCpu331, badMagic), 0x10);
    EXPECT_EQ(loadImage(r, ImageCpu040, img), 0x11);
    Bytes badCrc = img;
    badCrc[100] ^= 1;
    EXPECT_EQ(loadImage(r, ImageCpu331, badCrc), 0x13);
    Bytes shortImg(img.begin(), img.end() - 10);
    EXPECT_EQ(loadImage(r, ImageCpu331, shortImg), 0x12);
    Bytes zeroLen = img;
    zeroLen[8] = zeroLen[9] = zeroLen[10] = zeroLen[11] = 0;
    EXPECT_EQ(loadImage(r, ImageCpu331, zeroLen), 0x12);
    r.ram.set(loader::Cpu, 0x31);
    r.ram.set(loader::Cmd, 0x02); // data before begin
    r.advance(1);
    EXPECT_EQ(r.ram.get(loader::Status), 0x14);
    r.advance(2100);
    EXPECT_EQ(r.ram.get(0x0400), 0x52) << "falls back to its firmware";
    EXPECT_EQ(r.ram.get(0x1953), 0x53);
}

TEST(BusFile, demoTextAndErrors_parsedWithLineNumbers)
{
    SimBus demo = SimBus::demo();
    ASSERT_EQ(demo.slaves.size(), 5u);
    EXPECT_EQ(demo.find(50)->pattern, InputPattern::Loop);
    EXPECT_EQ(demo.find(50)->cfg, (Bytes{0x20, 0x10, 0xC0, 0x40, 0x40}));
    EXPECT_EQ(demo.find(30)->extDiag, (Bytes{0x02, 0x01, 0x42, 0x02, 0x81, 0x80, 0x21}));
    EXPECT_EQ(demo.find(20)->cfg, (Bytes{0x11, 0x13}));

    std::string err;
    EXPECT_FALSE(SimBus::parse("12 ident=4711 cfg=31\n12 ident=1 cfg=10\n", &err));
    EXPECT_EQ(err.substr(0, 2), "2:");
    EXPECT_FALSE(SimBus::parse("# c\n\n130 ident=1 cfg=10\n", &err));
    EXPECT_EQ(err.substr(0, 2), "3:");
    EXPECT_FALSE(SimBus::parse("5 ident=XYZ cfg=10\n", &err));
    EXPECT_FALSE(SimBus::parse("5 ident=1\n", &err));
    EXPECT_FALSE(SimBus::parse("5 ident=1 cfg=10 colour=red\n", &err));
    EXPECT_FALSE(SimBus::parse("5 ident=1 cfg=100\n", &err));
    auto ok = SimBus::parse("5 ident=0x00AB cfg=10 input=const:01,02 # note\r\n", &err);
    ASSERT_TRUE(ok) << err;
    EXPECT_EQ(ok->find(5)->ident, 0xAB);
}
