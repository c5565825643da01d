// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bytes.h"
#include "config/configfile.h"
#include "demo_config.h"
#include "slave/form7_window.h"
#include "slave_support.h"
#include "config/image.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>

using namespace meridan;
using namespace meridan::test;

// A modular slave built from a real device file that takes one module
// (Max_Module): a second is refused; a parameter of the module changed in
// the parameter editor, stored, saved, read back.
TEST(SlaveEndToEnd, modularSlaveFromRealFile_refusesASecondModule_survivesSaveAndReload)
{
    const QString gsd = QDir(SharedGsdDir()).filePath(QStringLiteral("TR09AAAB.GSE"));
    if (!QFileInfo::exists(gsd))
        GTEST_SKIP() << "no " << qPrintable(gsd);
    Form2Fixture f(12);
    PutDemoMaster(f.st, 6);
    // The parameter editor changes "Class 2 Functionality" (a text list) of
    // the second module and the 32-bit measuring range.
    f.w->openForm7 = [&f](const ExtSelection &sel) {
        Form7Window w(f.ctx, sel, f.w);
        w.show();
        auto *combo = w.findChild<QComboBox *>("Combo2");
        ASSERT_FALSE(combo->isHidden());
        Q_EMIT combo->activated(0);
        auto *range = w.findChild<QLineEdit *>("Text6");
        ASSERT_FALSE(range->isHidden());
        range->setFocus();
        range->selectAll();
        QTest::keyClicks(range, "4096");
        QTest::keyClick(range, Qt::Key_Return);
        w.accept();
    };
    f.loadGsd(gsd);
    ASSERT_EQ(f.text("F2_ID"), "AAAB");
    f.type("Text2", "Encoder");
    f.chooseModule(3);
    const Record one = f.st.record;
    f.chooseModule(1);
    EXPECT_EQ(f.st.record, one);
    EXPECT_EQ(f.text("Meldung"), "Error: the device takes at most 1 modules (Max_Module), module not added !");
    ASSERT_EQ(f.modList()->count(), 1);
    EXPECT_EQ(f.text("F2_cfg"), "F0 ");
    QTest::mouseClick(f.modList()->viewport(), Qt::LeftButton, {},
                      f.modList()->visualItemRect(f.modList()->item(0)).center());
    ASSERT_EQ(f.opened.size(), 0u); // the real editor ran, not the recorder
    const int block = f.st.gsd.modulePrmLen(0);
    EXPECT_EQ(f.st.record[33 + block + 1] & 0x02, 0);        // bit 1 cleared: "No"
    EXPECT_EQ(be32(f.st.record.span(), std::size_t(33 + block + 6)), 4096u); // Unsigned32 at block byte 6
    f.click("F2_Exit");

    const Record stored = f.st.image.slot(12);
    const QString file = f.file(QStringLiteral("three.dp1"));
    f.ui.files.push_back(file);
    Save(f.ctx);
    ClearImage(f.st.image);
    ASSERT_GT(LoadConfigFile(f.ctx, file), 0);
    const int len = 8 + be16(stored.span(), 8);
    for (int i = 0; i <= len - 8; ++i)
        EXPECT_EQ(f.st.image.at(12, i), stored.bytes[std::size_t(i)]) << "byte " << i;
}

namespace {

// The program after a restart: nothing but the root folder and the saved file.
struct Restarted {
    State st;
    ScriptedPrompts ui;
    VirtualPump pump;
    Context ctx;
    Restarted(const Root &root, const QString &saved) : ctx{st, ui, pump, root}
    {
        st.language = kEnglish;
        ResetListLines(st);
        EXPECT_GT(LoadConfigFile(ctx, saved), 0);
        st.currentStation = 12;
    }
};

} // namespace

// A station from a ".gse" device file shows its modules and texts in the
// windows after a restart. (A renamed file is found by its ident: the device
// file tests.)
TEST(SlaveEndToEnd, stationFromGseFile_showsModulesAndTextsInTheWindowsAfterRestart)
{
    Form2Fixture f(12);
    PutDemoMaster(f.st, 6);
    f.loadGsd(f.writeGsd("ACME0C5E.gse",
                         "#Profibus_DP\r\nVendor_Name = \"Acme\"\r\nIdent_Number = 0x0C5E\r\nModular_Station = 1\r\n"
                         "PrmText = 1\r\nText(0) = \"Off\"\r\nText(1) = \"On\"\r\nEndPrmText\r\n"
                         "ExtUserPrmData = 10 \"Diagnosis\"\r\nBit(0) 1 0-1\r\nPrm_Text_Ref = 1\r\nEndExtUserPrmData\r\n"
                         "Module = \"8 Valves\" 0x20\r\nExt_Module_Prm_Data_Len = 1\r\nExt_User_Prm_Data_Const(0) = 0x01\r\n"
                         "Ext_User_Prm_Data_Ref(0) = 10\r\nEndModule\r\nModule = \"16 Valves\" 0x21\r\nEndModule\r\n"));
    f.chooseModule(1);
    f.click("F2_Exit");
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file(QStringLiteral("plant.dp1"))));
    Restarted r(f.root, f.file(QStringLiteral("plant.dp1")));
    Form2Window w(r.ctx);
    w.show();
    auto *list = w.findChild<QListWidget *>("ModList");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("8 Valves"));
    Form7Window prm(r.ctx, SlaveEditor(r.ctx).ModList_Click(0), &w);
    prm.show();
    auto *combo = prm.findChild<QComboBox *>("Combo1");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("On"));
}
