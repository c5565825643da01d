// The PDF is checked with poppler's tools, which share nothing with the
// writer: pages as pdfinfo counts them, text as pdftotext extracts it.
#include "config/configfile.h"
#include "report/render.h"
#include "report_support.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace meridan::test {
namespace {

bool HavePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

#define REQUIRE_POPPLER()                                                                   \
    if (!HavePoppler())                                                                     \
    GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) not found"

QString RunTool(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PageCount(const QString &pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(RunTool(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The text of each sheet, runs of blanks folded to one.
QStringList SheetTexts(const QString &pdf)
{
    QStringList sheets = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                             .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    for (QString &s : sheets)
        s = s.simplified();
    return sheets;
}

QString Written(Fixture &f, const QString &name)
{
    const QString path = f.file(name);
    const PrintOutcome out = WritePdf(BuildPrintout(f.ctx, kPrintDate), path);
    EXPECT_EQ(out.kind, PrintOutcome::Kind::Done) << out.detail.toStdString();
    return path;
}

TEST(PrintPdf, demo_masterSheetThenOnePerSlave_withTheirKeyLines)
{
    REQUIRE_POPPLER();
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    WriteDemoGsdFiles(f);
    const QString pdf = Written(f, QStringLiteral("demo.pdf"));
    EXPECT_EQ(PageCount(pdf), 5);
    const QStringList sheets = SheetTexts(pdf);
    ASSERT_EQ(sheets.size(), 5);
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("Master and Busparameter Busparameter:")));
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("Baudrate .................. : 1,5 MBaud")));
    EXPECT_TRUE(sheets[0].contains(QStringLiteral("TSL ....................... : 4.667 ms")));
    EXPECT_TRUE(sheets[1].contains(QStringLiteral("Stationaddress ............ : 12")));
    EXPECT_TRUE(sheets[1].contains(QStringLiteral("Vendor Name ............... : Easy Automation, Inc.")));
    EXPECT_TRUE(sheets[1].contains(QStringLiteral("Config Code ............... : 31")));
    EXPECT_TRUE(sheets[2].contains(QStringLiteral("Ident Number .............. : C0DE")));
    EXPECT_TRUE(sheets[4].contains(QStringLiteral("Stationaddress ............ : 40")));
    EXPECT_TRUE(sheets[4].endsWith(QStringLiteral("-End-")));
}

TEST(PrintPdf, textAreaIsCentredOnTheSheet)
{
    REQUIRE_POPPLER();
    Fixture f;
    PutMaster(f.st, 6);
    const QString pdf = Written(f, QStringLiteral("master.pdf"));
    const QString html = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const auto m = QRegularExpression(QStringLiteral("xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>ZEL<")).match(html);
    ASSERT_TRUE(m.hasMatch()) << html.left(500).toStdString();
    // A4 is 595.3 x 841.9 pt, the area 450 x 725 pt; the title is the fourth line.
    EXPECT_NEAR(m.captured(1).toDouble(), (595.28 - 450.0) / 2, 1.0);
    EXPECT_GT(m.captured(2).toDouble(), (841.89 - 725.0) / 2 + 24);
    EXPECT_LT(m.captured(2).toDouble(), (841.89 - 725.0) / 2 + 48);
}

TEST(PrintPdf, slavePageLongerThanASheet_goesOnToTheNext)
{
    REQUIRE_POPPLER();
    Fixture f;
    PutMaster(f.st, 6);
    std::vector<int> modules;
    for (int m = 1; m <= 64; ++m)
        modules.push_back(m);
    PutSlave(f, 12, 0x4711, "LONG", {}, {0x10}, modules);
    const QString pdf = Written(f, QStringLiteral("long.pdf"));
    EXPECT_EQ(PageCount(pdf), 3);
    const QStringList sheets = SheetTexts(pdf);
    ASSERT_EQ(sheets.size(), 3);
    EXPECT_TRUE(sheets[1].startsWith(QStringLiteral("ZEL Meridan")));
    EXPECT_FALSE(sheets[2].contains(QStringLiteral("ZEL Meridan")));
    EXPECT_TRUE(sheets[2].contains(QStringLiteral("64 -->")));
    EXPECT_TRUE(sheets[2].endsWith(QStringLiteral("-End-")));
}

TEST(PrintPdf, unwritableTarget_failsAndLeavesNothing)
{
    Fixture f;
    PutMaster(f.st, 6);
    const PrintOutcome out = WritePdf(BuildPrintout(f.ctx, kPrintDate), f.file(QStringLiteral("no/such/dir/x.pdf")));
    EXPECT_EQ(out.kind, PrintOutcome::Kind::Failed);
    EXPECT_FALSE(out.detail.isEmpty());
}

// meridan-cli print, as a script runs it: no display, no platform chosen.
struct Cli {
    int code = -1;
    QByteArray out, err;
};

Cli RunCli(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(v));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), args);
    p.waitForFinished(30000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

TEST(CliPrint, textAndPdf_headless_sameAsTheWindowPrints)
{
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    WriteDemoGsdFiles(f);
    const QString dp1 = f.root.path(QStringLiteral("setup/AutoLoad.dp1"));
    ASSERT_TRUE(SaveConfigFile(f.ctx, dp1));
    f.st.configFileName = dp1;
    const QStringList root = {QStringLiteral("--root"), f.root.dir(), QStringLiteral("print")};

    const Cli de = RunCli(root + QStringList{dp1, QStringLiteral("--lang"), QStringLiteral("de")});
    ASSERT_EQ(de.code, 0) << de.err.toStdString();
    f.st.language = kGerman;
    // The date is the clock's; everything else is the line model's.
    const QRegularExpression date(QStringLiteral("Date : [^\n]*"));
    QString expected = PrintoutText(BuildPrintout(f.ctx, kPrintDate));
    EXPECT_EQ(QString::fromUtf8(de.out).replace(date, QString()).toStdString(), expected.replace(date, QString()).toStdString());
    EXPECT_EQ(de.out.count('\f'), 4);

    if (!HavePoppler())
        GTEST_SKIP() << "pdfinfo (poppler-utils) not found";
    const QString pdf = f.file(QStringLiteral("cli.pdf"));
    const Cli r = RunCli(root + QStringList{dp1, QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(PageCount(pdf), 5);
    EXPECT_TRUE(SheetTexts(pdf)[0].contains(QStringLiteral("Master and Busparameter")));
}

TEST(CliPrint, badUse_exitsWith2)
{
    Fixture f;
    for (const QStringList &args : {QStringList{QStringLiteral("print")},
                                    QStringList{QStringLiteral("print"), f.file(QStringLiteral("none.dp1"))},
                                    QStringList{QStringLiteral("print"), QStringLiteral("x.dp1"), QStringLiteral("--lang"), QStringLiteral("fr")}}) {
        const Cli r = RunCli(args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

} // namespace
} // namespace meridan::test
