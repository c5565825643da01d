// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bytes.h"
#include "config/listline.h"
#include "fakes.h"
#include "iface/hardware.h"
#include "slave_support.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

using namespace meridan;
using namespace meridan::test;

TEST(Form2, nameA_isBlankPadded_emptyName_becomesDash)
{
    Form2Fixture f;
    f.type("Text2", "A");
    const int name = f.userData() + 5;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&f.st.record.bytes[name]), 20), "A" + QByteArray(19, ' '));
    EXPECT_TRUE(f.st.listLines[11].endsWith(": A" + QString(19, ' ')));

    f.type("Text2", "");
    EXPECT_EQ(f.st.record[name], '-');
    EXPECT_EQ(f.st.record[name + 1], ' ');
    EXPECT_EQ(f.text("Text2"), "-"); // the padding is the record's, not the field's

    f.type("Text2", "Pump");
    QLineEdit *field = f.child<QLineEdit>("Text2");
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, " 3"); // typed on at its end, nothing selected
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(f.st.listLines[11].endsWith(": Pump 3" + QString(14, ' ')));
}

TEST(Form2, everyValueShowsWholeAtTheSmallestSizeAndTheSizeGivenIsKept)
{
    Form2Fixture f;
    f.type("Watchdog", "12750");
    f.w->resize(f.w->minimumSizeHint()); // what a window manager may give it
    QApplication::processEvents();
    for (const char *name : {"F2_SA", "F2_ID", "Watchdog", "minTsdr", "Group", "F2_SL", "F2_InAdr", "F2_InLn"}) {
        const QLineEdit *e = f.child<QLineEdit>(name);
        EXPECT_GE(e->width(), e->fontMetrics().horizontalAdvance(e->text()) + 8) << name;
    }
    f.w->resize(900, 640);
    f.click("F2_Exit");
    EXPECT_EQ(Form2Window(f.ctx).size(), QSize(900, 640));
}

TEST(Form2, byteGrids_readPairsWhileThreeTimesIndexFitsLengthPlusOne_prmStopsAt240)
{
    Form2Fixture f;
    f.type("F2_Prm", "01 02 0A");
    EXPECT_EQ(f.bytes(33, 3), (std::vector<uint8_t>{1, 2, 0x0A}));
    EXPECT_EQ(f.st.record[25], 9 + 3);
    EXPECT_EQ(f.text("F2_Prm"), "01 02 0A ");
    EXPECT_EQ(f.text("F2_SL"), "134");
    f.type("F2_Prm", "01 02 0A 1"); // 10 characters: 3 x 4 > 11
    EXPECT_EQ(f.st.record[25], 9 + 3);
    EXPECT_EQ(ParseByteGrid("1G G1"), (std::vector<uint8_t>{1, 0}));

    f.type("F2_cfg", "13 23 C2 41 03 00 00");
    EXPECT_EQ(f.st.record[37], 2 + 7);
    EXPECT_EQ(f.text("F2_InLn"), "8");
    EXPECT_EQ(f.text("F2_OutLn"), "8");
    EXPECT_EQ(f.text("F2_In"), ""); // no interface

    QString text;
    for (int i = 0; i < 241; ++i)
        text += HexByteText(uint8_t(i));
    f.w->editor().F2_Prm_LostFocus(text);
    f.w->DisplaySlave();
    EXPECT_EQ(f.st.record[25], 9 + 240);
    EXPECT_EQ(f.text("Meldung"), "too much parameter !");
}

