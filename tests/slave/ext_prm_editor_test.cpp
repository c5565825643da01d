#include "slave/form7_window.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace meridan;
using namespace meridan::test;

namespace {

// A record whose User_Prm_Data holds `prm`.
Record WithPrm(State &st, const std::vector<uint8_t> &prm)
{
    st.currentStation = 12;
    NewSlaveRecord(st);
    RemoveUserPrm(st);
    for (std::size_t i = 0; i < prm.size(); ++i)
        st.slave.prm[int(i)] = prm[i];
    st.slave.u = int(prm.size());
    InsertUserPrm(st);
    return st.record;
}

void Define(GsdTables &t, int n, const QString &name, const QString &type, int min, int max, int textRef = 0)
{
    GsdExtPrm &d = t.extPrmAt(n);
    d.name = name.leftJustified(kExtPrmNameLen, QLatin1Char(' '), true);
    d.type = type;
    d.min = min;
    d.max = max;
    d.textRef = textRef;
}

} // namespace

TEST(ExtPrm, bit3_readsAndWritesOnlyItsBit)
{
    Record rec;
    EXPECT_EQ(Get_PD_Val(rec, "Bit(3)", 0), 0);
    ASSERT_TRUE(Put_PD_Val(rec, "Bit(3)", 0, 1));
    EXPECT_EQ(rec[33], 0x08);
    EXPECT_EQ(Get_PD_Val(rec, "Bit(3)", 0), 1);
    ASSERT_TRUE(Put_PD_Val(rec, "Bit(3)", 0, 0));
    EXPECT_EQ(rec[33], 0x00);
}

TEST(ExtPrm, bitArea2to4_onFF_reads7_writing5_givesF7)
{
    Record rec;
    rec[33] = 0xFF;
    EXPECT_EQ(Get_PD_Val(rec, "BitArea(2-4)", 0), 7);
    ASSERT_TRUE(Put_PD_Val(rec, "BitArea(2-4)", 0, 5));
    EXPECT_EQ(rec[33], 0xF7);
    // A value wider than the area would change the bits above it.
    EXPECT_FALSE(Put_PD_Val(rec, "BitArea(2-4)", 0, 8));
    EXPECT_EQ(rec[33], 0xF7);
}

TEST(ExtPrm, unreadableOrHighBitNumbers_areReadOnly)
{
    for (const char *type : {"Bit(8)", "Bit(12)", "Bit(x)", "Bit", "BitArea(4-2)", "BitArea(3-9)", "BitArea(2)"}) {
        Record rec;
        rec[33] = 0x5A;
        EXPECT_FALSE(ParseFieldType(QString::fromLatin1(type)).writable) << type;
        EXPECT_FALSE(Put_PD_Val(rec, QString::fromLatin1(type), 0, 1)) << type;
        EXPECT_EQ(rec[33], 0x5A) << type;
        EXPECT_EQ(Get_PD_Val(rec, QString::fromLatin1(type), 0), 0x5A) << type;
    }
}

TEST(ExtPrm, numbers_useTheirWidthSignAndBigEndianOrder)
{
    Record rec;
    ASSERT_TRUE(Put_PD_Val(rec, "Unsigned16", 2, 0x1234));
    EXPECT_EQ(rec[35], 0x12);
    EXPECT_EQ(rec[36], 0x34);
    EXPECT_EQ(Get_PD_Val(rec, "Unsigned16", 2), 0x1234);

    ASSERT_TRUE(Put_PD_Val(rec, "Signed16", 4, -2));
    EXPECT_EQ(rec[37], 0xFF);
    EXPECT_EQ(rec[38], 0xFE);
    EXPECT_EQ(Get_PD_Val(rec, "Signed16", 4), -2);

    ASSERT_TRUE(Put_PD_Val(rec, "Signed32", 6, -100000));
    EXPECT_EQ(Get_PD_Val(rec, "Signed32", 6), -100000);
    EXPECT_EQ(rec[39], 0xFF);

    ASSERT_TRUE(Put_PD_Val(rec, "Unsigned32", 10, 4000000000LL));
    EXPECT_EQ(Get_PD_Val(rec, "Unsigned32", 10), 4000000000LL);
    EXPECT_EQ(rec[43], 0xEE);

    ASSERT_TRUE(Put_PD_Val(rec, "Signed8", 14, -128));
    EXPECT_EQ(Get_PD_Val(rec, "Signed8", 14), -128);

    EXPECT_FALSE(Put_PD_Val(rec, "Unsigned8", 0, 256));
    EXPECT_FALSE(Put_PD_Val(rec, "Signed8", 0, 128));
    EXPECT_FALSE(Put_PD_Val(rec, "Unsigned16", 0, -1));
    EXPECT_FALSE(Put_PD_Val(rec, "Unsigned16", 511 - 33, 1)); // its second byte lies past the record
    EXPECT_FALSE(Put_PD_Val(rec, "Visible-String", 0, 1));
}

