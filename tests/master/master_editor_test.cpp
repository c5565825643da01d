#include "config/bytes.h"
#include "master/master_editor.h"
#include "support/fixture.h"

#include <QLocale>

using namespace meridan;
using namespace meridan::test;

namespace {

struct EditorFixture : Fixture {
    MasterEditor ed{ctx};
    // A default master at `code` in slot 0, loaded into the editor.
    void master(int code)
    {
        Record m;
        m[11] = uint8_t(code);
        SetMasterDefaults(m);
        st.image.slot(0) = m;
        ed.Load();
    }
};

struct GermanLocale {
    QLocale before;
    GermanLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GermanLocale() { QLocale::setDefault(before); }
};

} // namespace

TEST(MasterEditor, rules_matchTheMastersRanges)
{
    // lower, upper, scale per field; quiet time ends at 254, see below
    const std::tuple<MasterField, double, int32_t, double> expected[] = {
        {MasterField::Adr, 0, 9, 1.0},       {MasterField::TSL, 0, 65335, 1.0},  {MasterField::MinT, 0, 65535, 1.0},
        {MasterField::MaxT, 0, 65535, 1.0},  {MasterField::Tqui, 0, 254, 1.0},   {MasterField::Tset, 0, 255, 1.0},
        {MasterField::TRT, 0, 16777215, 1.0}, {MasterField::Gap, 1, 100, 1.0},   {MasterField::HSA, 2, 125, 1.0},
        {MasterField::MRL, 1, 8, 1.0},       {MasterField::MinS, 0, 650, 10.0},  {MasterField::Poll, 0, 65535, 1.0},
        {MasterField::DCT, 0, 65535, 0.1},
    };
    for (const auto &[field, lower, upper, scale] : expected) {
        const MasterFieldRule &r = RuleFor(field);
        EXPECT_EQ(r.field, field);
        EXPECT_EQ(r.lower, lower) << r.control;
        EXPECT_EQ(r.upper, upper) << r.control;
        EXPECT_EQ(r.scale, scale) << r.control;
    }
}

TEST(MasterEditor, afterNew_showsCode0AndZeroesThenDefaultFills)
{
    EditorFixture f;
    f.ed.Load();
    MasterView v = f.ed.Display();
    EXPECT_EQ(v.baud, QStringLiteral(" 9600 n.A. "));
    EXPECT_EQ(v[MasterField::TSL], QStringLiteral(" 0"));
    EXPECT_EQ(v[MasterField::Tqui], QStringLiteral("-1"));
    EXPECT_EQ(v.tslUnit, QStringLiteral("Tbit"));
    EXPECT_EQ(f.ed.Default(), QStringLiteral("Default values set"));
    v = f.ed.Display();
    EXPECT_EQ(v[MasterField::TSL], QStringLiteral(" 125"));
    EXPECT_EQ(v[MasterField::MaxT], QStringLiteral(" 60"));
    EXPECT_EQ(v[MasterField::TRT], QStringLiteral("100000"));
    EXPECT_EQ(v[MasterField::MinS], QStringLiteral("2.5"));
    EXPECT_EQ(v[MasterField::DCT], QStringLiteral(" 1000"));
    EXPECT_FALSE(f.st.image.hasMaster()); // nothing stored before OK
    f.ed.Ok();
    EXPECT_TRUE(f.st.image.hasMaster());
    f.st.language = kGerman;
    EXPECT_EQ(f.ed.Default(), QStringLiteral("Default Werte eingestellt"));
}

TEST(MasterEditor, stationAddress_raisesHsaOnlyWhenBelow)
{
    EditorFixture f;
    f.master(6);
    f.ed.record()[25] = 3;
    EXPECT_EQ(f.ed.Commit(MasterField::Adr, QStringLiteral("5")), QStringLiteral(" 5"));
    EXPECT_EQ(f.ed.record()[10], 5);
    EXPECT_EQ(f.ed.record()[25], 5);
    f.ed.record()[25] = 9;
    f.ed.Commit(MasterField::Adr, QStringLiteral("2"));
    EXPECT_EQ(f.ed.record()[25], 9);
    f.ed.Commit(MasterField::Adr, QStringLiteral("12"));
    EXPECT_EQ(f.ed.record()[10], 9);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), QStringLiteral("value too high"));
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("range  0 to  9"));
}

TEST(MasterEditor, quietTime_storedPlusOneAnd255ClampedTo254)
{
    EditorFixture f;
    f.master(6);
    EXPECT_EQ(f.ed.Commit(MasterField::Tqui, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(f.ed.record()[18], 1);
    EXPECT_TRUE(f.ui.shown.empty());
    EXPECT_EQ(f.ed.Commit(MasterField::Tqui, QStringLiteral("255")), QStringLiteral("254"));
    EXPECT_EQ(f.ed.record()[18], 255);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastText(), QStringLiteral("value too high"));
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("range  0 to  254"));
}

TEST(MasterEditor, scaledFields_storeInternalUnitsAndShowEntryUnits)
{
    EditorFixture f;
    f.master(6);
    EXPECT_EQ(f.ed.Commit(MasterField::MinS, QStringLiteral("2.5")), QStringLiteral("2.5"));
    EXPECT_EQ(be16(f.ed.record().span(), 28), 25);
    EXPECT_EQ(f.ed.Commit(MasterField::MinS, QStringLiteral("3")), QStringLiteral("3"));
    EXPECT_EQ(f.ed.Commit(MasterField::DCT, QStringLiteral("1000")), QStringLiteral(" 1000"));
    EXPECT_EQ(be16(f.ed.record().span(), 32), 100);
    EXPECT_EQ(f.ed.Commit(MasterField::DCT, QStringLiteral("700000")), QStringLiteral(" 655350"));
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("range  0 to  655350"));
    {
        GermanLocale de;
        EXPECT_EQ(f.ed.Commit(MasterField::MinS, QStringLiteral("2,5")), QStringLiteral("2,5"));
        EXPECT_EQ(be16(f.ed.record().span(), 28), 25);
    }
}

