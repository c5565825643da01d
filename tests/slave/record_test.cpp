#include "core/context.h"
#include "config/listline.h"
#include "slave/record.h"
#include "support/fixture.h"

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

void SetUserPrm(State &st, std::initializer_list<uint8_t> bytes)
{
    RemoveUserPrm(st);
    int i = 0;
    for (uint8_t b : bytes)
        st.slave.prm[i++] = b;
    st.slave.u = i;
    InsertUserPrm(st);
}

int SetCfg(Context &ctx, std::initializer_list<uint8_t> bytes)
{
    RemoveCfg(ctx.st);
    int i = 0;
    for (uint8_t b : bytes)
        ctx.st.slave.cfg[i++] = b;
    ctx.st.slave.c = i;
    return InsertCfg(ctx);
}

IoLengths Decode(Fixture &f, std::initializer_list<uint8_t> cfg)
{
    NewAt(f, 12);
    EXPECT_EQ(SetCfg(f.ctx, cfg), 0);
    return DecodeIoLengths(f.st.record);
}

} // namespace

TEST(SlaveRecord, newRecordAtStation12_hasTheMastersLayout)
{
    Fixture f;
    NewAt(f, 12);
    const Record &r = f.st.record;
    EXPECT_EQ(r[0], 0x25);
    EXPECT_EQ(r[3], 12);
    EXPECT_EQ(r[7], 123);
    EXPECT_EQ(r[8], 0x00);
    EXPECT_EQ(r[9], 0x7B);
    EXPECT_EQ(r[10], 0x80);
    EXPECT_EQ(r[24], 0x00);
    EXPECT_EQ(r[25], 0x09);
    EXPECT_EQ((std::array<int, 4>{r[26], r[27], r[28], r[29]}), (std::array<int, 4>{0x88, 20, 5, 40}));
    EXPECT_EQ(r[32], 1);
    EXPECT_EQ(r[33], 0x00);
    EXPECT_EQ(r[34], 0x02);
    EXPECT_EQ(r[35], 0x00);
    EXPECT_EQ(r[36], 0x06);
    EXPECT_EQ(r[41], 0x00);
    EXPECT_EQ(r[42], 0x5A);
    for (int i = 43; i < 47; ++i)
        EXPECT_EQ(r[i], '-');
    for (int i = 47; i < 68; ++i)
        EXPECT_EQ(r[i], ' ');
    for (int i = 68; i < kSlotSize; ++i)
        ASSERT_EQ(r[i], 0) << i;
    EXPECT_FALSE(f.st.slave.gsdLoaded);
    EXPECT_EQ(8 + ReadWord(r, 8), 131);

    BuildListLine(f.st);
    EXPECT_EQ(f.st.listLines[11], QStringLiteral(" 12. ----0000: ") + QString(20, QLatin1Char(' ')));
}

