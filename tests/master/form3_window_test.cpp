// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bytes.h"
#include "demo_config.h"
#include "master/form3_window.h"
#include "support/fixture.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

using namespace meridan;
using namespace meridan::test;

namespace {

struct Form3Fixture : Fixture {
    QPointer<Form3Window> w;

    explicit Form3Fixture(int code = -1)
    {
        if (code >= 0)
            PutDemoMaster(st, code);
        w = new Form3Window(ctx);
        w->show();
    }
    ~Form3Fixture() { delete w.data(); }

    template <typename T>
    T *child(const char *name) const
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char *field) const { return child<QLineEdit>(field)->text(); }
    // Types into a field and leaves it with Enter, as a user would.
    void type(const char *field, const QString &value) const
    {
        QLineEdit *e = child<QLineEdit>(field);
        e->selectAll();
        QTest::keyClicks(e, value);
        QTest::keyClick(e, Qt::Key_Return);
    }
    void click(const char *name) const
    {
        // On the box itself: a check box in a wide layout takes clicks only there.
        QAbstractButton *b = child<QAbstractButton>(name);
        const QPoint at = qobject_cast<QCheckBox *>(b) ? QPoint(8, b->height() / 2) : b->rect().center();
        QTest::mouseClick(b, Qt::LeftButton, {}, at);
    }
    // Picks an item of the baud-rate list with the mouse.
    void chooseBaud(int row) const
    {
        QComboBox *combo = child<QComboBox>("Combo1");
        combo->showPopup();
        QAbstractItemView *view = combo->view();
        const QRect r = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    }
};

} // namespace

TEST(Form3Window, afterNew_defaultThenOkMakesTheMasterValid)
{
    Form3Fixture f;
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral(" 0"));
    f.click("SetBus");
    EXPECT_EQ(f.child<QLabel>("Meldung")->text(), QStringLiteral("Default values set"));
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral(" 125"));
    EXPECT_FALSE(f.st.image.hasMaster());
    f.click("Exit");
    EXPECT_EQ(f.st.image.at(0, 0), '$');
    EXPECT_FALSE(f.w->isVisible()); // OK hides; the window lives on
    ASSERT_FALSE(f.w.isNull());
}

// Each field commits through the editor (its rules are the editor's tests);
// the window shows the result, the check line and one message per refusal.
TEST(Form3Window, typedFieldsAndBaudList_commitThroughTheEditorAndRedisplay_theListOpensFromTheKeyboard)
{
    Form3Fixture f(6);
    f.w->editor().record()[25] = 3;
    f.w->DisplayMaster();
    f.type("F3_Adr", QStringLiteral("5"));
    EXPECT_EQ(f.text("F3_HSA"), QStringLiteral(" 5"));
    QLabel *check = f.child<QLabel>("F3_Check");
    EXPECT_EQ(check->text(), QStringLiteral("0 errors, 0 warnings, 0 notes - bus cycle about 0.169 ms"));
    f.type("F3_minT", QStringLiteral("5"));
    EXPECT_TRUE(check->text().startsWith("1 error, 0 warnings, 0 notes - error [min-tsdr]")) << qPrintable(check->text());
    EXPECT_TRUE(f.ui.shown.empty());
    f.type("F3_MRL", QStringLiteral("9"));
    EXPECT_EQ(f.text("F3_MRL"), QStringLiteral(" 8"));
    ASSERT_EQ(f.ui.shown.size(), 1u); // one message, not one per focus change
    EXPECT_EQ(f.ui.lastTitle(), QStringLiteral("range  1 to  8"));

    QComboBox *combo = f.child<QComboBox>("Combo1");
    ASSERT_EQ(combo->count(), 10);
    f.chooseBaud(8);
    EXPECT_EQ(f.w->editor().record()[11], 8);
    EXPECT_EQ(combo->currentText(), QStringLiteral(" 6,0  MBaud"));
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral(" 7000")); // no other parameter follows the rate
    for (auto [key, modifiers] : {std::pair{Qt::Key_Space, Qt::NoModifier}, {Qt::Key_F4, Qt::NoModifier}, {Qt::Key_Down, Qt::AltModifier}}) {
        QTest::keyClick(combo->lineEdit(), key, modifiers);
        EXPECT_TRUE(combo->view()->isVisible()) << key; // the list opens from the keyboard
        combo->hidePopup();
    }
}

TEST(Form3Window, msSwitch_at1500kbit_showsAndTakesMsAndPassingThroughKeepsTsl)
{
    Form3Fixture f(6);
    putBe16(f.w->editor().record().span(), 12, 300);
    f.w->DisplayMaster();
    f.click("ms");
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral("0.200"));
    EXPECT_EQ(f.child<QLabel>("L17")->text(), QStringLiteral("ms"));
    EXPECT_EQ(f.child<QLabel>("Label19")->text(), QStringLiteral("ms"));
    EXPECT_EQ(f.text("F3_TRT"), QStringLiteral("66.667"));
    EXPECT_EQ(f.text("F3_maxT"), QStringLiteral(" 150")); // only TSL and TTR change unit
    // Leaving the field without typing must not read the ms text as bit times.
    QTest::keyClick(f.child<QLineEdit>("F3_TSL"), Qt::Key_Return);
    EXPECT_EQ(be16(f.w->editor().record().span(), 12), 300);
    // Typed values are taken in the unit shown: 0.1 ms at 1.5 Mbit/s are 150 bit times.
    f.type("F3_TSL", QStringLiteral("0.1"));
    EXPECT_EQ(be16(f.w->editor().record().span(), 12), 150);
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral("0.100"));
    f.type("F3_TRT", QStringLiteral("10"));
    EXPECT_EQ(be32(f.w->editor().record().span(), 20), 15000u);
    // 300 ms would be 450000 bit times: too high for the slot time, which keeps its highest value.
    f.type("F3_TSL", QStringLiteral("300"));
    EXPECT_EQ(be16(f.w->editor().record().span(), 12), 65335);
    ASSERT_FALSE(f.ui.shown.empty());
    EXPECT_TRUE(f.ui.lastText().startsWith("value too high")) << f.ui.lastText().toStdString();
    f.click("ms");
    EXPECT_EQ(f.child<QLabel>("L17")->text(), QStringLiteral("Tbit"));
    f.type("F3_TSL", QStringLiteral("300")); // bit times again
    EXPECT_EQ(f.text("F3_TSL"), QStringLiteral(" 300"));
}

TEST(Form3Window, pendingEdits_surviveActivationUntilRecallOkOrTheCloseBox)
{
    Form3Fixture f(6);
    f.st.image.at(0, 24) = 50; // a file was loaded in the main window
    f.w->Form_Activate();
    EXPECT_EQ(f.text("F3_Gap"), QStringLiteral(" 50"));
    f.type("F3_Gap", QStringLiteral("60"));
    f.click("Autoclear");
    EXPECT_EQ(f.w->editor().record()[27], 0x80);
    f.st.image.at(0, 24) = 70;
    f.w->Form_Activate();
    EXPECT_EQ(f.text("F3_Gap"), QStringLiteral(" 60"));

    f.click("Recall");
    EXPECT_EQ(f.text("F3_Gap"), QStringLiteral(" 70"));
    EXPECT_FALSE(f.child<QCheckBox>("Autoclear")->isChecked());

    f.type("F3_HSA", QStringLiteral("40"));
    f.click("Exit");
    EXPECT_EQ(f.st.image.at(0, 25), 40);

    f.w->show();
    f.type("F3_Gap", QStringLiteral("7"));
    f.w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.w.isNull());
    EXPECT_EQ(f.st.image.at(0, 24), 70);
}