TEST(Form2, busValuesIdentAndOffsets_storeTheirBytesAndShowWhatTheyGive_textThatIsNoNumberIsRefused)
{
    Form2Fixture f;
    f.type("F2_Prm", "01 02");
    const std::array<uint8_t, kSlotSize> before = f.st.record.bytes;
    for (auto [field, range] : {std::pair{"Watchdog", "range  0 to  12750"}, {"F2_Prm", "range hex 0 to FF"},
                                {"F2_cfg", "range hex 0 to FF"}, {"F2_ID", "range hex 0 to FFFF"}, {"F2_InAdr", "range hex 0 to 1000"}}) {
        f.type(field, "01 zz");
        EXPECT_EQ(f.ui.lastText(), QStringLiteral("wrong input\n") + range) << field;
        EXPECT_EQ(f.st.record.bytes, before) << field;
    }
    EXPECT_EQ(f.text("Watchdog"), "1000"); // not 0: the watchdog stays on
    f.type("F2_Prm", "");
    struct Case {
        const char *field, *typed;
        int at;
        std::vector<uint8_t> bytes;
        const char *shown; // nullptr: the field is not shown again
        bool tooHigh;
    };
    const Case cases[] = {
        {"Watchdog", "1000", 26, {0x88, 20, 5}, "1000", false}, {"Watchdog", "1020", 26, {0x88, 20, 5}, "1000", false},
        {"Watchdog", "40", 26, {0x80, 0, 0}, "0", false},       {"Watchdog", "20000", 26, {0x88, 255, 5}, "12750", true},
        {"minTsdr", "5", 29, {11}, nullptr, false},             {"Group", "0", 32, {1}, nullptr, false},
        {"Group", "300", 32, {255}, nullptr, false},            {"F2_ID", "80a0", 30, {0x80, 0xA0}, "80A0", false},
        {"F2_InAdr", "2000", 37, {0x10, 0}, "1000", true},
    };
    for (const Case &c : cases) {
        const std::size_t messages = f.ui.shown.size();
        f.type(c.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(f.bytes(c.at, int(c.bytes.size())), c.bytes) << c.field << " " << c.typed;
        EXPECT_EQ(c.shown ? f.text(c.field) : QString(), QString::fromLatin1(c.shown)) << c.field << " " << c.typed;
        EXPECT_EQ(f.ui.shown.size() > messages, c.tooHigh) << c.field << " " << c.typed;
        EXPECT_EQ(c.tooHigh ? f.ui.lastText() : QString(), c.tooHigh ? "value too high\n" + f.ui.lastTitle() : QString());
    }
}

TEST(Form2, openStation5_editsStation10WithNewRecord_autoAddrGivesStation12Offsets80And880_refuses50)
{
    Form2Fixture f(5);
    EXPECT_EQ(f.st.currentStation, 10);
    EXPECT_EQ(f.text("F2_SA"), "10");
    EXPECT_EQ(f.st.record[3], 10);
    EXPECT_EQ(f.text("F2_SL"), "131");
    EXPECT_EQ(f.text("Watchdog"), "1000");
    EXPECT_FALSE(f.child<QComboBox>("Modul")->isEnabled());
    f.type("F2_SA", "12");
    f.click("F2_AutoAddr");
    EXPECT_EQ(f.text("F2_InAdr"), "80");
    EXPECT_EQ(f.text("F2_OutAdr"), "80"); // in the output image, which begins 0x800 above the inputs
    EXPECT_EQ(be16(f.st.record.span(), 37), 0x80);
    EXPECT_EQ(be16(f.st.record.span(), 39), 0x80);
    f.type("F2_SA", "50");
    f.click("F2_AutoAddr");
    EXPECT_EQ(f.text("Meldung"), "Auto addressing only for stations 10 to 41 !");
    EXPECT_EQ(be16(f.st.record.span(), 37), 0x80);
}

TEST(Form2, copy_createsRecordsWithTheirAddressesAndLines_namesEachStationWithoutSlot)
{
    Form2Fixture f(12);
    f.type("Text2", "Pump");
    f.ui.inputs.push_back(QStringLiteral("20,0,126,21,127,105"));
    f.click("CopyCom");
    for (int s : {20, 21, 105}) {
        EXPECT_EQ(f.st.image.at(s, 0), 0x25) << s;
        EXPECT_EQ(f.st.image.at(s, 3), s) << s;
        EXPECT_TRUE(f.st.listLines[std::size_t(s - 1)].startsWith(NumText(s) + ". ----0000: Pump")) << s;
    }
    EXPECT_EQ(f.st.record[3], 12);
    ASSERT_EQ(f.ui.shown.size(), 3u);
    EXPECT_EQ(f.ui.shown[0].text, "Unproper Stationadr:0");
    EXPECT_EQ(f.ui.shown[1].text, "Unproper Stationadr:126");
    EXPECT_EQ(f.ui.shown[2].text, "Unproper Stationadr:127");
    EXPECT_EQ(f.ui.shown[2].title, "Station Error");
    EXPECT_EQ(f.st.image.at(125, 0), 0);
    EXPECT_EQ(f.text("Meldung"), "Station 105 is never downloaded: the download stops at station 100 !");
}

TEST(Form2, ok_storesIntoStationOfF2SA_cancelAndTheCloseBox_leaveImageAndLine)
{
    Form2Fixture f(12);
    f.type("Text2", "Kept");
    f.click("F2_Exit");
    EXPECT_FALSE(f.w->isVisible());
    EXPECT_EQ(f.st.image.at(12, 0), 0x25);
    EXPECT_TRUE(f.st.listLines[11].contains("Kept"));

    f.st.currentStation = 17;
    f.w->show();
    f.type("Text2", "Moved");
    f.type("F2_SA", "33");
    f.click("F2_Exit");
    EXPECT_EQ(f.st.image.at(33, 3), 33);
    EXPECT_EQ(f.st.image.at(17, 0), 0);
    EXPECT_EQ(f.st.listLines[16], EmptyListLine(17));
    EXPECT_TRUE(f.st.listLines[32].contains("Moved"));

    for (const bool closeBox : {false, true}) {
        f.st.currentStation = 14;
        f.w->show();
        f.type("Text2", "Dropped");
        EXPECT_TRUE(f.st.listLines[13].contains("Dropped"));
        closeBox ? void(f.w->close()) : f.click("Cancel");
        EXPECT_FALSE(f.w->isVisible());
        EXPECT_EQ(f.st.image.at(14, 0), 0);
        EXPECT_EQ(f.st.listLines[13], EmptyListLine(14));
        EXPECT_TRUE(f.w->editor().reloadFlag());
    }
}

TEST(Form2, gsdButton_choosesFromTheCatalogueOrAnyFile)
{
    Form2Fixture f(12, true);
    f.writeGsd("valve.gse", "#Profibus_DP\nVendor_Name = \"Acme\"\nModel_Name = \"Valve\"\nIdent_Number = 0x80A0\n");
    f.writeGsd("io.gsd", ModularGsd(2));
    const QString elsewhere = f.file("pump.gsd");
    f.write("pump.gsd", "#Profibus_DP\nVendor_Name = \"Acme\"\nModel_Name = \"Pump\"\nIdent_Number = 0x80A1\n");
    // Works the dialog once it is shown: `filter` typed, then `button` pressed.
    const auto inDialog = [](const char *filter, const char *button, int *rows) {
        QTimer::singleShot(0, [=] {
            QWidget *d = QApplication::activeModalWidget();
            ASSERT_TRUE(d && d->objectName() == "GsdCatalogue");
            QTest::keyClicks(d->findChild<QLineEdit *>("Filter"), filter);
            *rows = d->findChild<QTableWidget *>("Files")->rowCount();
            auto *b = d->findChild<QPushButton *>(button);
            QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
        });
    };
    int rows = -1;
    inDialog("test block", "Open", &rows);
    f.click("GSD");
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(f.text("F2_ID"), "4711");
    EXPECT_EQ(f.text("Geraet"), "Block IO");

    f.click("Neu");
    f.ui.files.push_back(elsewhere);
    inDialog("", "Browse", &rows);
    f.click("GSD");
    EXPECT_EQ(rows, 2);
    ASSERT_EQ(f.ui.dialogs.size(), 1u);
    EXPECT_EQ(f.ui.dialogs[0].title, "Load GSD File");
    EXPECT_EQ(f.text("Geraet"), "Pump");
}

TEST(Form2, chosenModules_appendBytesParametersAndListEntries_deletingKeepsParameters_neuClears)
{
    Form2Fixture f;
    f.loadGsd(f.writeGsd("TEST4711.gsd", ModularGsd(3)));
    f.chooseModule(2);
    f.st.record[33 + 1] = 0x7E; // written by the parameter editor into module 2's block
    f.chooseModule(3);
    EXPECT_EQ(f.text("F2_cfg"), "12 13 ");
    EXPECT_EQ(f.text("F2_Prm"), "05 7E 02 03 03 ");
    ASSERT_EQ(f.modList()->count(), 2);
    EXPECT_EQ(f.modList()->item(1)->text(), "M3");
    EXPECT_EQ(f.bytes(f.userData() + 25, 2), (std::vector<uint8_t>{2, 3}));

    // The second entry's block starts after the device byte and module 2's two bytes.
    QTest::mouseClick(f.modList()->viewport(), Qt::LeftButton, {},
                      f.modList()->visualItemRect(f.modList()->item(1)).center());
    ASSERT_EQ(f.opened.size(), 1u);
    EXPECT_EQ(f.opened[0].position, 2);
    EXPECT_EQ(f.opened[0].number, 3);
    EXPECT_EQ(f.opened[0].offset, 3);
    f.click("SetGP");
    ASSERT_EQ(f.opened.size(), 2u);
    EXPECT_EQ(f.opened[1].number, 0);
    EXPECT_EQ(f.opened[1].offset, 0);

    f.chooseModule(1);
    f.modList()->setCurrentRow(1);
    QTest::keyClick(f.modList(), Qt::Key_Delete);
    EXPECT_EQ(f.text("F2_cfg"), "12 11 ");
    EXPECT_EQ(f.text("F2_Prm"), "05 7E 02 03 03 01 01 ");
    ASSERT_EQ(f.modList()->count(), 2);
    EXPECT_EQ(f.modList()->item(1)->text(), "M1");
    EXPECT_EQ(f.bytes(f.userData() + 25, 3), (std::vector<uint8_t>{2, 1, 0}));

    f.click("Neu");
    EXPECT_EQ(f.text("F2_ID"), "0");
    EXPECT_EQ(f.text("Hersteller"), "");
    EXPECT_EQ(f.modList()->count(), 0);
    EXPECT_FALSE(f.child<QComboBox>("Modul")->isEnabled());
    EXPECT_EQ(f.text("F2_SL"), "131");

    f.st.language = kGerman;
    f.write("GSD/WARN4711.gsd", "#Profibus_DP\nIdent_Number = 0x4711\nMax_Module = 99\nPrmText = 1\nEndPrmText\nPrmText = 1\nEndPrmText\n");
    f.loadGsd(f.root.gsdDir() + "/WARN4711.gsd");
    EXPECT_EQ(f.text("Meldung"), "GSD-Prüfung von WARN4711.gsd: 0 Fehler, 2 Warnungen");
}

// Delete removes the module the user clicked, after its parameter editor
// closed; with none chosen it removes nothing.
TEST(Form2, deleteKey_removesTheClickedModule_noneChosenNoneRemoved)
{
    Form2Fixture f;
    f.loadGsd(f.writeGsd("TEST4711.gsd", ModularGsd(3)));
    for (int m : {1, 2, 3})
        f.chooseModule(m);
    f.modList()->setFocus();
    QTest::keyClick(f.modList(), Qt::Key_Delete);
    EXPECT_EQ(f.modList()->count(), 3);
    QTest::mouseClick(f.modList()->viewport(), Qt::LeftButton, {}, f.modList()->visualItemRect(f.modList()->item(1)).center());
    ASSERT_EQ(f.opened.size(), 1u);
    QTest::keyClick(f.modList(), Qt::Key_Delete);
    ASSERT_EQ(f.modList()->count(), 2);
    EXPECT_EQ(f.modList()->item(0)->text(), "M1");
    EXPECT_EQ(f.modList()->item(1)->text(), "M3");
    EXPECT_EQ(f.text("F2_cfg"), "11 13 ");
}

TEST(Form2, module300_isStoredAs255And45_254AsOneByte_andDeletingItClearsBothBytes)
{
    Form2Fixture f;
    f.loadGsd(f.writeGsd("TEST4711.gsd", ModularGsd(300)));
    f.chooseModule(300);
    f.chooseModule(254);
    f.chooseModule(7);
    EXPECT_EQ(f.bytes(f.userData() + 25, 4), (std::vector<uint8_t>{255, 45, 254, 7}));
    EXPECT_EQ(f.modList()->item(0)->text(), "M300");
    EXPECT_EQ(f.modList()->item(1)->text(), "M254");

    f.modList()->setCurrentRow(0);
    QTest::keyClick(f.modList(), Qt::Key_Delete);
    EXPECT_EQ(f.bytes(f.userData() + 25, 4), (std::vector<uint8_t>{254, 7, 0, 0}));
    ASSERT_EQ(f.modList()->count(), 2);
    EXPECT_EQ(f.modList()->item(1)->text(), "M7");
}

TEST(Form2, moduleListFull_refusesNextModuleAndWritesNothing)
{
    Form2Fixture f;
    // Modules without identifier bytes or parameters fill only the list.
    QByteArray g = "Ident_Number=0x0001\r\nModular_Station=1\r\n";
    for (int m = 1; m <= 300; ++m)
        g += "Module=\"X" + QByteArray::number(m) + "\"\r\nEndModule\r\n";
    f.loadGsd(f.writeGsd("FULL0001.gsd", g));
    for (int i = 0; i < 63; ++i)
        f.chooseModule(1);
    const Record before = f.st.record;
    f.chooseModule(300); // two bytes, one left
    EXPECT_EQ(f.st.record, before);
    EXPECT_EQ(f.text("Meldung"), "Error: the module list is full, module not added !");
    f.chooseModule(2);
    EXPECT_EQ(f.modList()->count(), 64);
    f.chooseModule(2);
    EXPECT_EQ(f.modList()->count(), 64);
    EXPECT_EQ(f.st.record[f.userData() + 25 + 64], 0); // the byte after the list
}

// The GSD button reads the device; the configuration keeps its file name.
// A stored station finds its file again; one whose file is not found
// (renamed, or kept elsewhere) is given it through the GSD button, its bytes
// unchanged.
TEST(Form2, gsdButton_readsDevice_reopeningStoredRecordReadsItAgainOrLetsOneBeChosen)
{
    Form2Fixture f;
    const QString plant = f.root.path(QStringLiteral("setup/plant.dp1"));
    f.st.configFileName = plant;
    f.loadGsd(f.writeGsd("TEST4711.gsd", ModularGsd(3)));
    ASSERT_EQ(f.ui.dialogs.size(), 1u);
    EXPECT_EQ(f.ui.dialogs[0].initialDir, f.root.gsdDir());
    EXPECT_EQ(f.st.configFileName, plant); // the next Store proposes the configuration's own file
    EXPECT_EQ(f.text("F2_ID"), "4711");
    EXPECT_EQ(f.text("Geraet"), "Block IO");
    EXPECT_EQ(f.text("F2_Prm"), "05 ");
    EXPECT_TRUE(f.child<QComboBox>("Modul")->isEnabled());
    EXPECT_TRUE(f.st.listLines[11].startsWith(" 12. TEST4711: "));
    EXPECT_EQ(f.text("Meldung"), "GSD check of TEST4711.gsd: 0 errors, 0 warnings");
    f.chooseModule(3);
    f.type("F2_Prm", "07 03 03");
    f.click("F2_Exit");
    f.st.gsd.clear();
    f.w->show();
    EXPECT_EQ(f.text("F2_Prm"), "07 03 03 ");
    EXPECT_EQ(f.text("Hersteller"), "Test Works");
    ASSERT_EQ(f.modList()->count(), 1);
    EXPECT_EQ(f.modList()->item(0)->text(), "M3");

    f.click("F2_Exit");
    QFile::rename(f.root.gsdDir() + "/TEST4711.gsd", f.file("device.gsd"));
    f.w->show();
    EXPECT_EQ(f.modList()->item(0)->text(), ""); // no file, no module names
    const Record stored = f.st.record;
    f.write("other.gsd", "#Profibus_DP\nIdent_Number = 0x0815\n");
    f.ui.files.push_back(f.file("other.gsd"));
    f.click("GSD");
    EXPECT_EQ(f.ui.lastText(), "The GSD file describes ident 0815, the station has 4711.");
    EXPECT_EQ(f.st.gsd.moduleCount, 0);

    f.ui.files.push_back(f.file("device.gsd"));
    f.click("GSD");
    EXPECT_EQ(f.modList()->item(0)->text(), "M3");
    EXPECT_EQ(f.text("Hersteller"), "Test Works");
    EXPECT_EQ(f.text("Meldung"), "GSD check of device.gsd: 0 errors, 0 warnings");
    const int code = f.userData();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&f.st.record.bytes[code]), 4), "devi");
    for (int i = 0; i < code; ++i)
        EXPECT_EQ(f.st.record[i], stored.bytes[std::size_t(i)]) << i;
    f.click("GSD");
    EXPECT_EQ(f.ui.lastText(), "GSD-File allready loaded!");
}

