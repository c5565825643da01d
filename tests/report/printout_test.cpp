// SPDX-License-Identifier: GPL-3.0-or-later
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
    QByteArray gsd;
    for (int m = 1; m <= 300; ++m)
        gsd += "Module = \"Module " + QByteArray::number(m) + "\" 0x10\r\nEndModule\r\n";
    WriteGsd(f, QStringLiteral("MODU00AA.GSD"), gsd);
    ExpectGolden(QStringLiteral("report/golden/slave12_modules.txt"), SlavePage(f, 12));
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
