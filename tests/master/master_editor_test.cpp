#include "core/bytes.h"
#include "master/master_editor.h"
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
        Record m;
        m[11] = 6;
        SetMasterDefaults(m);
        st.image.slot(0) = m;
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

    // Quiet time is stored as entry + 1 in a byte: 254 is the highest entry.
    EXPECT_EQ(f.ed.Commit(MasterField::Tqui, "0"), "0");
    EXPECT_EQ(f.at(18), 1);
    EXPECT_EQ(f.ed.Commit(MasterField::Tqui, "255"), "254");
    EXPECT_EQ(f.at(18), 255);
    EXPECT_EQ(f.ui.lastTitle(), "range  0 to  254");

    // Scaled fields: entered in ms, stored in tenths or tens.
    EXPECT_EQ(f.ed.Commit(MasterField::MinS, "2.5"), "2.5");
    EXPECT_EQ(f.word(28), 25u);
    EXPECT_EQ(f.ed.Commit(MasterField::MinS, "3"), "3");
    putBe16(f.ed.record().span(), 28, 65535); // from a foreign file
    EXPECT_EQ(f.ed.Display()[MasterField::MinS], "6553.5");
    EXPECT_EQ(f.ed.Commit(MasterField::DCT, "1000"), " 1000");
    EXPECT_EQ(f.word(32), 100u);
    EXPECT_EQ(f.ed.Commit(MasterField::DCT, "700000"), " 655350");
    EXPECT_EQ(f.ui.lastTitle(), "range  0 to  655350");
    {
        QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(f.ed.Commit(MasterField::MinS, "2,5"), "2,5");
        QLocale::setDefault(before);
    }

    // Wide fields keep their full range.
    f.ed.Commit(MasterField::TSL, "65335");
    EXPECT_EQ(f.word(12), 65335u);
    EXPECT_EQ(f.ed.Display()[MasterField::TSL], " 65335"); // above a signed word: still shown right
    f.ed.Commit(MasterField::TSL, "65535");
    EXPECT_EQ(f.word(12), 65335u);
    f.ed.Commit(MasterField::MaxT, "65535");
    EXPECT_EQ(f.word(16), 65535u);
    EXPECT_EQ(f.ed.Commit(MasterField::TRT, "16777215"), "16777215");
    EXPECT_EQ(be32(f.ed.record().span(), 20), 16777215u);
    EXPECT_EQ(f.ed.Commit(MasterField::Gap, "abc"), " 1");
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
