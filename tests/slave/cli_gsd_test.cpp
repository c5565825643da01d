// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fixture.h"
#include "support/golden.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QRegularExpression>

using namespace meridan::test;

namespace {

struct GsdRun : CliRun {
    QJsonObject json;
};

GsdRun Cli(const QStringList &args, const QString &workDir = {})
{
    GsdRun r{RunCli(args, 60000, workDir), {}};
    r.json = QJsonDocument::fromJson(r.out).object();
    return r;
}

GsdRun Gsd(const QStringList &args) { return Cli(QStringList{QStringLiteral("gsd")} + args); }

} // namespace

// Device files of golden/ (the reader's forms: quotes, comments, line ends,
// keywords in any case, Latin-1 or UTF-8 text, continued lines, device lines
// after the modules, references, constants, 32-bit values, text lists) read
// for station 12: the tables and the record compared whole.
TEST(CliGsd, deviceFiles_printTheirTablesAndRecord)
{
    const QString dir = QStringLiteral(MERIDAN_SOURCE_DIR "/tests/slave/golden");
    // A read that stopped prints what it read, and exits 1.
    for (const auto &[name, code] : {std::pair{"texts", 0}, {"bom", 0}, {"abcd80a0", 0}, {"compact", 0}, {"after", 0},
                                     {"modules", 0}, {"constants", 0}, {"extprm", 0}, {"textlists", 0}, {"valv80a0", 0},
                                     {"stopped", 1}, {"readme", 1}}) {
        const GsdRun r = Cli({QStringLiteral("gsd"), QStringLiteral("--station"), QStringLiteral("12"), name + QStringLiteral(".gsd")}, dir);
        EXPECT_EQ(r.code, code) << name;
        QJsonObject o = r.json;
        QByteArray record; // as hex, to be read at a glance
        for (const QJsonValue &b : o[QStringLiteral("record")].toArray())
            record += char(b.toInt());
        o[QStringLiteral("record")] = QString::fromLatin1(record.toHex(' '));
        const QString text = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented))
                                 .replace(QRegularExpression(QStringLiteral("\\n *(-?\\d+,?)(?=\\n)")), QStringLiteral(" \\1"));
        ExpectGolden(QStringLiteral("slave/golden/%1.json").arg(QLatin1String(name)), text.toUtf8());
    }
}

TEST(CliGsdCheck, exitSaysWhetherThereWereErrors_unreadableFilesExit2)
{
    const QString fixtures = QStringLiteral(MERIDAN_SOURCE_DIR "/tests/slave/gsdcheck");
    const GsdRun clean = Cli({QStringLiteral("gsd-check"), QStringLiteral("clean.gsd")}, fixtures);
    EXPECT_EQ(clean.code, 0);
    EXPECT_EQ(clean.out, "clean.gsd:1: note: line ends: CR LF\nclean.gsd:1: note: ASCII text\nclean.gsd: 0 errors, 0 warnings, 2 notes\n");
    const GsdRun both = Cli({QStringLiteral("gsd-check"), QStringLiteral("clean.gsd"), QStringLiteral("refused.gsd")}, fixtures);
    EXPECT_EQ(both.code, 1);
    EXPECT_TRUE(both.out.contains("refused.gsd: 4 errors, 1 warning, 2 notes"));
    EXPECT_EQ(Cli({QStringLiteral("gsd-check"), QStringLiteral("none.gsd")}, fixtures).code, 2);
    EXPECT_EQ(Cli({QStringLiteral("gsd-check")}).code, 2);
    Fixture f; // gsd: a file that cannot be read, a folder, no file at all
    for (const QStringList &args : {QStringList{f.file(QStringLiteral("none.gsd"))}, QStringList{f.tmp.path()}, QStringList{}})
        EXPECT_EQ(Gsd(args).code, 2) << args.join(' ').toStdString();
}

TEST(CliCatalogue, listsTheFolderAsATableOrJson)
{
    Fixture f;
    f.write(QStringLiteral("GSD/VALV80A0.GSE"), "#Profibus_DP\nVendor_Name = \"Acme\"\nModel_Name = \"Valve\"\nRevision = \"V2\"\nIdent_Number = 0x80A0\n");
    f.write(QStringLiteral("GSD/io.gsd"), "#Profibus_DP\nVendor_Name = \"Test Works\"\nModel_Name = \"Block IO\"\nIdent_Number = 0x4711\n");
    const QStringList root{QStringLiteral("--root"), f.tmp.path()};
    const GsdRun table = Cli(root + QStringList{QStringLiteral("catalogue")});
    EXPECT_EQ(table.code, 0);
    EXPECT_EQ(table.out, "IDENT  VENDOR      MODEL     REVISION  FILE\n"
                         "4711   Test Works  Block IO            io.gsd\n"
                         "80A0   Acme        Valve     V2        VALV80A0.GSE\n");
    const GsdRun json = Cli(root + QStringList{QStringLiteral("catalogue"), QStringLiteral("--json"), f.root.gsdDir()});
    EXPECT_EQ(json.code, 0);
    const QJsonArray files = json.json[QStringLiteral("files")].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[1].toObject()[QStringLiteral("ident")].toString(), QStringLiteral("80A0"));
    EXPECT_EQ(files[1].toObject()[QStringLiteral("revision")].toString(), QStringLiteral("V2"));
    EXPECT_EQ(Cli(root + QStringList{QStringLiteral("catalogue"), f.file(QStringLiteral("none"))}).code, 2);
}

// Every real device file: checked and catalogued with exit 0 (each one is
// read by the reader's own test).
TEST(CliGsdCheck, everyRealFile_isReadCheckedAndCatalogued)
{
    const QDir dir(SharedGsdDir());
    QStringList files;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        if (QRegularExpression(QStringLiteral("\\.gs[a-z]$"), QRegularExpression::CaseInsensitiveOption).match(name).hasMatch())
            files << name;
    if (files.isEmpty())
        GTEST_SKIP() << "no GSD files in " << SharedGsdDir().toStdString();
    Fixture f;
    const GsdRun check = Cli(QStringList{QStringLiteral("gsd-check")} + files, dir.path());
    EXPECT_EQ(check.code, 0) << check.out.toStdString();
    EXPECT_EQ(check.out.count(" errors, "), files.size());
    const GsdRun cat = Cli({QStringLiteral("--root"), f.tmp.path(), QStringLiteral("catalogue"), QStringLiteral("--json"), dir.path()});
    EXPECT_EQ(cat.code, 0);
    const QJsonArray listed = cat.json[QStringLiteral("files")].toArray();
    EXPECT_EQ(listed.size(), files.size());
    for (const QJsonValue &e : listed)
        EXPECT_EQ(e.toObject()[QStringLiteral("ident")].toString().size(), 4) << e.toObject()[QStringLiteral("file")].toString().toStdString();
}