TEST(MasterEditor, wideFields_keepTheirFullRange)
{
    EditorFixture f;
    f.master(6);
    f.ed.Commit(MasterField::TSL, QStringLiteral("65335"));
    EXPECT_EQ(be16(f.ed.record().span(), 12), 65335);
    EXPECT_EQ(f.ed.Display()[MasterField::TSL], QStringLiteral(" 65335")); // above a signed word: still shown right
    f.ed.Commit(MasterField::TSL, QStringLiteral("65535"));
    EXPECT_EQ(be16(f.ed.record().span(), 12), 65335);
    f.ed.Commit(MasterField::MaxT, QStringLiteral("65535"));
    EXPECT_EQ(be16(f.ed.record().span(), 16), 65535);
    EXPECT_EQ(f.ed.Commit(MasterField::TRT, QStringLiteral("16777215")), QStringLiteral("16777215"));
    EXPECT_EQ(be32(f.ed.record().span(), 20), 16777215u);
    EXPECT_EQ(f.ed.Commit(MasterField::Gap, QStringLiteral("abc")), QStringLiteral(" 1"));
    EXPECT_EQ(f.ui.lastText(), QStringLiteral("wrong input"));
}

TEST(MasterEditor, msDisplay_at1500kbit_showsMillisecondsButTakesBitTimes)
{
    EditorFixture f;
    f.master(6);
    putBe16(f.ed.record().span(), 12, 300);
    f.ed.SetMs(true);
    MasterView v = f.ed.Display();
    EXPECT_EQ(v[MasterField::TSL], QStringLiteral("0.200"));
    EXPECT_EQ(v[MasterField::TRT], QStringLiteral("66.667"));
    EXPECT_EQ(v.tslUnit, QStringLiteral("ms"));
    EXPECT_EQ(v.trtUnit, QStringLiteral("ms"));
    EXPECT_EQ(v[MasterField::MaxT], QStringLiteral(" 150")); // only TSL and TTR change unit
    f.ed.Commit(MasterField::TSL, QStringLiteral("0.2"));
    EXPECT_EQ(be16(f.ed.record().span(), 12), 0);
    f.ed.SetMs(false);
    EXPECT_EQ(f.ed.Display()[MasterField::TSL], QStringLiteral(" 0"));
}

TEST(MasterEditor, baudChoice_storesTheCodeAndNothingElse)
{
    EditorFixture f;
    f.master(6);
    const Record before = f.ed.record();
    f.ed.ChooseBaud(8);
    EXPECT_EQ(f.ed.record()[11], 8);
    EXPECT_EQ(f.ed.Display().baud, QStringLiteral(" 6,0  MBaud"));
    Record expected = before;
    expected[11] = 8;
    EXPECT_EQ(f.ed.record(), expected);
    f.ed.ChooseBaud(-1);
    f.ed.ChooseBaud(10);
    EXPECT_EQ(f.ed.record()[11], 8);
}

TEST(MasterEditor, unknownBaudCode_showsTheNumberAndKeepsTheBitTime)
{
    EditorFixture f;
    f.master(9);
    f.ed.Display();
    const float twelve = f.ed.BitTime();
    f.ed.record()[11] = 42;
    EXPECT_EQ(f.ed.Display().baud, QStringLiteral("42"));
    EXPECT_EQ(f.ed.BitTime(), twelve);
}

TEST(MasterEditor, autoclear_changesBit7Only)
{
    EditorFixture f;
    f.master(6);
    f.ed.record()[27] = 0x05;
    f.ed.SetAutoclear(true);
    EXPECT_EQ(f.ed.record()[27], 0x85);
    EXPECT_TRUE(f.ed.Display().autoclear);
    f.ed.SetAutoclear(false);
    EXPECT_EQ(f.ed.record()[27], 0x05);
}

TEST(MasterEditor, recall_restoresSlot0AndSlotStaysUntilOk)
{
    EditorFixture f;
    f.master(6);
    const Record slot = f.st.image.slot(0);
    f.ed.Commit(MasterField::Gap, QStringLiteral("7"));
    EXPECT_TRUE(f.ed.Edited());
    EXPECT_EQ(f.st.image.slot(0), slot);
    f.ed.Load();
    EXPECT_FALSE(f.ed.Edited());
    EXPECT_EQ(f.ed.Display()[MasterField::Gap], QStringLiteral(" 100"));
}

TEST(MasterEditor, ok_storesTheEditedMasterWhateverTheSharedBufferHolds)
{
    EditorFixture f;
    f.master(6);
    f.st.image.at(0, 400) = 0x5A; // beyond the master record: comes back unchanged
    f.ed.Load();
    f.ed.Commit(MasterField::HSA, QStringLiteral("30"));
    f.st.record.bytes.fill(0xEE); // a diagnosis request, a tick, a file load...
    f.st.record[0] = 0x21;
    f.ed.Ok();
    const Record &m = f.st.image.slot(0);
    EXPECT_EQ(m[0], kMasterMarker);
    EXPECT_EQ(m[25], 30);
    EXPECT_EQ(m[11], 6);
    EXPECT_EQ(m[400], 0x5A);
    EXPECT_EQ(m, f.ed.record());
    EXPECT_FALSE(f.ed.Edited());
}
