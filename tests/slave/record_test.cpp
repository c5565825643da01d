// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/context.h"
#include "config/listline.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <numeric>

using namespace meridan;
using namespace meridan::test;

namespace {

Fixture &NewAt(Fixture &f, int station)
{
    f.st.currentStation = station;
    f.st.slave.inputOffset = 0;
    f.st.slave.outputOffset = 0;
    NewSlaveRecord(f.st);
    return f;
}

void SetUserPrm(State &st, const std::vector<uint8_t> &bytes)
{
    RemoveUserPrm(st);
    int i = 0;
    for (uint8_t b : bytes)
        st.slave.prm[i++] = b;
    st.slave.u = i;
    InsertUserPrm(st);
}

int SetCfg(Context &ctx, const std::vector<uint8_t> &bytes)
{
    RemoveCfg(ctx.st);
    int i = 0;
    for (uint8_t b : bytes)
        ctx.st.slave.cfg[i++] = b;
    ctx.st.slave.c = i;
    return InsertCfg(ctx);
}

IoLengths Decode(Fixture &f, const std::vector<uint8_t> &cfg)
{
    NewAt(f, 12);
    EXPECT_EQ(SetCfg(f.ctx, cfg), 0);
    return DecodeIoLengths(f.st.record);
}

} // namespace

TEST(SlaveRecord, newRecordAtStation12_hasTheMastersLayoutAndTheCurrentOffsets)
{
    Fixture f;
    NewAt(f, 12);
    const QByteArray head = QByteArray::fromHex("2500000c0000007b007b80" "0000000000000000000000000000"
                                                "09881405280000010002000600000000005a")
        + "----" + QByteArray(21, ' ');
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(f.st.record.bytes.data()), kSlotSize),
              head + QByteArray(kSlotSize - head.size(), '\0'));
    EXPECT_FALSE(f.st.slave.gsdLoaded);
    EXPECT_EQ(8 + ReadWord(f.st.record, 8), 131);
    BuildListLine(f.st);
    EXPECT_EQ(f.st.listLines[11], QStringLiteral(" 12. ----0000: ") + QString(20, QLatin1Char(' ')));

    f.st.slave.inputOffset = 0x280;
    f.st.slave.outputOffset = 0xA80;
    NewSlaveRecord(f.st);
    const IoLengths io = DecodeIoLengths(f.st.record);
    EXPECT_EQ(io.inputOffset, 0x280);
    EXPECT_EQ(io.outputOffset, 0xA80);
}

TEST(SlaveRecord, threeUserPrmBytes_moveTheBlocksAndRemoveRestoresTheRecord)
{
    Fixture f;
    NewAt(f, 12);
    const Record fresh = f.st.record;
    SetUserPrm(f.st, {0xAA, 0xBB, 0xCC});
    const Record &r = f.st.record;
    EXPECT_EQ(ReadWord(r, 8), 126);
    EXPECT_EQ(r[7], 126);
    EXPECT_EQ(r[25], 12);
    // The identifier length moved to 36-37, the user data by 3.
    EXPECT_EQ((std::vector<int>(r.bytes.begin() + 33, r.bytes.begin() + 38)), (std::vector<int>{0xAA, 0xBB, 0xCC, 0, 2}));
    EXPECT_EQ(r[46], '-');

    EXPECT_EQ(SetCfg(f.ctx, {0x13, 0x23}), 0);
    EXPECT_EQ(ReadWord(r, 8), 128);
    EXPECT_EQ((std::vector<int>(r.bytes.begin() + 37, r.bytes.begin() + 40)), (std::vector<int>{4, 0x13, 0x23}));

    RemoveCfg(f.st);
    RemoveUserPrm(f.st);
    EXPECT_EQ(f.st.record, fresh);
}

TEST(SlaveRecord, fullBlocks_areAcceptedAndTheShortLengthStopsAt244)
{
    Fixture f;
    NewAt(f, 12);
    std::vector<uint8_t> prm(kMaxUserPrm);
    std::iota(prm.begin(), prm.end(), uint8_t(0));
    SetUserPrm(f.st, prm);
    EXPECT_EQ(SetCfg(f.ctx, std::vector<uint8_t>(kMaxCfg, 0x10)), 0);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(8 + ReadWord(f.st.record, 8), 435);
    EXPECT_EQ(f.st.record[7], 244);
    EXPECT_EQ(f.st.record[33 + 239], 239);
    EXPECT_EQ(f.st.record[43 + 240 + 64], '-'); // user data intact behind both blocks

    // 245 is the first length that no longer fits the short byte.
    for (const int len : {243, 244, 245, 300}) {
        WriteWord(f.st.record, 8, len);
        SetShortLength(f.st.record);
        EXPECT_EQ(f.st.record[7], std::min(len, 244)) << len;
    }
}

