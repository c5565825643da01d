// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/stationlist.h"
#include "config/listline.h"
#include "demo_config.h"
#include "support/fixture.h"

using namespace meridan;
using namespace meridan::test;

TEST(StationList, newRecordWithoutCodeOrName_showsOnlyTheStation)
{
    // A record just created by the slave editor has zero bytes where the GSD
    // code would be; the zero ends the visible text.
    Record r = DemoSlave(12, 0x00A5, "", "");
    for (int i = 48; i < 75; ++i)
        r[i] = 0;
    EXPECT_EQ(ListLineFor(r), QStringLiteral(" 12. "));
}

TEST(StationList, clickOnALine_tellsTheStationAndAsksOnlyAConfiguredOne)
{
    Fixture f;
    f.st.language = kGerman;
    PutDemoSlave(f.st, 12, 0x00A5, "0815", "Pump");
    std::vector<int> asked;
    const DiagnosisRequest ask = [&](int station) { asked.push_back(station); };
    EXPECT_EQ(List1_Click(f.ctx, 3, ask), 13);
    EXPECT_EQ(f.st.melde1, QStringLiteral("Slave  13 ausgewählt"));
    EXPECT_EQ(f.st.currentStation, 13);
    EXPECT_EQ(f.st.listPosition, 3);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(List1_Click(f.ctx, 2, ask), 12);
    EXPECT_EQ(asked, std::vector<int>{12});
    List1_Click(f.ctx, 2, {}); // nobody to ask: harmless
}

TEST(StationList, clearSlaveWithoutSelection_clearsStation9NeverTheMaster)
{
    Fixture f;
    PutDemoMaster(f.st, 6);
    const Record master = f.st.image.slot(0);
    PutDemoSlave(f.st, 9, 0x0009, "NINE", "nine");
    f.st.image.at(9, 255) = 0x55;
    f.st.image.at(9, 300) = 0x77; // beyond the record's first 256 bytes: left alone
    f.st.listLines[8] = QStringLiteral(" 9. NINE0009: nine");
    EXPECT_TRUE(ClearSlave(f.ctx, -1));
    EXPECT_EQ(f.st.currentStation, 9);
    EXPECT_FALSE(f.st.image.hasSlave(9));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(f.st.image.at(9, i), 0) << i;
    EXPECT_EQ(f.st.image.at(9, 300), 0x77);
    EXPECT_EQ(f.st.record[3], 9);
    EXPECT_EQ(f.st.listLines[8], QStringLiteral(" 9. "));
    EXPECT_EQ(f.st.image.slot(0), master);
    EXPECT_EQ(f.ui.listRefreshes, 1);
    EXPECT_TRUE(f.ui.shown.empty()); // no question asked

    PutDemoSlave(f.st, 100, 2, "OVER", "over"); // beyond the list: out of reach
    EXPECT_FALSE(ClearSlave(f.ctx, 90));
    EXPECT_TRUE(f.st.image.hasSlave(100));
    EXPECT_EQ(f.st.currentStation, 100);
}