TEST(SlaveRecord, newRecord_writesTheCurrentOffsets)
{
    Fixture f;
    f.st.currentStation = 20;
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
    EXPECT_EQ((std::array<int, 3>{r[33], r[34], r[35]}), (std::array<int, 3>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(r[36], 0x00);
    EXPECT_EQ(r[37], 0x02); // identifier length moved to 36-37
    EXPECT_EQ(r[46], '-');  // user data moved by 3

    EXPECT_EQ(SetCfg(f.ctx, {0x13, 0x23}), 0);
    EXPECT_EQ(ReadWord(r, 8), 128);
    EXPECT_EQ(r[37], 4);
    EXPECT_EQ(r[38], 0x13);
    EXPECT_EQ(r[39], 0x23);

    RemoveCfg(f.st);
    RemoveUserPrm(f.st);
    EXPECT_EQ(f.st.record, fresh);
}

TEST(SlaveRecord, fullBlocks_areAcceptedAndTheShortLengthStopsAt244)
{
    Fixture f;
    NewAt(f, 12);
    RemoveUserPrm(f.st);
    for (int i = 0; i < kMaxUserPrm; ++i)
        f.st.slave.prm[i] = uint8_t(i);
    f.st.slave.u = kMaxUserPrm;
    InsertUserPrm(f.st);
    RemoveCfg(f.st);
    for (int i = 0; i < kMaxCfg; ++i)
        f.st.slave.cfg[i] = 0x10;
    f.st.slave.c = kMaxCfg;
    EXPECT_EQ(InsertCfg(f.ctx), 0);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(8 + ReadWord(f.st.record, 8), 435);
    EXPECT_EQ(f.st.record[7], 244);
    EXPECT_EQ(f.st.record[33 + 239], 239);
    EXPECT_EQ(f.st.record[43 + 240 + 64], '-'); // user data intact behind both blocks

    // 245 is the first length that no longer fits the short byte.
    WriteWord(f.st.record, 8, 244);
    SetShortLength(f.st.record);
    EXPECT_EQ(f.st.record[7], 244);
    WriteWord(f.st.record, 8, 245);
    SetShortLength(f.st.record);
    EXPECT_EQ(f.st.record[7], 244);
    WriteWord(f.st.record, 8, 300);
    SetShortLength(f.st.record);
    EXPECT_EQ(f.st.record[7], 244);
}

TEST(SlaveRecord, recordThatWouldReach511Bytes_isRefusedUnchanged)
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
}

TEST(SlaveRecord, indexesOutsideRecordOrBuffers_endTheOperationWithoutWriting)
{
    Fixture f;
    NewAt(f, 12);
    const Record before = f.st.record;
    f.st.slave.u = kMaxUserPrm + 1;
    EXPECT_THROW(InsertUserPrm(f.st), RangeError);
    f.st.slave.c = kMaxCfg + 1;
    EXPECT_THROW(InsertCfg(f.ctx), RangeError);
    EXPECT_EQ(f.st.record, before);
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

TEST(SlaveRecord, compactIdentifierBytes_decodeToInputAndOutputLengths)
{
    Fixture f;
    const auto in = [&](std::initializer_list<uint8_t> cfg) { return Decode(f, cfg).inputLength; };
    const auto out = [&](std::initializer_list<uint8_t> cfg) { return Decode(f, cfg).outputLength; };
    EXPECT_EQ(in({0x13}), 4);
    EXPECT_EQ(out({0x13}), 0);
    EXPECT_EQ(out({0x23}), 4);
    EXPECT_EQ(in({0x23}), 0);
    EXPECT_EQ(in({0x31}), 2);
    EXPECT_EQ(out({0x31}), 2);
    EXPECT_EQ(in({0x53}), 8);
    EXPECT_EQ(out({0xE1}), 4);
    EXPECT_EQ(in({0xE1}), 0);
}

TEST(SlaveRecord, specialIdentifier_coversItsLengthAndMakerBytes)
{
    Fixture f;
    // 0xC2: output and input length bytes, then two maker bytes; 0x13 after
    // it must be read as the next identifier, not as a maker byte.
    const IoLengths io = Decode(f, {0xC2, 0x41, 0x03, 0x13, 0x13, 0x10});
    EXPECT_EQ(io.outputLength, 4);
    EXPECT_EQ(io.inputLength, 4 + 1);

    DecodeIoLengths(f.st);
    EXPECT_EQ(f.st.slave.inputLength, 5);
    EXPECT_EQ(f.st.slave.c, 6);
}

TEST(SlaveRecord, moduleNumbersAbove254_takeTwoBytes)
{
    Fixture f;
    NewAt(f, 12);
    ASSERT_TRUE(AppendModule(f.st.record, 3));
    ASSERT_TRUE(AppendModule(f.st.record, 300));
    ASSERT_TRUE(AppendModule(f.st.record, 254));
    const int list = 43 + kModuleListAt;
    EXPECT_EQ(f.st.record[list], 3);
    EXPECT_EQ(f.st.record[list + 1], 255);
    EXPECT_EQ(f.st.record[list + 2], 45);
    EXPECT_EQ(f.st.record[list + 3], 254);
    EXPECT_EQ(ModuleList(f.st.record), (std::vector<int>{3, 300, 254}));
}

TEST(SlaveRecord, fullModuleList_refusesAnotherModule)
{
    Fixture f;
    NewAt(f, 12);
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(AppendModule(f.st.record, 1));
    EXPECT_FALSE(AppendModule(f.st.record, 300)); // two bytes, one left
    EXPECT_TRUE(AppendModule(f.st.record, 2));
    EXPECT_FALSE(AppendModule(f.st.record, 2));
    EXPECT_FALSE(AppendModule(f.st.record, 511));
    EXPECT_EQ(f.st.record[43 + kModuleListAt + kModuleListLen], 0);
}
