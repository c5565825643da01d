// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bytes.h"
#include "config/image.h"
#include "config/listline.h"
#include "support/fixture.h"

using namespace meridan;
using namespace meridan::test;

TEST(Image, setMasterDefaults_followsBaudCodeAndWritesTtrBigEndian_outOfRangeAccessThrows)
{
    Record r;
    r[11] = 5;
    SetMasterDefaults(r);
    EXPECT_EQ(be16(r.span(), 12), 1500);
    EXPECT_EQ(be32(r.span(), 20), 100000u);
    EXPECT_EQ(r[0], kMasterMarker);
    EXPECT_EQ(r[41], 34);
    EXPECT_EQ(r[42], 'D');
    EXPECT_EQ(r[73], ' ');
    r[11] = 12; // unknown code: the timing words stay as they are
    SetMasterDefaults(r);
    EXPECT_EQ(be16(r.span(), 12), 1500);

    // Access outside the image or a record throws instead of writing.
    ConfigImage img;
    EXPECT_THROW(img.at(126, 0) = 1, RangeError);
    EXPECT_THROW(img.at(-1, 0), RangeError);
    EXPECT_THROW(img.at(5, 512) = 1, RangeError);
    r.clear();
    EXPECT_THROW(WriteWord(r, 511, 5), RangeError);
    r[8] = 0x80;
    EXPECT_THROW(ReadWord(r, 8), OverflowError);
    r[8] = 0x7F;
    r[9] = 0xFF;
    EXPECT_EQ(ReadWord(r, 8), 32767);
    EXPECT_EQ(EmptyListLine(10), " 10. ");
    // A damaged record still gives a sane list line.
    r[0] = kSlaveMarker;
    r[3] = 12;
    r[25] = 0xFF; // user parameter length far beyond the slot
    r[34 + 246] = 0xFF;
    EXPECT_TRUE(ListLineFor(r).startsWith(" 12. "));
}

TEST(Image, slotsAbove100_areNeitherVisitedNorCleared)
{
    Fixture f;
    for (int s : {12, 40, 110}) {
        f.st.image.at(s, 0) = kSlaveMarker;
        f.st.image.at(s, 3) = uint8_t(s);
    }
    f.st.currentStation = 0;
    std::vector<int> seen;
    while (NextSlave(f.st))
        seen.push_back(f.st.currentStation);
    EXPECT_EQ(seen, (std::vector<int>{12, 40}));
    EXPECT_EQ(f.st.record[3], 40); // the buffer keeps the last slave

    f.st.image.at(0, 0) = kMasterMarker;
    f.st.image.at(100, 5) = 7;
    ClearImage(f.st.image);
    EXPECT_EQ(f.st.image.at(0, 0), 0);
    EXPECT_EQ(f.st.image.at(100, 5), 0);
    EXPECT_EQ(f.st.image.at(40, 0), 0);
    EXPECT_EQ(f.st.image.at(110, 0), kSlaveMarker);
}