TEST(ExtPrm, moduleAtPosition3AfterBlocks2And4_hasOffset9_andItsField1IsRecordByte43)
{
    Fixture f;
    WithPrm(f.st, std::vector<uint8_t>(3 + 2 + 4 + 3, 0));
    f.st.gsd.moduleAt(0).prmLen = 3;
    f.st.gsd.moduleAt(1).prmLen = 2;
    f.st.gsd.moduleAt(2).prmLen = 4;
    f.st.gsd.moduleAt(3).prmLen = 3;
    f.st.gsd.moduleAt(3).refs.push_back({1, 5});
    f.st.gsd.moduleCount = 3;
    Define(f.st.gsd, 5, "Level", "Unsigned8", 0, 200);
    const int list = SlaveLayout::of(f.st.record).userData() + kModuleListAt;
    f.st.record[list] = 1;
    f.st.record[list + 1] = 2;
    f.st.record[list + 2] = 3;
    EXPECT_EQ(ModuleParamOffset(f.st.gsd, f.st.record, 3), 9);

    Form7Window w(f.ctx, {3, 3, 9});
    w.show();
    EXPECT_EQ(w.findChild<QLineEdit *>("A_Offset")->text(), " 9");
    EXPECT_EQ(w.findChild<QLineEdit *>("A_MNR")->text(), " 3");
    QLineEdit *text1 = w.findChild<QLineEdit *>("Text1");
    text1->setFocus();
    text1->selectAll();
    QTest::keyClicks(text1, "77");
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(f.st.record[43], 77);

    text1->selectAll();
    QTest::keyClicks(text1, "300");
    QTest::keyClick(text1, Qt::Key_Return);
    EXPECT_EQ(f.ui.lastText(), "value too high\n" + f.ui.lastTitle());
    EXPECT_EQ(f.st.record[43], 200);
    EXPECT_EQ(text1->text(), "200");
}

TEST(ExtPrm, rows_showLabelsTextListsAndMissingTextAsDashes)
{
    Fixture f;
    WithPrm(f.st, {0x02, 0x09});
    f.st.gsd.moduleAt(0).refs = {{0, 1}, {1, 2}, {0, 3}};
    Define(f.st.gsd, 1, "Mode", "BitArea(0-2)", 0, 7, 4);
    Define(f.st.gsd, 2, "Filter", "Unsigned8", 0, 255, 4);
    Define(f.st.gsd, 3, "Spare", "Bit(7)", 0, 1);
    f.st.gsd.textListAt(4) = {{0, "Off"}, {2, "Fast"}, {9, "Slow"}};

    Form7Window w(f.ctx, {});
    w.show();
    EXPECT_EQ(w.windowTitle(), "Parameter Setup : ");
    auto *label1 = w.findChild<QLabel *>("Label1");
    EXPECT_EQ(label1->text(), QString("Mode").leftJustified(32) + "  Typ: BitArea(0-2)");
    EXPECT_EQ(w.findChild<QLabel *>("Label3")->text(),
              QString("Spare").leftJustified(32) + "  Typ: Bit(7)  Min.:  0  Max.:  1");
    auto *combo1 = w.findChild<QComboBox *>("Combo1");
    EXPECT_FALSE(combo1->isHidden());
    EXPECT_TRUE(w.findChild<QLineEdit *>("Text1")->isHidden());
    EXPECT_EQ(combo1->count(), 3);
    EXPECT_EQ(combo1->currentText(), "Fast");
    EXPECT_EQ(w.findChild<QComboBox *>("Combo2")->currentText(), "Slow");

    Q_EMIT combo1->activated(0); // "Off"
    EXPECT_EQ(f.st.record[33], 0x00);
    f.st.record[33] = 0x05;      // a value the list has no text for
    w.Form_Activate();
    EXPECT_EQ(combo1->currentText(), "---");
    EXPECT_TRUE(w.findChild<QLabel *>("Label4")->isHidden());
}

TEST(ExtPrm, blockWith30References_showsOnly24Rows)
{
    Fixture f;
    WithPrm(f.st, std::vector<uint8_t>(30, 0));
    for (int k = 0; k < 30; ++k) {
        f.st.gsd.moduleAt(0).refs.push_back({k, k + 1});
        Define(f.st.gsd, k + 1, QString("F%1").arg(k + 1), "Unsigned8", 0, 255);
    }
    Form7Window w(f.ctx, {});
    w.show();
    int shown = 0;
    for (int n = 1; n <= 24; ++n)
        shown += w.findChild<QLabel *>(QString("Label%1").arg(n))->isHidden() ? 0 : 1;
    EXPECT_EQ(shown, 24);
    EXPECT_EQ(w.findChild<QLabel *>("Label25")->text(), "Modul Nr.:"); // the heading, not a row
    EXPECT_EQ(w.findChild<QLineEdit *>("Text25"), nullptr);
}

TEST(ExtPrm, withoutGsdTables_everyRowIsHidden)
{
    Fixture f;
    WithPrm(f.st, {1});
    Form7Window w(f.ctx, {});
    w.show();
    for (int n = 1; n <= 24; ++n)
        EXPECT_TRUE(w.findChild<QLabel *>(QString("Label%1").arg(n))->isHidden()) << n;
}

TEST(ExtPrm, fieldBeyondRecord_isShownEmptyAndNotWritten)
{
    Fixture f;
    WithPrm(f.st, {1});
    f.st.gsd.moduleAt(0).refs = {{600, 1}};
    Define(f.st.gsd, 1, "Far", "Unsigned8", 0, 255);
    Form7Window w(f.ctx, {});
    w.show();
    auto *text1 = w.findChild<QLineEdit *>("Text1");
    EXPECT_EQ(text1->text(), "");
    EXPECT_TRUE(text1->isReadOnly());
    const Record before = f.st.record;
    w.editor().CommitText(0, "5");
    EXPECT_EQ(f.st.record, before);
}
