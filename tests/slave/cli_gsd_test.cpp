#include "support/fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace meridan::test;

namespace {

struct CliRun {
    int code = -1;
    QJsonObject json;
    QByteArray err;
};

CliRun Gsd(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(MERIDAN_BINARY_DIR "/src/meridan-cli"), QStringList{QStringLiteral("gsd")} + args);
    p.waitForFinished(20000);
    return {p.exitCode(), QJsonDocument::fromJson(p.readAllStandardOutput()).object(), p.readAllStandardError()};
}

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
    const CliRun r = Gsd({QStringLiteral("--station"), QStringLiteral("12"), f.file(QStringLiteral("VALV80A0.gsd"))});
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
    const CliRun r = Gsd({f.file(QStringLiteral("bad.gsd"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.json[QStringLiteral("status")].toString(), QStringLiteral("Error in GSD-File: PrmText > 65535"));
    EXPECT_FALSE(r.json[QStringLiteral("complete")].toBool());
    EXPECT_EQ(r.json[QStringLiteral("vendor")].toString(), QStringLiteral("Acme"));
    EXPECT_TRUE(r.err.contains("PrmText > 65535"));

    const CliRun none = Gsd({f.file(QStringLiteral("readme.gsd"))});
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
