// SPDX-License-Identifier: GPL-3.0-or-later
#include "master/buscheck.h"
#include "report_support.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace meridan::test {
namespace {

// A slave's page as text, the temporary root folder written as "ROOT".
QByteArray SlavePage(Fixture &f, int station)
{
    return SlavePageLines(f.ctx, station, f.st.image.slot(station)).join(QLatin1Char('\n')).replace(f.root.dir(), QStringLiteral("ROOT")).toUtf8();
}

TEST(Printout, withoutSlaves_onePageEndingInOptionsAndEnd_baudCodesBeyondTheTable)
{
    Fixture f;
    PutDemoMaster(f.st, 8); // 6 Mbit/s: the editor's text and bit time
    f.st.image.at(0, 27) = 0x80; // AutoClear on
    f.st.configFileName = QStringLiteral("/plant/line4.dp1");
    EXPECT_EQ(BuildPrintout(f.ctx, kPrintDate).pages.size(), 1u);
    ExpectGolden(QStringLiteral("report/golden/no_slaves_en.txt"), PrintedText(f).toUtf8());
    f.st.image.at(0, 11) = 12; // unknown to the editor: the code, and no times
    const QStringList page = BuildPrintout(f.ctx, kPrintDate).pages[0];
    EXPECT_EQ(page.mid(13, 3), QStringList({QStringLiteral("   Baudrate .................. : 12"),
                                            QStringLiteral("   TSL ....................... : 1000 TBit"),
                                            QStringLiteral("   TSL ....................... : 0.000 ms")}));
}

TEST(Printout, demoConfiguration_englishAndGerman_withDecimalComma)
{
    Fixture f;
    DemoWithGsdFiles(f);
    f.st.configFileName = QStringLiteral("ROOT/setup/AutoLoad.dp1");
    ExpectGolden(QStringLiteral("report/golden/demo_en.txt"), PrintedText(f).toUtf8());
    // Stations 30 and 40 have no device file: no key lines, and none is created.
    EXPECT_EQ(QDir(f.root.gsdDir()).entryList(QDir::Files).size(), 2);
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    f.st.language = kGerman;
    const QString text = PrintedText(f);
    QLocale::setDefault(saved);
    ExpectGolden(QStringLiteral("report/golden/demo_de.txt"), text.toUtf8());
}

// Three parameter bytes; seven identifier bytes wrap after the fifth; the
// record's length is 131 + U + C. Module numbers pick their GSD entries, also above 254.
TEST(Printout, slavePages_wrapTheConfigLineAfterFive_moduleNumbersPickTheirGsdEntries)
{
    Fixture f;
    PutSlave(f, 33, 0x0815, "ABCD", {0x01, 0x02, 0x03}, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
    ExpectGolden(QStringLiteral("report/golden/slave33_wrap.txt"), SlavePage(f, 33));
    PutSlave(f, 12, 0x00AA, "MODU", {}, {0x10}, {2, 300, 1});
    QByteArray gsd = "#Profibus_DP\r\n";
    for (int m = 1; m <= 300; ++m)
        gsd += "Module = \"Module " + QByteArray::number(m) + "\" 0x10\r\nEndModule\r\n";
    WriteGsd(f, QStringLiteral("MODU00AA.GSD"), gsd);
    ExpectGolden(QStringLiteral("report/golden/slave12_modules.txt"), SlavePage(f, 12));

    // An empty byte between two modules does not end the list; each is
    // numbered by its place. A station above 100 is named at the end.
    const int list = SlaveLayout::of(f.st.image.slot(12)).userData() + kModuleListAt;
    for (const auto &[at, module] : {std::pair{0, 1}, {1, 0}, {2, 2}, {3, 0}})
        f.st.image.at(12, list + at) = uint8_t(module);
    const QStringList page = SlavePageLines(f.ctx, 12, f.st.image.slot(12));
    const int modules = int(page.indexOf(QStringLiteral("   Module :")));
    EXPECT_EQ(page.mid(modules + 1, 3), QStringList({QStringLiteral("           1 --> Module 1"),
                                                     QStringLiteral("           3 --> Module 2"), QString()}));
    PutSlave(f, 1, 0x00AA, "MODU", {}, {0x10});
    PutSlave(f, 105, 0x00AA, "MODU", {}, {0x10});
    EXPECT_EQ(BuildPrintout(f.ctx, kPrintDate).pages.back().last(4),
              QStringList({QStringLiteral("   Station 1 is never downloaded: the download starts at station 2"),
                           QStringLiteral("   Station 105 is never downloaded: the download stops at station 100"), QString(),
                           QStringLiteral("-End-")}));
}

// The printout names the device file the bus check reads: by code and ident
// in any case and with any GSD extension, or from the catalogue by its ident.
TEST(Printout, gsdFileLine_namesTheFileTheBusCheckReads)
{
    for (const char *name : {"pump4711.gse", "PUMP4711.GSG", "pump station.gsd"}) {
        SCOPED_TRACE(name);
        Fixture f;
        PutSlave(f, 12, 0x4711, "PUMP", {}, {0x10});
        WriteGsd(f, QString::fromLatin1(name), "#Profibus_DP\nVendor_Name = \"Acme\"\nIdent_Number = 0x4711\n");
        DeviceFiles files;
        const GsdDevice *d = files.of(f.ctx, 12);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->path, f.root.gsdDir() + QLatin1Char('/') + QLatin1String(name));
        const QStringList page = SlavePageLines(f.ctx, 12, f.st.image.slot(12));
        EXPECT_TRUE(page.contains(QStringLiteral("   GSD-File .................. : ") + d->path));
        EXPECT_TRUE(page.contains(QStringLiteral("   Vendor Name ............... : Acme")));
    }
}

TEST(Printout, worksOnCopies_andReportsEachOutcome)
{
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    f.st.record.bytes.fill(0x5A);
    f.st.currentStation = 55;
    const Record buffer = f.st.record;
    using K = PrintOutcome::Kind;
    const std::pair<PrintOutcome, const char *> cases[] = {{{K::Done, QStringLiteral("/x.pdf")}, "Printing O.K.: /x.pdf"},
                                                           {{K::Cancelled, {}}, "Printing cancelled"},
                                                           {{K::Failed, QStringLiteral("no paper")}, "Printing failed: no paper"}};
    for (const auto &c : cases) {
        const PrintOutcome &outcome = c.first; // a lambda cannot capture a structured binding in clang 14
        const char *status = c.second;
        f.ui.statuses.clear();
        std::size_t pages = 0;
        PrintConfiguration(f.ctx, [&](const Printout &p) { return pages = p.pages.size(), outcome; });
        EXPECT_EQ(pages, 6u);
        EXPECT_EQ(f.ui.statuses, std::vector<QString>({QStringLiteral("Printing Configuration"), QString::fromLatin1(status)}));
    }
    EXPECT_EQ(f.st.record, buffer);
    EXPECT_EQ(f.st.currentStation, 55);
}

TEST(Printout, damagedRecord_endsItsPageWithANote)
{
    Fixture f;
    PutSlave(f, 12, 0x4711, "ABCD", {}, {0x10});
    f.st.image.at(12, 25) = 255; // U = 246 and C = 253: the blocks after them lie outside the record
    f.st.image.at(12, 280) = 255;
    const Printout p = BuildPrintout(f.ctx, kPrintDate);
    ASSERT_EQ(p.pages.size(), 2u);
    EXPECT_EQ(p.pages[1].mid(p.pages[1].size() - 3, 1), QStringList(QStringLiteral("   Error: the record is damaged")));
}

} // namespace
} // namespace meridan::test