// Compact devices: one module is shown by its name; several make the reader
// pause on its error while the editor opens, the record already shown.
TEST(Form2, compactDevice_showsItsModulesNameOrWhileItsErrorPausesTheRecord)
{
    Form2Fixture f;
    const QByteArray head = "#Profibus_DP\nIdent_Number=0x4712\nModule=\"PNO Class 2  16 Bit\" 0xF0\nEndModule\n";
    f.loadGsd(f.writeGsd("TEST4712.gsd", head));
    EXPECT_EQ(f.child<QComboBox>("Modul")->currentText(), "PNO Class 2  16 Bit");
    EXPECT_EQ(ExtPrmEditor(f.ctx, {1, 1, 0}).caption(), "Parameter Setup : PNO Class 2  16 Bit");

    f.writeGsd("TEST4712.gsd", head + "Module=\"DIO32\" 0x33\nEndModule\n");
    f.type("Watchdog", "2000");
    f.click("F2_Exit");
    QString inPause;
    f.pump.onPump = [&] {
        if (f.pump.sleptMs > 0 && inPause.isEmpty())
            inPause = f.text("F2_ID") + " " + f.text("Watchdog");
    };
    f.w->show();
    EXPECT_EQ(inPause, "4712 2000");
    EXPECT_EQ(f.text("Meldung"), "Error in GSD-File: multiple modules"); // not the file's last line
}

