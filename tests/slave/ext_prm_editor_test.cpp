// SPDX-License-Identifier: GPL-3.0-or-later
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

TEST(ExtPrm, bitsAndBitAreas_readAndWriteOnlyTheirBits)
{
    const struct Case {
        const char *type;
        uint8_t before;
        int64_t read, written;
        uint8_t after;
    } cases[] = {{"Bit(3)", 0x00, 0, 1, 0x08}, {"Bit(3)", 0xFF, 1, 0, 0xF7}, {"BitArea(2-4)", 0xFF, 7, 5, 0xF7}};
    for (const Case &c : cases) {
        Record rec;
        rec[33] = c.before;
        EXPECT_EQ(Get_PD_Val(rec, c.type, 0), c.read) << c.type;
        ASSERT_TRUE(Put_PD_Val(rec, c.type, 0, c.written)) << c.type;
        EXPECT_EQ(rec[33], c.after) << c.type;
        EXPECT_EQ(Get_PD_Val(rec, c.type, 0), c.written) << c.type;
    }
    // A value wider than the area would change the bits above it.
    Record rec;
    EXPECT_FALSE(Put_PD_Val(rec, "BitArea(2-4)", 0, 8));
    EXPECT_EQ(rec[33], 0);
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
    const struct Case {
        const char *type;
        int at;
        int64_t value;
        const char *hex; // the bytes written, from User_Prm_Data byte `at` on
    } cases[] = {{"Unsigned16", 2, 0x1234, "1234"}, {"Signed16", 4, -2, "fffe"}, {"Signed32", 6, -100000, "fffe7960"},
                 {"Unsigned32", 10, 4000000000LL, "ee6b2800"}, {"Signed8", 14, -128, "80"}};
    for (const Case &c : cases) {
        Record rec;
        ASSERT_TRUE(Put_PD_Val(rec, c.type, c.at, c.value)) << c.type;
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&rec.bytes[std::size_t(33 + c.at)]), qsizetype(qstrlen(c.hex) / 2)).toHex(), c.hex);
        EXPECT_EQ(Get_PD_Val(rec, c.type, c.at), c.value) << c.type;
    }
    Record rec;
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

TEST(ExtPrm, blockWith30References_showsOnly24Rows_withoutGsdTablesNone)
{
    Fixture f;
    WithPrm(f.st, std::vector<uint8_t>(30, 0));
    const auto shown = [&f] {
        Form7Window w(f.ctx, {});
        w.show();
        int rows = 0;
        for (int n = 1; n <= 24; ++n)
            rows += w.findChild<QLabel *>(QString("Label%1").arg(n))->isHidden() ? 0 : 1;
        EXPECT_EQ(w.findChild<QLabel *>("Label25")->text(), "Module No.:"); // the heading, not a row
        EXPECT_EQ(w.findChild<QLineEdit *>("Text25"), nullptr);
        return rows;
    };
    EXPECT_EQ(shown(), 0);
    for (int k = 0; k < 30; ++k) {
        f.st.gsd.moduleAt(0).refs.push_back({k, k + 1});
        Define(f.st.gsd, k + 1, QString("F%1").arg(k + 1), "Unsigned8", 0, 255);
    }
    EXPECT_EQ(shown(), 24);
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
