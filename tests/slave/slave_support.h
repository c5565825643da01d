// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave editor on a fresh state: the window shown for a station, with
// helpers that type into its fields and press its buttons by name.
#include "config/listline.h"
#include "slave/form2_window.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>

namespace meridan::test {

// A small modular device: module m has identifier byte 0x10 + m and a
// two-byte parameter block of constants m, m.
inline QByteArray ModularGsd(int modules, int firstNumberedAt = 1)
{
    QByteArray g = "#Profibus_DP\r\nVendor_Name=\"Test Works\"\r\nModel_Name=\"Block IO\"\r\n"
                   "Hardware_Release=\"HW1\"\r\nSoftware_Release=\"SW2\"\r\nIdent_Number=0x4711\r\n"
                   "User_Prm_Data_Len=1\r\nUser_Prm_Data=0x05\r\nModular_Station=1\r\n";
    for (int m = firstNumberedAt; m < firstNumberedAt + modules; ++m) {
        g += "Module=\"M" + QByteArray::number(m) + "\" 0x" + QByteArray::number(0x10 + (m & 0x0F), 16) + "\r\n";
        g += "Ext_Module_Prm_Data_Len=2\r\nExt_User_Prm_Data_Const(0)=" + QByteArray::number(m & 0xFF) + ","
             + QByteArray::number(m & 0xFF) + "\r\nEndModule\r\n";
    }
    return g;
}

struct Form2Fixture : Fixture {
    QPointer<Form2Window> w;
    std::vector<ExtSelection> opened; // blocks the parameter editor was opened for

    // `catalogue`: the GSD button opens the catalogue dialog, not the
    // scripted file dialog.
    explicit Form2Fixture(int station = 12, bool catalogue = false)
    {
        st.currentStation = station;
        ResetListLines(st); // as the main window has them
        w = new Form2Window(ctx);
        w->openForm7 = [this](const ExtSelection &sel) { opened.push_back(sel); };
        if (!catalogue)
            w->editor().chooseGsdFile = {};
        w->show();
    }
    ~Form2Fixture() { delete w.data(); }

    template <typename T>
    T *child(const char *name) const
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char *field) const { return child<QLineEdit>(field)->text(); }
    void type(const char *field, const QString &value) const
    {
        QLineEdit *e = child<QLineEdit>(field);
        e->setFocus();
        e->selectAll();
        if (value.isEmpty())
            QTest::keyClick(e, Qt::Key_Delete);
        else
            QTest::keyClicks(e, value);
        QTest::keyClick(e, Qt::Key_Return);
    }
    void click(const char *name) const
    {
        QAbstractButton *b = child<QAbstractButton>(name);
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    // Reads a device file through the GSD button, as chosen in the dialog.
    void loadGsd(const QString &path)
    {
        ui.files.push_back(path);
        click("GSD");
    }
    QString writeGsd(const QString &name, const QByteArray &bytes) const
    {
        write(QStringLiteral("GSD/") + name, bytes);
        return root.gsdDir() + QLatin1Char('/') + name;
    }
    // Chooses GSD module m from the drop-down.
    void chooseModule(int m) const
    {
        QComboBox *combo = child<QComboBox>("Modul");
        const int index = combo->findData(m);
        ASSERT_GE(index, 0) << m;
        Q_EMIT combo->activated(index);
    }
    QListWidget *modList() const { return child<QListWidget>("ModList"); }
    int userData() const { return SlaveLayout::of(st.record).userData(); }
    std::vector<uint8_t> bytes(int from, int count) const
    {
        return {st.record.bytes.begin() + from, st.record.bytes.begin() + from + count};
    }
};

} // namespace meridan::test
