// SPDX-License-Identifier: GPL-3.0-or-later
// The I/O test's model of a station: channel names as the variable editor
// gives them, DP-RAM addresses in the two process images of every board.
#include "io/io_station.h"
#include "io_support.h"
#include "support/fixture.h"

using namespace meridan;
using namespace meridan::io;
using namespace meridan::test;

namespace {

// Compact byte output, compact word input, a special-format identifier with
// output words and an input byte, compact inputs and outputs of two bytes.
const std::vector<uint8_t> kMixedCfg{0x20, 0x51, 0xC0, 0x41, 0x00, 0x31};

} // namespace

TEST(IoStation, channelsOfCompactSpecialAndWordModules_areNamedAndPlacedInTheirImage)
{
    Fixture f;
    const Record rec = StoreSlave(f.ctx, 12, kMixedCfg, 0x10, 0x20);
    const IoStation s = BuildIoStation(rec, iface::MapFor(iface::MapVariant::Tessel));
    ASSERT_TRUE(s.usable()) << s.problem.toStdString();
    ASSERT_EQ(s.modules.size(), 4u);
    EXPECT_EQ(s.inputLength, 4 + 1 + 2);
    EXPECT_EQ(s.outputLength, 1 + 4 + 2);
    const struct {
        const char *name;
        const char *shortName;
        uint32_t address;
        int bit;
    } rows[] = {
        {"QX1.0", "QX0", 0x2820, 0}, {"QX1.7", "QX7", 0x2820, 7},   // the output image, offset 0x20
        {"IW2.0", "IW0", 0x2010, 0}, {"IW2.1", "IW1", 0x2012, 0},   // the input image, offset 0x10
        {"QW3.0", "QW0", 0x2821, 0}, {"QW3.1", "QW1", 0x2823, 0},   // special format: output words
        {"IX3.7", "IX7", 0x2014, 7},                                 // ... and an input byte
        {"IX4.13", "IX13", 0x2016, 5}, {"QX4.8", "QX8", 0x2826, 0},  // both ways, bits through two bytes
    };
    for (const auto &r : rows) {
        const IoChannel *c = s.find(QString::fromLatin1(r.name));
        ASSERT_NE(c, nullptr) << r.name;
        EXPECT_EQ(c->name(), QString::fromLatin1(r.name));
        EXPECT_EQ(c->shortName(), QString::fromLatin1(r.shortName)) << r.name;
        EXPECT_EQ(c->address, r.address) << r.name;
        EXPECT_EQ(c->bit, r.bit) << r.name;
    }
    const std::vector<size_t> counts{8, 2, 2 + 8, 16 + 16};
    for (size_t m = 0; m < counts.size(); ++m)
        EXPECT_EQ(s.modules[m].channels.size(), counts[m]) << "module " << m + 1;
}

TEST(IoStation, channelNames_areReadInAnyCaseAndAWordMayLeaveOutItsNumber)
{
    Fixture f;
    const IoStation s = BuildIoStation(StoreSlave(f.ctx, 12, kMixedCfg, 0, 0), iface::MapFor(iface::MapVariant::Tessel));
    EXPECT_EQ(s.find(QStringLiteral(" qx4.8 ")), s.find(QStringLiteral("QX4.8")));
    EXPECT_EQ(s.find(QStringLiteral("QW3")), s.find(QStringLiteral("QW3.0")));
    for (const char *none : {"QX1", "QX1.8", "IX9.0", "QW1.0", "IX1.0", "Q1.0", "QX1.0.1", ""})
        EXPECT_EQ(s.find(QString::fromLatin1(none)), nullptr) << none;
}

TEST(IoStation, everyBoardsImages_lieInItsProcessDataArea_clearOfTheMailboxes)
{
    using iface::MapVariant;
    const struct {
        MapVariant variant;
        iface::BoardModel model;
        uint32_t input, output;
    } boards[] = {
        {MapVariant::Tessel, iface::BoardModel::Ravelin, 0x2000, 0x2800},
        {MapVariant::Corvet, iface::BoardModel::Corvet, 0x0000, 0x0800},
        {MapVariant::Serial, iface::BoardModel::Ravelin, 0x1000, 0x1800},
        {MapVariant::Serial, iface::BoardModel::Corvet, 0x1000, 0x1800},
        {MapVariant::Network0, iface::BoardModel::Dromon, 0x1000, 0x1800},
        {MapVariant::Network1, iface::BoardModel::Ravelin, 0x2000, 0x2800},
    };
    Fixture f;
    const Record rec = StoreSlave(f.ctx, 12, {0x31}, 0x7FE, 0x6FE);
    for (const auto &b : boards) {
        const iface::DpramMap m = iface::MapFor(b.variant, b.model);
        EXPECT_EQ(iface::InputImage(m), b.input);
        EXPECT_EQ(iface::OutputImage(m), b.output);
        const IoStation s = BuildIoStation(rec, m);
        EXPECT_TRUE(s.usable()) << s.problem.toStdString(); // the last two bytes of each image
        EXPECT_EQ(s.inputAddress, b.input + 0x7FE);
        EXPECT_EQ(s.outputAddress, b.output + 0x6FE);
        // Nothing the mailboxes, the lists or the start-up use lies in either image.
        const uint32_t end = iface::OutputImage(m) + iface::kOutputImageSize;
        const auto outside = [&](uint32_t a, uint32_t n) { return a + n <= iface::InputImage(m) || a >= end; };
        EXPECT_TRUE(outside(m.startByte, 1) && outside(m.stationLists, 32) && outside(m.jobToggle, 1) && outside(m.masterToggle, 1)
                    && outside(m.messageArea, 256) && outside(m.jobArea, 256) && outside(m.busState, 1))
            << int(b.variant);
        if (m.versionByte >= 0) {
            EXPECT_TRUE(outside(uint32_t(m.versionByte), 1));
        }
    }
    // Another board chosen while the test is open: every address moves with it.
    IoStation moved = BuildIoStation(StoreSlave(f.ctx, 12, kMixedCfg, 0x10, 0x20), iface::MapFor(iface::MapVariant::Tessel));
    const IoStation corvet = BuildIoStation(f.st.image.slot(12), iface::MapFor(iface::MapVariant::Corvet));
    PlaceOn(moved, iface::MapFor(iface::MapVariant::Corvet));
    EXPECT_EQ(moved.inputAddress, corvet.inputAddress);
    EXPECT_EQ(moved.outputAddress, corvet.outputAddress);
    for (const IoChannel *c : corvet.channels())
        EXPECT_EQ(moved.find(c->name())->address, c->address) << c->name().toStdString();
}

