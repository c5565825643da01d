// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/numentry.h"
#include "support/fixture.h"

#include <QLocale>

using namespace meridan;
using namespace meridan::test;

namespace {
struct LocaleGuard {
    explicit LocaleGuard(QLocale l) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
} // namespace

TEST(CheckRange, clampsWithRangeTitleInDisplayUnits_wrongInputGivesTheLowerLimit_decimalsRoundHalfToEven)
{
    Fixture f;
    f.st.language = kEnglish;
    EXPECT_EQ(CheckRange(f.ctx, "12", 0, 9, 1.0), 9);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), "value too high\nrange  0 to  9"); // a narrow box cuts the title short
    EXPECT_EQ(f.ui.lastTitle(), "range  0 to  9");

    EXPECT_EQ(CheckRange(f.ctx, "700", 0, 650, 10.0), 650);
    EXPECT_EQ(f.ui.lastTitle(), "range  0 to  65");
    f.st.language = kGerman;
    EXPECT_EQ(CheckRange(f.ctx, "-4", 1, 100, 1.0), 1);
    EXPECT_EQ(f.ui.lastText(), QString::fromUtf8("Wert zu klein\nBereich  1 bis  100"));
    EXPECT_EQ(f.ui.lastTitle(), "Bereich  1 bis  100");

    // Wrong input gives the lower limit.
    f.st.language = kEnglish;
    EXPECT_EQ(CheckRange(f.ctx, "abc", 1, 100, 1.0), 1);
    EXPECT_EQ(f.ui.lastText(), "wrong input\nrange  1 to  100");
    EXPECT_EQ(CheckRange(f.ctx, "", 3, 100, 1.0), 3);
    EXPECT_EQ(f.ui.shown.size(), 5u);

    // The user's decimal separator; halves round to even.
    f.ui.shown.clear();
    {
        LocaleGuard g(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(CheckRange(f.ctx, "0,25", 0, 650, 10.0), 2);
    }
    EXPECT_EQ(CheckRange(f.ctx, "0.25", 0, 650, 10.0), 2);
    EXPECT_EQ(CheckRange(f.ctx, "0.35", 0, 650, 10.0), 4);
    EXPECT_EQ(CheckRange(f.ctx, "1000", 0, 65535, 0.1), 100);
    EXPECT_EQ(CheckRange(f.ctx, "+7", 0, 10, 1.0), 7);
    EXPECT_EQ(CheckRange(f.ctx, "2.5", 0, 10, 1.0), 2);
    EXPECT_EQ(CheckRange(f.ctx, "3.5", 0, 10, 1.0), 4);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(CheckRange(f.ctx, "1e400", 0, 10, 1.0), 0); // not a finite number
}

TEST(CheckHex, truncatesToLimitWidthAndClamps)
{
    Fixture f;
    f.st.language = kEnglish;
    EXPECT_EQ(CheckHex(f.ctx, "1a2b3", "0", "65535"), 65535);
    EXPECT_EQ(f.ui.lastText(), "value too high\nrange hex 0 to FFFF");
    EXPECT_EQ(CheckHex(f.ctx, "8000", "0", "65535"), 32768);
    EXPECT_EQ(CheckHex(f.ctx, "123456", "0", "4096"), 0x1000); // keeps "1234"
    f.ui.shown.clear();
    EXPECT_EQ(CheckHex(f.ctx, "", "0", "65535"), 0);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(CheckHex(f.ctx, "g1", "0", "4096"), 0);
    EXPECT_EQ(f.ui.lastText(), "wrong input\nrange hex 0 to 1000");
    EXPECT_EQ(CheckHex(f.ctx, "5", "16", "255"), 16);
    EXPECT_EQ(f.ui.lastText(), "value too low\nrange hex 10 to FF");
    f.st.language = kGerman;
    EXPECT_EQ(CheckHex(f.ctx, "zz", "0", "255"), 0);
    EXPECT_EQ(f.ui.lastTitle(), "Bereich Hex 0 bis FF");
}
