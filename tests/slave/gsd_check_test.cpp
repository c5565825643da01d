// SPDX-License-Identifier: GPL-3.0-or-later
// The compatibility report, compared whole with the expected report: small
// device files beside this test that each carry a few findings, and one
// built here for what the reader cuts.
#include "slave/gsd_check.h"
#include "support/fixture.h"

#include <QDir>

using namespace meridan;
using namespace meridan::test;

namespace {

const QString kFixtures = QStringLiteral(MERIDAN_SOURCE_DIR "/tests/slave/gsdcheck");

} // namespace

TEST(GsdCheck, fixtureFiles_giveTheirExpectedReports)
{
    const QStringList files = QDir(kFixtures).entryList({QStringLiteral("*.gsd")}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 6);
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        const QString report = GsdCheckReport(name, CheckGsdBytes(ReadFile(kFixtures + QLatin1Char('/') + name)));
        const QString expected = QString::fromUtf8(ReadFile(kFixtures + QLatin1Char('/') + QFileInfo(name).completeBaseName() + ".expected"));
        EXPECT_EQ(report.toStdString(), expected.toStdString());
    }
}

TEST(GsdCheck, whatTheReaderCutsOrRefuses_isReportedWhereItHappens)
{
    QByteArray g = "#Profibus_DP\nVendor_Name = \"Test Works\"\nMax_Module = 80\nPrmText = 7\n";
    for (int i = 0; i < 130; ++i) // all kept: the default's text is found
        g += "Text(" + QByteArray::number(i) + ") = \"t\"\n";
    g += "EndPrmText\nExtUserPrmData = 1 \"Late text\"\nUnsigned8 129 0-255\nPrm_Text_Ref = 7\nExtUserPrmData = 2 \"Many\"\nUnsigned16 0 0";
    for (int i = 1; i < 257; ++i)
        g += "," + QByteArray::number(i);
    g += "\n";
    for (int m = 1; m <= 511; ++m) {
        g += "Module = \"M" + QByteArray::number(m) + "\" 0x10\n";
        for (int r = 0; m == 2 && r < 25; ++r)
            g += "Ext_User_Prm_Data_Ref(" + QByteArray::number(r) + ") = 1\n";
        g += "EndModule\n";
    }
    g += "Ident_Number = 0x4716\n";
    const QString expected = QString::fromUtf8(ReadFile(kFixtures + QStringLiteral("/cuts.expected")));
    EXPECT_EQ(GsdCheckReport(QStringLiteral("cuts.gsd"), CheckGsdBytes(g)).toStdString(), expected.toStdString());
}

TEST(GsdCheck, moduleNames_stateLengthsTheWaysRealFilesWriteThem)
{
    struct Case {
        const char *name;
        int input, output; // -2: the name states nothing
    } cases[] = {
        {"8 Byte IN, 8 Byte OUT", 8, 8},
        {"IN/OUT:  32 Byte (16 word)", 32, 32},
        {"Byte: 128 IN/OUT", 128, 128},
        {"1 Byte DI/consistency 1 Byte", 1, -1},
        {"2 Word AI/AO/consistency 1 Word", 4, 4},
        {"Write 40 bits(Coils)", -1, 5},
        {"Read 9 Words(HoldRegs)", 18, -1},
        {"VS120 1 byte + 16 word I/O", 33, 33},
        {"4/16 Bytes Out/In Byte Con", 16, 4},
        {"6ES7 321-1BH00-0AA0       16DI", -2, -2},
        {"PPO 4:   0 PKW , 6 PZD", -2, -2},
        {"505-6010 32 Input Simulator", -2, -2},
    };
    for (const Case &c : cases) {
        const std::optional<StatedLengths> s = LengthsInModuleName(QString::fromLatin1(c.name));
        if (c.input == -2) {
            EXPECT_FALSE(s) << c.name;
            continue;
        }
        ASSERT_TRUE(s) << c.name;
        EXPECT_EQ(s->input, c.input) << c.name;
        EXPECT_EQ(s->output, c.output) << c.name;
    }
}