TEST(IoStation, dataPastTheEndOfAnImage_orADamagedRecord_cannotBeTested)
{
    Fixture f;
    const iface::DpramMap tessel = iface::MapFor(iface::MapVariant::Tessel);
    EXPECT_TRUE(BuildIoStation(StoreSlave(f.ctx, 12, {0x31}, 0x7FF, 0), tessel).problem.contains("input image"));
    EXPECT_TRUE(BuildIoStation(StoreSlave(f.ctx, 12, {0x31}, 0, 0x6FF), tessel).problem.contains("output image"));
    Record damaged = StoreSlave(f.ctx, 12, {0x31}, 0, 0);
    damaged[25] = 0xFF; // the user parameters would run past the slot
    const IoStation s = BuildIoStation(damaged, tessel);
    EXPECT_TRUE(s.problem.contains("damaged")) << s.problem.toStdString();
    EXPECT_TRUE(s.modules.empty());
}

TEST(IoStation, moduleNamesFromTheDeviceFile_andAttachedVariables)
{
    Fixture f;
    f.write("GSD/TEST1234.gsd", "#Profibus_DP\r\nIdent_Number=0x1234\r\nModular_Station=1\r\n"
                                "Module=\"8 Outputs\" 0x20\r\nEndModule\r\nModule=\"8 Inputs\" 0x10\r\nEndModule\r\n"
                                "Module=\"Word out and in\" 0xC0,0x40,0x40\r\nEndModule\r\n");
    // The third identifier matches no module of the file: the others keep their names.
    const Record rec = StoreSlave(f.ctx, 50, {0x20, 0x10, 0x31, 0xC0, 0x40, 0x40}, 10, 3);
    EXPECT_EQ(ModuleNamesOf(f.ctx, rec), (QStringList{"8 Outputs", "8 Inputs", "", "Word out and in"}));

    f.write("Sps.vb", "VAR_GLOBAL\r\n"
                      "    Valve_1                          AT %QX3.3 :BOOL ;  (* #S50M1K3 *)\r\n"
                      "    Speed                            AT %IW1 :INT  ;  (* #S50M4K0 *)\r\n"
                      "    Elsewhere                        AT %QX9.0 :BOOL ;  (* #S12M1K0 *)\r\n"
                      "END_VAR\r\n");
    const IoStation s = StationModel(f.ctx, rec, iface::MapFor(iface::MapVariant::Tessel));
    ASSERT_EQ(s.modules.size(), 4u);
    EXPECT_EQ(s.modules[3].name, "Word out and in");
    const IoChannel *valve = s.find(QStringLiteral("valve_1"));
    ASSERT_NE(valve, nullptr);
    EXPECT_EQ(valve->name(), "QX1.3");
    ASSERT_NE(s.find(QStringLiteral("Speed")), nullptr);
    EXPECT_EQ(s.find(QStringLiteral("Speed"))->name(), "IW4.0");
    EXPECT_EQ(s.find(QStringLiteral("Elsewhere")), nullptr);
}

TEST(IoStation, typedValues_bitsAndWordsInDecimalNegativeOrHex)
{
    IoChannel bit, word;
    word.word = true;
    const struct {
        const IoChannel &c;
        const char *text;
        std::optional<int> value;
    } rows[] = {
        {bit, "1", 1}, {bit, " 0 ", 0}, {bit, "2", std::nullopt}, {bit, "on", std::nullopt}, {bit, "0x1", 1},
        {word, "500", 500}, {word, "0x1F4", 500}, {word, "0X1f4", 500}, {word, "-1", 0xFFFF}, {word, "-32768", 0x8000},
        {word, "65535", 0xFFFF}, {word, "65536", std::nullopt}, {word, "-32769", std::nullopt},
        {word, "0x10000", std::nullopt}, {word, "0x-1", std::nullopt}, {word, "", std::nullopt},
    };
    for (const auto &r : rows)
        EXPECT_EQ(ParseChannelValue(r.c, QString::fromLatin1(r.text)), r.value) << r.text;
    EXPECT_EQ(ValueText(word, 500), "0x01F4 500");
    EXPECT_EQ(ValueText(bit, 1), "1");
}
