// SPDX-License-Identifier: GPL-3.0-or-later
// The PDF is checked with poppler's pdftotext, which shares nothing with the
// writer: sheets and their text as it extracts them.
#include "config/configfile.h"
#include "report/render.h"
#include "report_support.h"

#include <QProcess>
#include <algorithm>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace meridan::test {
namespace {

#define REQUIRE_POPPLER()                                                                              \
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())                         \
    GTEST_SKIP() << "pdftotext (poppler-utils) not found"

QString RunTool(const QString &tool, const QStringList &args, const QStringList &unset = {}, int *code = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &v : unset)
        env.remove(v);
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.waitForFinished(30000);
    if (code)
        *code = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of each sheet, runs of blanks folded to one.
QStringList Sheets(const QString &pdf)
{
    QStringList sheets = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                             .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    for (QString &s : sheets)
        s = s.simplified();
    return sheets;
}

QString Written(Fixture &f)
{
    const QString path = f.file(QStringLiteral("out.pdf"));
    EXPECT_EQ(WritePdf(BuildPrintout(f.ctx, kPrintDate), path).kind, PrintOutcome::Kind::Done);
    return path;
}

TEST(PrintPdf, sheetPerSlave_keyLines_centredArea_longPageOnAnotherSheet)
{
    REQUIRE_POPPLER();
    Fixture f;
    DemoWithGsdFiles(f);
    std::vector<int> modules(64, 1); // a page longer than a sheet
    PutSlave(f, 50, 0x4711, "EASY", {}, {0x31}, modules);
    const QString pdf = Written(f);
    const QStringList s = Sheets(pdf);
    ASSERT_EQ(s.size(), 7);
    EXPECT_TRUE(s[0].contains(QStringLiteral("Baudrate .................. : 1,5 MBaud TSL ....................... : 7000 TBit")));
    EXPECT_TRUE(s[1].contains(QStringLiteral("Stationaddress ............ : 12")));
    EXPECT_TRUE(s[5].startsWith(QStringLiteral("ZEL Meridan")));
    EXPECT_FALSE(s[6].contains(QStringLiteral("ZEL Meridan")));
    EXPECT_TRUE(s[6].contains(QStringLiteral("64 --> DIO 16")));
    EXPECT_TRUE(s[6].endsWith(QStringLiteral("-End-")));
    const QString boxes = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const auto m = QRegularExpression(QStringLiteral("xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>ZEL<")).match(boxes);
    ASSERT_TRUE(m.hasMatch());
    // A4 is 595.3 x 841.9 pt, the area 450 x 725 pt; the title is its fourth line.
    EXPECT_NEAR(m.captured(1).toDouble(), (595.28 - 450.0) / 2, 1.0);
    EXPECT_GT(m.captured(2).toDouble(), (841.89 - 725.0) / 2 + 24);
    EXPECT_LT(m.captured(2).toDouble(), (841.89 - 725.0) / 2 + 48);
}

// A sheet takes as many lines as fit in the print area, and not one more: the
// slot of the last line on every sheet ends inside the area. Measured on the
// glyph boxes poppler finds, against the area's place on A4.
TEST(PrintPdf, everySheetEndsInsideThePrintArea)
{
    REQUIRE_POPPLER();
    Fixture f;
    DemoWithGsdFiles(f);
    PutSlave(f, 50, 0x4711, "EASY", {}, {0x31}, std::vector<int>(64, 1));
    PutSlave(f, 60, 0x4711, "EASY", {}, {0x31}, std::vector<int>(64, 1));
    const QString boxes = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), Written(f), QStringLiteral("-")});
    const double areaTop = (841.89 - 725.0) / 2, areaBottom = areaTop + 725.0;
    // The distinct line tops of each sheet, and the top of the first slave
    // page's title, which stands in the area's first line.
    std::vector<std::vector<double>> sheets;
    double titleTop = -1;
    static const QRegularExpression word(QStringLiteral("yMin=\"([\\d.]+)\"[^>]*>([^<]*)<"));
    for (const QString &page : boxes.split(QStringLiteral("<page")).mid(1)) {
        std::vector<double> all, tops;
        for (auto it = word.globalMatch(page); it.hasNext();) {
            const auto m = it.next();
            all.push_back(m.captured(1).toDouble());
            if (sheets.size() == 1 && titleTop < 0 && m.captured(2) == QLatin1String("ZEL"))
                titleTop = all.back();
        }
        std::sort(all.begin(), all.end());
        for (double top : all)
            if (tops.empty() || top - tops.back() > 0.5)
                tops.push_back(top);
        sheets.push_back(tops);
    }
    ASSERT_EQ(sheets.size(), 9u);
    ASSERT_GT(titleTop, areaTop);
    double pitch = 1e9;
    for (const auto &tops : sheets)
        for (std::size_t i = 1; i < tops.size(); ++i)
            pitch = std::min(pitch, tops[i] - tops[i - 1]);
    ASSERT_GT(pitch, 5.0);
    int full = 0;
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const double slotEnd = sheets[s].back() - (titleTop - areaTop) + pitch;
        EXPECT_LE(slotEnd, areaBottom + 0.5) << "sheet " << s + 1;
        full += slotEnd > areaBottom - pitch; // no room for another line
    }
    EXPECT_EQ(full, 2); // the long pages' first sheets
}

// meridan-cli print as a script runs it: no display, no platform chosen.
TEST(CliPrint, textAndPdf_headless_sameAsTheWindowPrints)
{
    Fixture f;
    DemoWithGsdFiles(f);
    const QString dp1 = f.root.path(QStringLiteral("setup/AutoLoad.dp1"));
    ASSERT_TRUE(SaveConfigFile(f.ctx, dp1));
    f.st.configFileName = dp1;
    f.st.language = kGerman;
    const QString cli = QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli");
    const QStringList headless = {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM")};
    const QStringList print = {QStringLiteral("--root"), f.root.dir(), QStringLiteral("print"), dp1};
    int code = -1;
    const QString text = RunTool(cli, print + QStringList{QStringLiteral("--lang"), QStringLiteral("de")}, headless, &code);
    EXPECT_EQ(code, 0);
    // The date is the clock's; everything else is the line model's.
    const QRegularExpression date(QStringLiteral("Date : [^\n]*"));
    EXPECT_EQ(QString(text).replace(date, QString()).toStdString(),
              PrintoutText(BuildPrintout(f.ctx, kPrintDate)).replace(date, QString()).toStdString());

    REQUIRE_POPPLER();
    const QString pdf = f.file(QStringLiteral("cli.pdf"));
    RunTool(cli, print + QStringList{QStringLiteral("--pdf"), pdf}, headless, &code);
    EXPECT_EQ(code, 0);
    const QStringList s = Sheets(pdf);
    ASSERT_EQ(s.size(), 6);
    EXPECT_TRUE(s[0].contains(QStringLiteral("Master and Busparameter")));
}

} // namespace
} // namespace meridan::test
