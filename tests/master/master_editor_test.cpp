// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bytes.h"
#include "master/master_editor.h"
#include "app/demo_config.h"
#include "support/fixture.h"
#include "config/image.h"

#include <QLocale>

using namespace meridan;
using namespace meridan::test;

namespace {

// A default master at 1.5 Mbit/s in slot 0, loaded into the editor.
struct EditorFixture : Fixture {
    MasterEditor ed{ctx};
    EditorFixture()
    {
        PutDemoMaster(st, 6);
        ed.Load();
    }
    uint8_t at(int i) { return ed.record()[i]; }
    unsigned word(int i) { return be16(ed.record().span(), i); }
};

} // namespace

TEST(MasterEditor, commit_storesEachFieldInItsOwnFormAndClampsToItsRange)
{
    EditorFixture f;
    // The highest station address follows the master's own address upwards only.
    f.ed.record()[25] = 3;
    EXPECT_EQ(f.ed.Commit(MasterField::Adr, "5"), " 5");
    EXPECT_EQ(f.at(10), 5);
    EXPECT_EQ(f.at(25), 5);
    f.ed.record()[25] = 9;
    f.ed.Commit(MasterField::Adr, "2");
    EXPECT_EQ(f.at(25), 9);
    EXPECT_TRUE(f.ui.shown.empty());
    f.ed.Commit(MasterField::Adr, "12");
    EXPECT_EQ(f.at(10), 9);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.lastTitle(), "range  0 to  9");

    // Each field in its own form: quiet time as entry + 1 in a byte (254 the
    // highest entry), ms fields in tenths or tens, wide fields in full range.
    struct Row {
        MasterField field;
        const char *typed, *shown;
        std::size_t at;
        int bytes;
        unsigned stored;
    };
    const Row rows[] = {
        {MasterField::Tqui, "0", "0", 18, 1, 1},           {MasterField::Tqui, "255", "254", 18, 1, 255},
        {MasterField::MinS, "2.5", "2.5", 28, 2, 25},      {MasterField::MinS, "3", "3", 28, 2, 30},
        {MasterField::DCT, "1000", " 1000", 32, 2, 100},   {MasterField::DCT, "700000", " 655350", 32, 2, 65535},
        {MasterField::TSL, "65335", " 65335", 12, 2, 65335}, {MasterField::TSL, "65535", " 65335", 12, 2, 65335},
        {MasterField::MaxT, "65535", " 65535", 16, 2, 65535}, {MasterField::TRT, "16777215", "16777215", 20, 4, 16777215},
        {MasterField::Gap, "abc", " 1", 24, 1, 1},
        // 125 is the highest station address a bus has.
        {MasterField::HSA, "125", " 125", 25, 1, 125},     {MasterField::HSA, "126", " 125", 25, 1, 125},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.typed);
        EXPECT_EQ(f.ed.Commit(r.field, r.typed), r.shown);
        const auto b = f.ed.record().span();
        EXPECT_EQ(r.bytes == 1 ? b[r.at] : r.bytes == 2 ? be16(b, r.at) : be32(b, r.at), r.stored);
    }
    putBe16(f.ed.record().span(), 28, 65535); // from a foreign file
    EXPECT_EQ(f.ed.Display()[MasterField::MinS], "6553.5");
    {
        QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(f.ed.Commit(MasterField::MinS, "2,5"), "2,5");
        QLocale::setDefault(before);
    }
}

TEST(MasterEditor, baudAndAutoclear_changeOnlyTheirOwnBits)
{
    EditorFixture f;
    f.ed.ChooseBaud(-1);
    f.ed.ChooseBaud(10);
    EXPECT_EQ(f.at(11), 6);
    f.ed.Display();
    const float kbit1500 = f.ed.BitTime();
    f.ed.record()[11] = 42; // an unknown code keeps the last bit time
    EXPECT_EQ(f.ed.Display().baud, "42");
    EXPECT_EQ(f.ed.BitTime(), kbit1500);

    f.ed.record()[27] = 0x05;
    f.ed.SetAutoclear(true);
    EXPECT_EQ(f.at(27), 0x85);
    EXPECT_TRUE(f.ed.Display().autoclear);
    f.ed.SetAutoclear(false);
    EXPECT_EQ(f.at(27), 0x05);
}

TEST(MasterEditor, ok_storesTheEditedMasterWhateverTheSharedBufferHolds)
{
    EditorFixture f;
    f.st.image.at(0, 400) = 0x5A; // beyond the master record: comes back unchanged
    f.ed.Load();
    f.ed.Commit(MasterField::HSA, "30");
    f.st.record.bytes.fill(0xEE); // a diagnosis request, a tick, a file load...
    f.st.record[0] = 0x21;
    f.ed.Ok();
    const Record &m = f.st.image.slot(0);
    EXPECT_EQ(m[0], kMasterMarker);
    EXPECT_EQ(m[25], 30);
    EXPECT_EQ(m[400], 0x5A);
    EXPECT_EQ(m, f.ed.record());
    EXPECT_FALSE(f.ed.Edited());
}

// After New the master slot is empty: no field shows a value the record
// cannot hold (the quiet time is stored as entry + 1).
TEST(MasterEditor, emptyMasterAfterNew_showsQuietTimeZero)
{
    Fixture f;
    MasterEditor ed{f.ctx};
    EXPECT_EQ(ed.Display()[MasterField::Tqui], "0");
    ed.record()[18] = 4;
    EXPECT_EQ(ed.Display()[MasterField::Tqui], "3");
}