TEST(Form2, directlyConnectedMaster_showsLiveInputAndOutputBytes)
{
    LinkFixture f;
    f.write("driver/zelpci.cfg", "[dpram]\nVME7=driver/slot7.dpram\n");
    DpramFile dpram(f.root.path("driver/slot7.dpram"), 0x4000);
    dpram.put(0x000C, "ZEL");
    std::unique_ptr<iface::Link> link = iface::OpenLink(*iface::ParseHwName("vme:7"), f.env, kEnglish, [](const QString &) {}).link;
    ASSERT_TRUE(link);
    // Inputs in the input image at the board type word, outputs in the
    // output image 0x800 above it, each at the record's own offset.
    const uint32_t base = link->map().boardType;
    dpram.put(base + 0x80, QByteArray("\x11\x22", 2));
    dpram.put(base + 0x800 + 0x40, QByteArray("\x33", 1));
    f.st.currentStation = 12;
    iface::Link *board = link.get();
    Form2Window w(f.ctx, nullptr, [&board] { return board; });
    w.show();
    w.editor().F2_cfg_LostFocus("11 20");
    w.editor().F2_InAdr_LostFocus("80");
    w.editor().F2_OutAdr_LostFocus("40");
    w.DisplaySlave();
    EXPECT_EQ(w.findChild<QLineEdit *>("F2_In")->text(), "11 22 ");
    EXPECT_EQ(w.findChild<QLineEdit *>("F2_Out")->text(), "33 ");

    board = nullptr; // the board went away: the fields stay empty
    w.DisplaySlave();
    EXPECT_EQ(w.findChild<QLineEdit *>("F2_In")->text(), "");
}
