#include "core/bytes.h"
#include "master/master_editor.h"
#include "support/fixture.h"
#include "config/image.h"

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
    putBe16(f.ed.record().span(), 28, 65535); // from a foreign file
    EXPECT_EQ(f.ed.Display()[MasterField::MinS], QStringLiteral("6553.5"));
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

TEST(MasterEditor, invalidBaudChoiceOrUnknownCode_changeNothing)
{
    EditorFixture f;
    f.master(9);
    f.ed.ChooseBaud(-1);
    f.ed.ChooseBaud(10);
    EXPECT_EQ(f.ed.record()[11], 9);
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
