#include "report_support.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace meridan::test {
namespace {

struct LocaleGuard {
    QLocale saved;
    explicit LocaleGuard(const QLocale &l) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(saved); }
};

QStringList SlavePage(Fixture &f, int station)
{
    return SlavePageLines(f.ctx, station, f.st.image.slot(station));
}

TEST(Printout, withoutSlaves_onePageEndingInOptionsEmptyLineAndEnd)
{
    Fixture f;
    PutMaster(f.st, 3);
    f.st.image.at(0, 27) = 0x80; // AutoClear on
    f.st.configFileName = QStringLiteral("/plant/line4.dp1");
    EXPECT_EQ(BuildPrintout(f.ctx, kPrintDate).pages.size(), 1u);
    ExpectGolden(QStringLiteral("no_slaves_en.txt"), PrintedText(f));
}

TEST(Printout, demoConfiguration_english)
{
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    WriteDemoGsdFiles(f);
    f.st.configFileName = QStringLiteral("ROOT/setup/AutoLoad.dp1");
    EXPECT_EQ(BuildPrintout(f.ctx, kPrintDate).pages.size(), 5u);
    ExpectGolden(QStringLiteral("demo_en.txt"), PrintedText(f));
}

TEST(Printout, demoConfiguration_germanTextsAndDecimalComma)
{
    Fixture f;
    LocaleGuard de(QLocale(QLocale::German, QLocale::Germany));
    f.st.language = kGerman;
    BuildDemoConfiguration(f.ctx);
    WriteDemoGsdFiles(f);
    const QString text = PrintedText(f);
    // 7000 tbit at 1.5 Mbit/s; the plain numbers keep their point.
    EXPECT_TRUE(text.contains(QStringLiteral("   TSL ....................... : 4,667 ms\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("   MinS ...................... : 2.5 ms\n")));
    ExpectGolden(QStringLiteral("demo_de.txt"), text);
}

TEST(Printout, baudCodes8And9_editorTextsAndBitTimes_unknownCodeAsNumberAndZeroMs)
{
    const struct {
        int code;
        const char *baud, *tsl, *trt;
    } cases[] = {
        {8, " 6,0  MBaud", "0.167", "16.667"},
        {9, "12,0  MBaud", "0.083", "8.333"},
        {12, " 12", "0.000", "0.000"},
    };
    for (const auto &c : cases) {
        Fixture f;
        PutMaster(f.st, c.code);
        f.st.image.at(0, 12) = 0x03; // TSL 1000
        f.st.image.at(0, 13) = 0xE8;
        const QStringList page = BuildPrintout(f.ctx, kPrintDate).pages[0];
        EXPECT_EQ(page[13], QStringLiteral("   Baudrate .................. :") + QLatin1String(c.baud));
        EXPECT_EQ(page[15], QStringLiteral("   TSL ....................... : ") + QLatin1String(c.tsl) + QStringLiteral(" ms"));
        EXPECT_EQ(page[20], QStringLiteral("   TRT ....................... : ") + QLatin1String(c.trt) + QStringLiteral(" ms"));
    }
}

TEST(Printout, threeParameterBytes_firstConfigLineWrapsAfterFive)
{
    Fixture f;
    PutMaster(f.st, 6);
    PutSlave(f, 33, 0x0815, "ABCD", {0x01, 0x02, 0x03}, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
    const QStringList page = SlavePage(f, 33);
    const QString indent(34, QLatin1Char(' '));
    const int at = int(page.indexOf(QStringLiteral("   Parameter ................. :  01 02 03 ")));
    ASSERT_GT(at, 0);
    EXPECT_EQ(page[at - 1], QStringLiteral("   Parameter Length .......... :  3 "));
    const int cfg = int(page.indexOf(QStringLiteral("   Config Code ............... :  11 12 13 14 15 ")));
    ASSERT_GT(cfg, at);
    EXPECT_EQ(page[cfg + 1], indent + QStringLiteral("16 17 "));
    EXPECT_EQ(page[cfg + 2], QStringLiteral("   Module :"));
    // 131 bytes of an empty record, plus U and C.
    EXPECT_EQ(page.last(), QStringLiteral("   Length of Slave Record     :  141"));
}

TEST(Printout, moduleNumbers_pickTheirGsdEntries_alsoAbove254)
{
    Fixture f;
    PutMaster(f.st, 6);
    PutSlave(f, 12, 0x00AA, "MODU", {}, {0x10}, {2, 300, 1});
    QByteArray gsd = "Vendor_Name = \"M\"\r\n";
    for (int m = 1; m <= 300; ++m)
        gsd += "Module = \"Module " + QByteArray::number(m) + "\" 0x10\r\nEndModule\r\n";
    WriteGsd(f, QStringLiteral("MODU00AA.GSD"), gsd);
    const QStringList page = SlavePage(f, 12);
    const int at = int(page.indexOf(QStringLiteral("   Module :")));
    ASSERT_GT(at, 0);
    EXPECT_EQ(page.mid(at + 1, 4), QStringList({QStringLiteral("           1 --> Module 2"),
                                                QStringLiteral("           2 --> Module 300"),
                                                QStringLiteral("           3 --> Module 1"), QString()}));
}

TEST(Printout, missingGsdFile_noKeyLinesAndNothingCreated)
{
    Fixture f;
    PutMaster(f.st, 6);
    PutSlave(f, 12, 0x4711, "NONE", {}, {0x10});
    const QStringList page = SlavePage(f, 12);
    EXPECT_EQ(page[6], QStringLiteral("   GSD-File .................. : ") + f.root.gsdDir() + QStringLiteral("/NONE4711.GSD"));
    EXPECT_EQ(page[7], QString());
    EXPECT_TRUE(page[8].startsWith(QStringLiteral("   User Name")));
    EXPECT_TRUE(QDir(f.root.gsdDir()).entryList(QDir::Files).isEmpty());
}

TEST(Printout, gsdKeyLines_anyLineEnd_quotesTabsAndUnquotedValues)
{
    const QStringList expected = {
        QStringLiteral("   Vendor Name ............... : Acme, Inc."),
        QStringLiteral("   Model Name ................ : Valve 8"),
        QStringLiteral("   Hardware Release .......... : Rev"),
        QStringLiteral("   Software Release .......... : 1.2"),
        QStringLiteral("   Ident Number .............. : 80A0"),
    };
    for (const char *eol : {"\n", "\r", "\r\n"}) {
        QByteArray text = "; Ident_Number = 0x1111\n"
                          "Vendor_Name = \"Acme, Inc.\"\n\tModel_Name\t=\t\"Valve 8\" ; comment\n"
                          "Hardware_Release = Rev\nSoftware_Release = 1.2\"\n=Model_Name = x\n"
                          "Ident_Number = 0x80A0\nModule = \"DI 8\" 0x10\nModule = Plain\n";
        text.replace("\n", eol);
        const GsdKeyLines keys = ReadGsdKeyLines(text);
        EXPECT_EQ(keys.lines, expected) << QByteArray(eol).toHex().constData();
        EXPECT_EQ(keys.modules, QStringList({QStringLiteral("DI 8"), QStringLiteral("Plain")}));
    }
}

TEST(Printout, worksOnCopies_andReportsEachOutcome)
{
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    f.st.record.bytes.fill(0x5A);
    f.st.currentStation = 55;
    const Record buffer = f.st.record;
    const QStringList results = {QStringLiteral("Printing O.K.: /x.pdf"), QStringLiteral("Printing cancelled"),
                                 QStringLiteral("Printing failed: no paper")};
    const PrintOutcome outcomes[] = {{PrintOutcome::Kind::Done, QStringLiteral("/x.pdf")},
                                     {PrintOutcome::Kind::Cancelled, {}},
                                     {PrintOutcome::Kind::Failed, QStringLiteral("no paper")}};
    for (int i = 0; i < 3; ++i) {
        f.ui.statuses.clear();
        std::size_t pages = 0;
        PrintConfiguration(f.ctx, [&](const Printout &p) {
            pages = p.pages.size();
            return outcomes[i];
        });
        EXPECT_EQ(pages, 5u);
        EXPECT_EQ(f.ui.statuses, std::vector<QString>({QStringLiteral("Printing Configuration"), results[i]}));
    }
    EXPECT_EQ(f.st.record, buffer);
    EXPECT_EQ(f.st.currentStation, 55);
}

TEST(Printout, damagedRecord_endsItsPageWithANote)
{
    Fixture f;
    PutMaster(f.st, 6);
    PutSlave(f, 12, 0x4711, "ABCD", {}, {0x10});
    f.st.image.at(12, 25) = 255; // U = 246 and C = 253: the blocks after them lie outside the record
    f.st.image.at(12, 280) = 255;
    const Printout p = BuildPrintout(f.ctx, kPrintDate);
    ASSERT_EQ(p.pages.size(), 2u);
    EXPECT_EQ(p.pages[1][p.pages[1].size() - 3], QStringLiteral("   Error: the record is damaged"));
    EXPECT_EQ(p.pages[1].last(), QStringLiteral("-End-"));
}

} // namespace
} // namespace meridan::test
