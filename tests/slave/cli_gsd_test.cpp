#include "support/fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>

using namespace meridan::test;

namespace {

struct GsdRun {
    int code = -1;
    QJsonObject json;
    QByteArray err;
    QByteArray out;
};

GsdRun Cli(const QStringList &args, const QString &workDir = {})
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), args);
    p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    return {p.exitCode(), QJsonDocument::fromJson(out).object(), p.readAllStandardError(), out};
}

GsdRun Gsd(const QStringList &args) { return Cli(QStringList{QStringLiteral("gsd")} + args); }

} // namespace

TEST(CliGsd, compactDevice_printsItsTablesAndRecord)
{
    Fixture f;
    f.write(QStringLiteral("VALV80A0.gsd"),
            "Vendor_Name = \"Acme\"\nModel_Name = \"Valve\"\nHardware_Release = \"1\"\nSoftware_Release = \"2\"\n"
            "Ident_Number = 0x80A0\nUser_Prm_Data_Len = 1\nUser_Prm_Data = 0x07\n"
            "PrmText = 1\nText(0) = \"off\"\nText(1) = \"on\"\n"
            "ExtUserPrmData = 3 \"Mode\"\nBit(0) 1 0-1\nPrm_Text_Ref = 1\n"
            "Module = \"DI 8\" 0x10\nExt_User_Prm_Data_Ref(0) = 3\nEndModule\n");
    const GsdRun r = Gsd({QStringLiteral("--station"), QStringLiteral("12"), f.file(QStringLiteral("VALV80A0.gsd"))});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject &o = r.json;
    EXPECT_EQ(o[QStringLiteral("vendor")].toString(), QStringLiteral("Acme"));
    EXPECT_EQ(o[QStringLiteral("ident")].toString(), QStringLiteral("80A0"));
    EXPECT_EQ(o[QStringLiteral("user_prm_data")].toArray(), QJsonArray({7}));
    EXPECT_EQ(o[QStringLiteral("modular")].toInt(), 0);
    const QJsonObject mod = o[QStringLiteral("modules")].toArray().at(0).toObject();
    EXPECT_EQ(mod[QStringLiteral("name")].toString(), QStringLiteral("DI 8"));
    EXPECT_EQ(mod[QStringLiteral("cfg")].toArray(), QJsonArray({0x10}));
    EXPECT_EQ(mod[QStringLiteral("refs")].toArray().at(0).toObject()[QStringLiteral("number")].toInt(), 3);
    const QJsonObject def = o[QStringLiteral("ext_user_prm_data")].toArray().at(0).toObject();
    EXPECT_EQ(def[QStringLiteral("name")].toString(), QStringLiteral("Mode"));
    EXPECT_EQ(def[QStringLiteral("type")].toString(), QStringLiteral("Bit(0)"));
    EXPECT_EQ(def[QStringLiteral("text_ref")].toInt(), 1);
    const QJsonArray texts = o[QStringLiteral("prm_texts")].toArray().at(0).toObject()[QStringLiteral("entries")].toArray();
    EXPECT_EQ(texts.at(1).toObject()[QStringLiteral("text")].toString(), QStringLiteral("on"));

    const QJsonArray record = o[QStringLiteral("record")].toArray();
    ASSERT_EQ(record.size(), 8 + 35 + 1 + 1 + 88);
    EXPECT_EQ(record.at(3).toInt(), 12);
    EXPECT_EQ(record.at(33).toInt(), 7);
    EXPECT_EQ(record.at(36).toInt(), 0x10);
    EXPECT_EQ(record.at(45).toInt(), 'V'); // GSD code from the file name
    EXPECT_TRUE(o[QStringLiteral("complete")].toBool());
}

TEST(CliGsd, readThatStopped_printsWhatWasReadAndExits1)
{
    Fixture f;
    f.write(QStringLiteral("bad.gsd"), "#Profibus_DP\nVendor_Name = \"Acme\"\nPrmText = 70000\n");
    f.write(QStringLiteral("readme.gsd"), "Unpack the files into the GSD folder.\n");
    const GsdRun r = Gsd({f.file(QStringLiteral("bad.gsd"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json[QStringLiteral("status")].toString(), QStringLiteral("Error in GSD-File: PrmText > 65535"));
    EXPECT_FALSE(r.json[QStringLiteral("complete")].toBool());
    EXPECT_EQ(r.json[QStringLiteral("vendor")].toString(), QStringLiteral("Acme"));
    EXPECT_TRUE(r.err.contains("PrmText > 65535"));

    const GsdRun none = Gsd({f.file(QStringLiteral("readme.gsd"))});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.json[QStringLiteral("status")].toString(), QStringLiteral("Error in GSD-File: not a GSD file"));
}

TEST(CliGsd, unreadableFile_exits2)
{
    Fixture f;
    EXPECT_EQ(Gsd({f.file(QStringLiteral("none.gsd"))}).code, 2);
    EXPECT_EQ(Gsd({f.tmp.path()}).code, 2);
    EXPECT_EQ(Gsd({}).code, 2);
}

TEST(CliGsdCheck, exitSaysWhetherThereWereErrors)
{
    const QString fixtures = QStringLiteral(MERIDAN_SOURCE_DIR "/tests/slave/gsdcheck");
    const GsdRun clean = Cli({QStringLiteral("gsd-check"), QStringLiteral("clean.gsd")}, fixtures);
    EXPECT_EQ(clean.code, 0);
    EXPECT_EQ(clean.out, "clean.gsd:1: note: line ends: CR LF\nclean.gsd:1: note: ASCII text\nclean.gsd: 0 errors, 0 warnings, 2 notes\n");
    const GsdRun both = Cli({QStringLiteral("gsd-check"), QStringLiteral("clean.gsd"), QStringLiteral("refused.gsd")}, fixtures);
    EXPECT_EQ(both.code, 1);
    EXPECT_TRUE(both.out.contains("refused.gsd: 7 errors, 1 warning, 2 notes"));
    EXPECT_EQ(Cli({QStringLiteral("gsd-check"), QStringLiteral("none.gsd")}, fixtures).code, 2);
    EXPECT_EQ(Cli({QStringLiteral("gsd-check")}).code, 2);
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

// Every real device file: read, checked and catalogued with exit 0.
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
    for (const QString &name : files)
        EXPECT_EQ(Gsd({dir.filePath(name)}).code, 0) << name.toStdString();
}