TEST(SlaveRecord, recordThatWouldReach511BytesOrIndexesOutsideIt_areRefusedUnchanged)
{
    Fixture f;
    NewAt(f, 12);
    RemoveUserPrm(f.st);
    f.st.slave.u = kMaxUserPrm;
    InsertUserPrm(f.st);
    // Longer user data than the program builds: only then can 511 be reached.
    RecomputeLengths(f.st);
    f.st.record[42 + f.st.slave.u + f.st.slave.c] = 2 + 180;
    WriteWord(f.st.record, 8, 35 + kMaxUserPrm + 180);
    const Record before = f.st.record;
    RemoveCfg(f.st);
    EXPECT_EQ(f.st.record, before);
    f.st.slave.c = 64;
    EXPECT_EQ(InsertCfg(f.ctx), 1);
    EXPECT_EQ(f.st.record, before);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), QStringLiteral("Error: dataset too long.\nPlease remove the last module!"));
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("Error MERIDAN"));

    // Indexes outside the record or the buffers end the operation without writing.
    NewAt(f, 12);
    const Record fresh = f.st.record;
    f.st.slave.u = kMaxUserPrm + 1;
    EXPECT_THROW(InsertUserPrm(f.st), RangeError);
    f.st.slave.c = kMaxCfg + 1;
    EXPECT_THROW(InsertCfg(f.ctx), RangeError);
    EXPECT_EQ(f.st.record, fresh);
    EXPECT_THROW(f.st.slave.prm[240], RangeError);
    EXPECT_THROW(f.st.slave.cfg[-1], RangeError);

    // A damaged Slave_Para_Len would move the block past the slot's end.
    f.st.record[34] = 4;
    f.st.record[35] = 0x13;
    f.st.record[36] = 0x13;
    WriteWord(f.st.record, 8, 600);
    const Record damaged = f.st.record;
    EXPECT_THROW(RemoveCfg(f.st), RangeError);
    EXPECT_EQ(f.st.record, damaged);
}

TEST(SlaveRecord, identifierBytes_decodeToInputAndOutputLengths)
{
    Fixture f;
    const struct Case {
        std::vector<uint8_t> cfg;
        int in, out;
    } cases[] = {
        {{0x13}, 4, 0}, {{0x23}, 0, 4}, {{0x31}, 2, 2}, {{0x53}, 8, 0}, {{0xE1}, 0, 4},
        // 0xC2: output and input length bytes, then two maker bytes; the 0x13
        // after it must be read as the next identifier, not as a maker byte.
        {{0xC2, 0x41, 0x03, 0x13, 0x13, 0x10}, 4 + 1, 4},
    };
    for (const Case &c : cases) {
        const IoLengths io = Decode(f, c.cfg);
        EXPECT_EQ(io.inputLength, c.in) << int(c.cfg[0]);
        EXPECT_EQ(io.outputLength, c.out) << int(c.cfg[0]);
    }
    DecodeIoLengths(f.st);
    EXPECT_EQ(f.st.slave.inputLength, 5);
    EXPECT_EQ(f.st.slave.c, 6);
}

// A module list with an empty byte between two modules (another tool wrote
// it so): walked whole, and a module added goes after its last one.
TEST(SlaveRecord, moduleListWithAGap_isWalkedWhole_andAppendedAfterItsLastModule)
{
    Fixture f;
    NewAt(f, 12);
    const int list = SlaveLayout::of(f.st.record).userData() + kModuleListAt;
    f.st.record[list] = 1;
    f.st.record[list + 2] = 2;
    EXPECT_EQ(ModuleList(f.st.record), (std::vector<int>{1, 2}));
    ASSERT_TRUE(AppendModule(f.st.record, 300));
    const std::vector<uint8_t> bytes(f.st.record.bytes.begin() + list, f.st.record.bytes.begin() + list + 6);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 2, 255, 45, 0}));
}
