#include "core/context.h"
#include "slave/gsd.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QDir>

using namespace meridan;
using namespace meridan::test;

namespace {

// A fresh slave record at station 12 and a GSD file in ROOT/GSD.
struct Gsd : Fixture {
    std::vector<QString> meldung;
    GsdOutcome res;

    Gsd()
    {
        st.currentStation = 12;
        NewSlaveRecord(st);
    }

    // A device file: the "#Profibus_DP" head line, then `text`.
    GsdOutcome load(const QByteArray &text, const QString &name = QStringLiteral("TEST4711.GSD"))
    {
        return loadRaw("#Profibus_DP\n" + text, name);
    }
    GsdOutcome loadRaw(const QByteArray &bytes, const QString &name = QStringLiteral("TEST4711.GSD"))
    {
        QFile out(root.gsdDir() + QLatin1Char('/') + name);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        meldung.clear();
        res = LoadGSD(ctx, name, [this](const QString &s) { meldung.push_back(s); });
        return res;
    }
    const GsdTables &t() const { return st.gsd; }
    std::vector<int> userPrm() const
    {
        const SlaveLayout l = SlaveLayout::of(st.record);
        std::vector<int> v;
        for (int i = 0; i < l.u; ++i)
            v.push_back(st.record[33 + i]);
        return v;
    }
    std::vector<int> cfg() const
    {
        const SlaveLayout l = SlaveLayout::of(st.record);
        std::vector<int> v;
        for (int i = 0; i < l.c; ++i)
            v.push_back(st.record[l.cfgStart() + i]);
        return v;
    }
};

} // namespace

TEST(GsdReader, deviceTexts_areReadFromQuotesWithCommasAndLatin1Kept)
{
    Gsd g;
    g.loadRaw("#Profibus_DP\r\nVendor_Name = \"M\xFCller, Co. \x80\"\r\nModel_Name=\"Valve ; 3\"\r\n"
           "Hardware_Release = V1.2\r\nsoftware_release = \"SW 2\" ; a comment\r\n");
    EXPECT_TRUE(g.res.ok());
    EXPECT_EQ(g.t().vendor, QString::fromUtf8("M\u00FCller, Co. \u20AC"));
    EXPECT_EQ(g.t().model, QStringLiteral("Valve ; 3"));
    EXPECT_EQ(g.t().hardwareRelease, QStringLiteral("V1.2")); // unquoted: nothing cut
    EXPECT_EQ(g.t().softwareRelease, QStringLiteral("SW 2"));

    // A file that announces UTF-8 with a byte-order mark is read as UTF-8.
    Gsd u;
    u.loadRaw("\xEF\xBB\xBF#Profibus_DP\nVendor_Name = \"M\xC3\xBCller\"\n");
    EXPECT_EQ(u.t().vendor, QString::fromUtf8("M\u00FCller"));
}

TEST(GsdReader, identAndUserParameters_goIntoTheRecordWithTheGsdCode)
{
    Gsd g;
    g.load("Ident_Number = 0x80A0\nUser_Prm_Data_Len = 3\nUser_Prm_Data = 0x00,0x0A,3\n", QStringLiteral("abcd80a0.gsd"));
    EXPECT_EQ(g.st.record[30], 0x80);
    EXPECT_EQ(g.st.record[31], 0xA0);
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0x00, 0x0A, 0x03}));
    EXPECT_EQ(g.t().modulePrmLen(0), 3);
    const int code = 43 + 3;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&g.st.record.bytes[code]), 4), QByteArray("abcd"));
    EXPECT_TRUE(g.st.slave.gsdLoaded);
    EXPECT_EQ(ReadWord(g.st.record, 8), 126);
}

TEST(GsdReader, compactDevice_takesItsModuleIdentifiersAndNotUserPrmDataInsideTheBlock)
{
    Gsd g;
    g.load("User_Prm_Data_Len = 2\n"
           "Module = \"DI 8\" 0x10,0x20 \\\n"
           "        0x13\n"
           "User_Prm_Data = 0x05,0x06\n"
           "EndModule\n");
    EXPECT_EQ(g.t().moduleCount, 1);
    EXPECT_EQ(g.t().moduleLine(1), QStringLiteral("DI 8\" 0x10 0x20 0x13"));
    EXPECT_EQ(ModuleName(g.t().moduleLine(1)), QStringLiteral("DI 8"));
    EXPECT_EQ(g.cfg(), (std::vector<int>{0x10, 0x20, 0x13}));
    EXPECT_TRUE(g.userPrm().empty()); // a module's block has no device bytes
}

// Several real files put the device's parameter lines after the last
// EndModule; they are the device's, not the last module's.
TEST(GsdReader, deviceLinesAfterTheModuleBlocks_belongToTheDevice)
{
    Gsd g;
    g.load("Ident_Number = 0x8007\nModule = \"DTAST\" 0x13\nExt_Module_Prm_Data_Len = 1\n"
           "Ext_User_Prm_Data_Const(0) = 0x44\nExt_User_Prm_Data_Ref(0) = 1\nEndModule\n"
           "User_Prm_Data_Len = 3\nExt_User_Prm_Data_Const(0) = 0x01,0x02\nExt_User_Prm_Data_Ref(2) = 7\n"
           "User_Prm_Data = 9,8,7\nExt_Module_Prm_Data_Len = 5\n");
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.userPrm(), (std::vector<int>{9, 8, 7}));
    EXPECT_EQ(g.cfg(), (std::vector<int>{0x13}));
    EXPECT_EQ(g.t().modulePrmLen(0), 3);
    EXPECT_EQ(g.t().prmConst(0, 1), 0x02);
    EXPECT_EQ(g.t().prmRefCount(0), 1);
    EXPECT_EQ(g.t().prmRefNumber(0, 0), 7);
    EXPECT_EQ(g.t().modulePrmLen(1), 1); // a length outside any block changes no module
    EXPECT_EQ(g.t().prmConst(1, 0), 0x44);
    EXPECT_EQ(g.t().prmRefCount(1), 1);

    // The device's references go on after a module block.
    Gsd m;
    m.load("Modular_Station = 1\nExt_User_Prm_Data_Ref(0) = 1\nModule = \"A\" 0x10\nExt_User_Prm_Data_Ref(0) = 2\n"
           "EndModule\nExt_User_Prm_Data_Ref(1) = 3\n");
    EXPECT_EQ(m.t().prmRefCount(0), 2);
    EXPECT_EQ(m.t().prmRefNumber(0, 1), 3);
    EXPECT_EQ(m.t().prmRefCount(1), 1);
}

TEST(GsdReader, referencesPerBlock_haveNoLimitButTheirOffsetsStayInTheRecord)
{
    Gsd g;
    QByteArray text = "Modular_Station = 1\nModule = \"Big\" 0x10\n";
    for (int k = 0; k < 317; ++k)
        text += "Ext_User_Prm_Data_Ref(" + QByteArray::number(k % 240) + ") = " + QByteArray::number(k + 1) + "\n";
    g.load(text);
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.t().prmRefCount(1), 317);
    EXPECT_EQ(g.t().prmRefNumber(1, 316), 317);

    g.load("Ext_User_Prm_Data_Ref(240) = 1\n");
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: line 2: parameter offset out of range"));
}

TEST(GsdReader, thirtyTwoBitValues_keepTheirFullSignedAndUnsignedRange)
{
    Gsd g;
    g.load("ExtUserPrmData = 1 \"U32\"\nUnsigned32 0 0-4294967295\n"
           "ExtUserPrmData = 2 \"Limit\"\nUnsigned32 2147483647 2-2147483647\n"
           "ExtUserPrmData = 3 \"S32\"\nSigned32 -2147483648 -2147483648-2147483647\n"
           "ExtUserPrmData = 4 \"Pick\"\nUnsigned32 4294967295 0,65536,4294967295\n"
           "PrmText = 1\nText(4294967295) = \"all\"\nText(-2147483648) = \"lowest\"\n");
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.t().extPrm(1)->max, 4294967295LL);
    EXPECT_EQ(g.t().extPrm(2)->defaultValue, 2147483647);
    EXPECT_EQ(g.t().extPrm(2)->max, 2147483647);
    EXPECT_EQ(g.t().extPrm(3)->min, -2147483648LL);
    EXPECT_EQ(g.t().extPrm(4)->list, (std::vector<int64_t>{0, 65536, 4294967295LL}));
    EXPECT_EQ(g.t().lookUpText(1, 4294967295LL), QStringLiteral("all"));
    EXPECT_EQ(g.t().lookUpText(1, -2147483648LL), QStringLiteral("lowest"));
    EXPECT_EQ(g.t().lookUpText(1, -1), QStringLiteral("---"));
}

TEST(GsdReader, fortyThousandValueLines_areReadWhole)
{
    QByteArray values;
    for (int i = 0; i < 40000; ++i)
        values += (i ? "," : "") + QByteArray::number(i % 200 + 1);
    const std::vector<uint8_t> bytes = ModuleConfigBytes(QStringLiteral("Big\" ") + QString::fromLatin1(values));
    ASSERT_EQ(bytes.size(), 40000u);
    EXPECT_EQ(bytes.back(), 39999 % 200 + 1);
    int error = 0;
    EXPECT_EQ(GetParameterValue(QString::fromLatin1(values), 40000, error), 39999 % 200 + 1);
    EXPECT_EQ(error, 0);
}

TEST(GsdReader, fileThatIsNoGsdFile_isRefusedAndChangesNothing)
{
    Gsd g;
    g.load("Vendor_Name = \"Kept\"\nIdent_Number = 0x1234\nUser_Prm_Data_Len = 1\nUser_Prm_Data = 7\n");
    const Record before = g.st.record;
    QByteArray noise;
    for (int i = 0; i < 5000; ++i)
        noise += char((i * 7919) >> 3);
    const QByteArray notGsd[] = {
        "Read me first.\nThis folder holds the device files.\n", noise,
        "#Profibus_DP Vendor_Name = \"V\" Ident_Number = 0x1234", // no line ends at all
        "; Ident_Number = 0x1234\nModule = \"A\" 0x10\n",
    };
    for (const QByteArray &bytes : notGsd) {
        g.loadRaw(bytes, QStringLiteral("README.GSD"));
        EXPECT_EQ(g.res.kind, GsdOutcome::Kind::NotGsd);
        EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: not a GSD file"));
        EXPECT_EQ(g.meldung.back(), g.res.status);
        EXPECT_EQ(g.st.record.bytes, before.bytes);
        EXPECT_EQ(g.t().vendor, QStringLiteral("Kept"));
    }
    // An Ident_Number line alone marks a device file.
    g.loadRaw("Ident_Number = 0x1234\r\n", QStringLiteral("IDENT.GSD"));
    EXPECT_TRUE(g.res.ok());
}

// A stored station's file is read again whenever the editor opens it: its
// identifier bytes stay, also when the file lists several modules without
// saying it is modular.
TEST(GsdReader, storedStationsFileReadAgain_keepsItsIdentifierBytes)
{
    Gsd g;
    const QByteArray file = "Ident_Number = 0x00A7\nModule = \"A\" 0x10\nEndModule\nModule = \"B\" 0x20\nEndModule\n";
    g.load(file);
    EXPECT_TRUE(g.cfg().empty()); // read as modular
    RemoveCfg(g.st);
    g.st.slave.cfg[0] = 0x20;
    g.st.slave.cfg[1] = 0x10;
    g.st.slave.c = 2;
    InsertCfg(g.ctx);
    g.st.slave.gsdLoaded = false; // as after a program start
    g.load(file);
    EXPECT_EQ(g.cfg(), (std::vector<int>{0x20, 0x10}));
    EXPECT_EQ(g.t().modular, 1);
}

TEST(GsdReader, deviceConstants_buildTheUserParametersOnceOnly)
{
    Gsd g;
    g.load("User_Prm_Data_Len = 3\nExt_User_Prm_Data_Const(2) = 0x05,0x06\n");
    EXPECT_EQ(g.t().modulePrmLen(0), 4);
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0, 0, 5, 6}));

    // A second read of the record's file keeps what the user has set.
    g.st.record[35] = 0x77;
    g.load("User_Prm_Data_Len = 3\nExt_User_Prm_Data_Const(2) = 0x05,0x06\nUser_Prm_Data = 1,2,3\n");
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0, 0, 0x77, 6}));
}

TEST(GsdReader, storedRecordOpenedAfterStart_keepsDeviceAndModuleParameters)
{
    Gsd g;
    // A modular station as stored: ident set, 2 device bytes and 2 bytes of
    // a module's block behind them, edited by the user.
    g.st.record[30] = 0x12;
    g.st.record[31] = 0x34;
    RemoveUserPrm(g.st);
    for (int i = 0; i < 4; ++i)
        g.st.slave.prm[i] = uint8_t(0xA0 + i);
    g.st.slave.u = 4;
    InsertUserPrm(g.st);
    g.st.slave.gsdLoaded = false; // as after a program start

    g.load("Modular_Station = 1\nUser_Prm_Data_Len = 2\nUser_Prm_Data = 0,0\nExt_User_Prm_Data_Const(0) = 0x01,0x02\n"
           "Module = \"M\" 0x10\nExt_Module_Prm_Data_Len = 2\n");
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0xA0, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(g.t().prmConst(0, 1), 0x02); // the tables are read all the same
}

TEST(GsdReader, constantLines_keepEveryByteAndNeverWipeEarlierOnes)
{
    Gsd g;
    QByteArray many = "Ext_User_Prm_Data_Const(0) = ";
    for (int i = 0; i < 40; ++i)
        many += QByteArray::number(i + 1) + (i % 10 == 9 ? ",\\\n" : ",");
    many.chop(1);
    g.load("Ext_User_Prm_Data_Const(41) = 0x55\n" + many + "\n");
    EXPECT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.t().modulePrmLen(0), 42);
    EXPECT_EQ(g.t().prmConst(0, 39), 40);
    EXPECT_EQ(g.t().prmConst(0, 41), 0x55);
    EXPECT_EQ(g.userPrm().size(), 42u);
}

TEST(GsdReader, extUserPrmData_readsRangesListsSignsAndHex)
{
    Gsd g;
    g.load("ExtUserPrmData = 7 \"Mode\"\nBit(2) 1 0-1\nPrm_Text_Ref = 3\nEndExtUserPrmData\n"
           "ExtUserPrmData = 8 \"Pick\"\nUnsigned8 1 1,2,4\n"
           "ExtUserPrmData = 9 \"Rate\"\n; comment lines may come first\n\nUnsigned16 0x1f40 0x0000-0xffff\n"
           "ExtUserPrmData = 10 \"A very long parameter name that is cut\"\nSigned16 0 -27648-27648\n"
           "ExtUserPrmData = 11 \"Low\"\nSigned16 -5 -100--50\n");
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    const GsdExtPrm *p = g.t().extPrm(7);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, QStringLiteral("Bit(2)"));
    EXPECT_EQ(p->defaultValue, 1);
    EXPECT_EQ(p->min, 0);
    EXPECT_EQ(p->max, 1);
    EXPECT_EQ(p->textRef, 3);
    EXPECT_EQ(p->name, QStringLiteral("Mode").leftJustified(32));

    p = g.t().extPrm(8);
    EXPECT_EQ(p->min, 1);
    EXPECT_EQ(p->max, 4);
    EXPECT_EQ(p->list, (std::vector<int64_t>{1, 2, 4}));

    p = g.t().extPrm(9);
    EXPECT_EQ(p->defaultValue, 8000);
    EXPECT_EQ(p->max, 0xFFFF);

    p = g.t().extPrm(10);
    EXPECT_EQ(p->name, QStringLiteral("A very long parameter name that "));
    EXPECT_EQ(p->min, -27648);
    EXPECT_EQ(p->max, 27648);

    p = g.t().extPrm(11);
    EXPECT_EQ(p->defaultValue, -5);
    EXPECT_EQ(p->min, -100);
    EXPECT_EQ(p->max, -50);
    EXPECT_EQ(g.t().extPrm(12), nullptr);
    EXPECT_EQ(g.t().extPrmName(12), QString(32, QLatin1Char(' ')));
}

TEST(GsdReader, textLists_takeHexIndexesAndLargeNumbers)
{
    Gsd g;
    g.load("Text(4) = \"before any list\"\nPrmText = 65535\nText(0xC90F) = \"hex\"\nText(-1)=\"minus\"\n"
           "ExtUserPrmData = 65535 \"Last\"\nUnsigned8 0 0-3\nPrm_Text_Ref = 65535\n");
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.t().prmTextString(0, 0), QStringLiteral("before any list"));
    EXPECT_EQ(g.t().prmTextValue(0, 0), 4);
    EXPECT_EQ(g.t().prmTextValue(65535, 0), 0xC90F);
    EXPECT_EQ(g.t().lookUpText(65535, -1), QStringLiteral("minus"));
    EXPECT_EQ(g.t().lookUpText(65535, 7), QStringLiteral("---"));
    EXPECT_EQ(g.t().prmTextLast(65535), 1);
    EXPECT_EQ(g.t().prmTextString(65535, 2), QStringLiteral("---"));
    EXPECT_EQ(g.t().extPrm(65535)->textRef, 65535);

    // A list keeps its first 128 texts.
    QByteArray many = "PrmText = 3\n";
    for (int i = 0; i < 130; ++i)
        many += "Text(" + QByteArray::number(i) + ") = \"t" + QByteArray::number(i) + "\"\n";
    g.load(many);
    EXPECT_EQ(g.t().prmTextLast(3), 127);
    EXPECT_EQ(g.t().lookUpText(3, 129), QStringLiteral("---"));
}

TEST(GsdReader, numbersAbove65535_stopTheReadWithTheirErrorText)
{
    Gsd g;
    g.load("PrmText = 65536\nText(1) = \"never\"\n");
    EXPECT_EQ(g.res.kind, GsdOutcome::Kind::Stopped);
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: PrmText > 65535"));
    EXPECT_EQ(g.meldung.back(), g.res.status);
    EXPECT_EQ(g.pump.sleptMs, 1000);
    EXPECT_EQ(g.t().prmTextLast(0), -1);
    EXPECT_TRUE(g.st.slave.gsdLoaded);

    Gsd h;
    h.load("ExtUserPrmData = 70000 \"x\"\nUnsigned8 0 0-1\n");
    EXPECT_EQ(h.res.status, QStringLiteral("Error in GSD-File: ExtUserPrmData > 65535"));
    EXPECT_TRUE(h.t().extPrms().empty());
}

TEST(GsdReader, lineEnds_crLfCrAndLfEachEndALine)
{
    for (const QByteArray &eol : {QByteArray("\r\n"), QByteArray("\r"), QByteArray("\n")}) {
        Gsd g;
        g.load("Vendor_Name = \"V\"" + eol + "Ident_Number = 0x1234" + eol + "Model_Name = \"M\"" + eol);
        EXPECT_EQ(g.t().vendor, QStringLiteral("V"));
        EXPECT_EQ(g.t().model, QStringLiteral("M"));
        EXPECT_EQ(g.st.record[30], 0x12);
        EXPECT_EQ(g.meldung.size(), 4u);
    }
}

TEST(GsdReader, comments_neitherContinueLinesNorCutQuotedText)
{
    Gsd g;
    g.load(";--- a comment ending in a continuation mark \\\nVendor_Name = \"A;B\" ; trailing \\\n"
           "Model_Name = \"M\"\n");
    EXPECT_EQ(g.t().vendor, QStringLiteral("A;B"));
    EXPECT_EQ(g.t().model, QStringLiteral("M"));
}

TEST(GsdReader, keywords_matchInAnyCase)
{
    Gsd g;
    g.load("IDENT_NUMBER = 0x0B0D\nmodular_station = 1\nMODULE = \"X\" 0x10\nprmtext=2\ntext(1)=\"one\"\n");
    EXPECT_EQ(g.st.record[31], 0x0D);
    EXPECT_EQ(g.t().modular, 1);
    EXPECT_EQ(g.t().moduleCount, 1);
    EXPECT_TRUE(g.cfg().empty()); // modular: the user picks modules
    EXPECT_EQ(g.t().prmTextString(2, 0), QStringLiteral("one"));
}

TEST(GsdReader, secondModuleOfCompactDevice_makesItModular)
{
    Gsd g;
    g.load("Module = \"A\" 0x10\nEndModule\nModule = \"B\" 0x20\nEndModule\nModule = \"C\" 0x30\nEndModule\n");
    EXPECT_TRUE(g.res.ok());
    EXPECT_EQ(g.t().modular, 1);
    EXPECT_EQ(g.t().moduleCount, 3);
    EXPECT_TRUE(g.cfg().empty());
    // The error stays the last word: the lines read after it do not replace it.
    EXPECT_EQ(g.meldung.back(), QStringLiteral("Error in GSD-File: multiple modules"));
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: multiple modules"));
    EXPECT_EQ(g.pump.sleptMs, 1000);
}

TEST(GsdReader, moduleBlocks_keepTheirLengthConstantsAndReferences)
{
    Gsd g;
    g.load("Modular_Station = 1\nExt_User_Prm_Data_Ref(0) = 1\n"
           "Module = \"AI 2\" 0x51\n1\nExt_User_Prm_Data_Ref(1) = 5\nExt_Module_Prm_Data_Len = 3\n"
           "Ext_User_Prm_Data_Const(0) = 0x34,0x01\nExt_User_Prm_Data_Ref(2) = 6\nEndModule\n"
           "Module = \"AI 4\" 0x53\nExt_User_Prm_Data_Ref(0) = 7\n");
    EXPECT_EQ(g.t().prmRefNumber(0, 0), 1);
    // A module's references start at its first row, with or without a length line.
    EXPECT_EQ(g.t().prmRefCount(1), 1);
    EXPECT_EQ(g.t().prmRefOffset(1, 0), 2);
    EXPECT_EQ(g.t().prmRefNumber(1, 0), 6);
    EXPECT_EQ(g.t().modulePrmLen(1), 3);
    EXPECT_EQ(g.t().prmConst(1, 1), 0x01);
    EXPECT_EQ(g.t().prmRefNumber(2, 0), 7);
    EXPECT_TRUE(g.userPrm().empty()); // module constants stay out of the record
}

TEST(GsdReader, module511_stopsWithTooManyModules)
{
    Gsd g;
    QByteArray text = "Modular_Station = 1\n";
    for (int i = 1; i <= 600; ++i)
        text += "Module = \"M" + QByteArray::number(i) + "\" 0x10\n";
    g.load(text);
    EXPECT_EQ(g.res.kind, GsdOutcome::Kind::Stopped);
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: too many modules"));
    EXPECT_EQ(g.t().moduleCount, 511);
    EXPECT_EQ(g.t().moduleLine(510), QStringLiteral("M510\" 0x10"));
    EXPECT_EQ(g.res.line, 513);
}

TEST(GsdReader, everyRead_startsFromEmptyTables)
{
    Gsd g;
    g.load("Vendor_Name = \"A\"\nModular_Station = 1\nModule = \"X\" 0x10\nPrmText = 5\nText(1) = \"t\"\n"
           "ExtUserPrmData = 4 \"p\"\nUnsigned8 0 0-1\n");
    NewSlaveRecord(g.st);
    g.load("Model_Name = \"B\"\n", QStringLiteral("OTHER.GSD"));
    EXPECT_TRUE(g.t().vendor.isEmpty());
    EXPECT_EQ(g.t().moduleCount, 0);
    EXPECT_EQ(g.t().modular, 0);
    EXPECT_EQ(g.t().moduleLine(1), QString());
    EXPECT_EQ(g.t().prmTextLast(5), -1);
    EXPECT_EQ(g.t().extPrm(4), nullptr);
}

TEST(GsdReader, fileLookup_prefersRootGsdThenTheChosenFolderInAnyCase)
{
    Gsd g;
    QDir().mkpath(g.file(QStringLiteral("chosen")));
    g.st.configFileName = g.file(QStringLiteral("chosen/AutoLoad.dp1"));
    g.write(QStringLiteral("chosen/dev1.gsd"), "#Profibus_DP\nModel_Name = \"from the chosen folder\"\n");
    EXPECT_EQ(LoadGSD(g.ctx, QStringLiteral("DEV1.GSD")).kind, GsdOutcome::Kind::Done);
    EXPECT_EQ(g.t().model, QStringLiteral("from the chosen folder"));

    // A stub of 10 bytes in ROOT/GSD does not count.
    g.write(QStringLiteral("GSD/Dev1.Gsd"), "0123456789");
    LoadGSD(g.ctx, QStringLiteral("DEV1.GSD"));
    EXPECT_EQ(g.t().model, QStringLiteral("from the chosen folder"));

    g.write(QStringLiteral("GSD/Dev1.Gsd"), "#Profibus_DP\nModel_Name = \"from root\"\n");
    LoadGSD(g.ctx, QStringLiteral("DEV1.GSD"));
    EXPECT_EQ(g.t().model, QStringLiteral("from root"));
}

TEST(GsdReader, missingFile_resetsTablesAndCountsAsLoaded)
{
    Gsd g;
    g.load("Vendor_Name = \"A\"\n");
    NewSlaveRecord(g.st);
    const GsdOutcome res = LoadGSD(g.ctx, QStringLiteral("----0000.GSD"));
    EXPECT_EQ(res.kind, GsdOutcome::Kind::NotFound);
    EXPECT_TRUE(g.t().vendor.isEmpty());
    EXPECT_TRUE(g.st.slave.gsdLoaded);
    EXPECT_TRUE(g.ui.shown.empty());
}

TEST(GsdReader, tooManyIdentifierBytes_leaveTheRecordWithoutThem)
{
    Gsd g;
    QByteArray line = "Module = \"Big\"";
    for (int i = 0; i < 64; ++i)
        line += " 0x10";
    g.load(line + "\n");
    EXPECT_TRUE(g.cfg().empty());
    EXPECT_EQ(g.meldung.back(), QStringLiteral("Error: too much Config data !"));

    int count = 0;
    g.st.language = kGerman;
    std::vector<QString> seen;
    EXPECT_FALSE(AddConfig(g.ctx, g.t().moduleLine(1), count, [&](const QString &s) { seen.push_back(s); }));
    EXPECT_EQ(seen.back(), QStringLiteral("Fehler: Config-Data zu lang !"));
}

TEST(GsdReader, badAndImpossibleValues_stopAtTheirLineKeepingWhatWasRead)
{
    struct Case {
        const char *text;
        int line; // within `text`; the head line comes first
    } cases[] = {
        {"Vendor_Name = \"V\"\nIdent_Number = 12AB\n", 2},              // letters in a decimal
        {"Vendor_Name = \"V\"\nIdent_Number = 99999999999999999999\n", 2}, // beyond 32 bits
        {"Vendor_Name = \"V\"\nIdent_Number = 0x1FFFF\n", 2},           // beyond 16 bits
        {"Vendor_Name = \"V\"\nIdent_Number = -99999999999\n", 2},      // a sign is no ident
        {"Vendor_Name = \"V\"\nPrmText = -3\n", 2},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8 1\n", 3}, // type line ends early
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\n", 2},          // file ends instead
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned32 -99999999999 0x1FFFFFFFF-99999999999\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8 1 0-300\n", 3}, // beyond the type
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nSigned8 0 -129-0\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nBit(2) 0 0-2\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8 1 1,2,256\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned16 5 9-3\n", 3},  // minimum above maximum
        {"Vendor_Name = \"V\"\nText(abc) = \"x\"\n", 2},
        {"Vendor_Name = \"V\"\nText(4294967296) = \"x\"\n", 2},
        {"Vendor_Name = \"V\"\nExt_User_Prm_Data_Const(0) = 0x100\n", 2},
    };
    for (const Case &c : cases) {
        Gsd g;
        g.load(c.text);
        EXPECT_EQ(g.res.kind, GsdOutcome::Kind::Stopped) << c.text;
        EXPECT_EQ(g.res.line, c.line + 1) << c.text;
        EXPECT_TRUE(g.res.status.startsWith(QStringLiteral("Error in GSD-File: line %1: ").arg(c.line + 1))) << g.res.status.toStdString();
        EXPECT_EQ(g.t().vendor, QStringLiteral("V"));
        EXPECT_FALSE(g.st.slave.gsdLoaded);
    }
    Gsd g;
    g.load("ExtUserPrmData = 1 \"x\"\nUnsigned16 5 9-3\n");
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: line 3: minimum 9 above maximum 3"));
}

TEST(GsdReader, malformedFiles_endQuietlyWithoutHarm)
{
    QByteArray junk;
    for (int i = 0; i < 70000; ++i)
        junk += char((i * 7919) >> 3);
    const QByteArray huge = "Vendor_Name = \"" + QByteArray(100000, 'x') + "\"\n";
    const QByteArray endsInContinuation = "Module = \"A\" 0x10 \\\n   \\\n";
    for (const QByteArray &text : {junk, huge, endsInContinuation, QByteArray("="), QByteArray("\\"), QByteArray()}) {
        Gsd g;
        g.load(text);
        SlaveLayout l;
        EXPECT_NO_THROW(l = SlaveLayout::of(g.st.record));
        EXPECT_LE(8 + ReadWord(g.st.record, 8), 511);
    }
    Gsd g;
    g.load(huge);
    EXPECT_EQ(g.t().vendor.size(), 100000);
}

TEST(GsdReader, everyLine_isShownAsItIsRead)
{
    Gsd g;
    g.loadRaw("#Profibus_DP\nGSD_Revision = 2\nModel_Name = \"M\"\n");
    EXPECT_EQ(g.meldung, (std::vector<QString>{QStringLiteral("#Profibus_DP"), QStringLiteral("GSD_Revision = 2"),
                                                QStringLiteral("Model_Name = \"M\"")}));
    EXPECT_EQ(g.pump.sleptMs, 1000); // the revision line stays a second
}

TEST(GsdParameterValue, itemsAreNumbersSeparatedByBlanksTabsOrCommas)
{
    int err = 0;
    EXPECT_EQ(GetParameterValue(QStringLiteral("  12\t0x1F, 7"), 1, err), 12);
    EXPECT_EQ(GetParameterValue(QStringLiteral("  12\t0x1F, 7"), 2, err), 0x1F);
    EXPECT_EQ(GetParameterValue(QStringLiteral("  12\t0x1F, 7"), 3, err), 7);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(GetParameterValue(QStringLiteral("12 "), 2, err), 0);
    EXPECT_EQ(err, 1);
    err = 0;
    EXPECT_EQ(GetParameterValue(QStringLiteral("-5"), 1, err), 0);
    EXPECT_EQ(err, 1);
    EXPECT_THROW(GetParameterValue(QStringLiteral("1A"), 1, err), GsdError);
    EXPECT_THROW(GetParameterValue(QStringLiteral("0x1FFFFFFFF"), 1, err), GsdError);
    EXPECT_EQ(GetParameterValue(QStringLiteral("0xFFFFFFFF"), 1, err), 0xFFFFFFFFLL);
}

TEST(GsdGetNum, readsThe32BitRangesFromTheScanPositionAndStopsOnTheFirstOtherCharacter)
{
    const QString line = QStringLiteral("Unsigned32  4294967295 -2147483648 0xFFFFFFFF x");
    int pos = 10;
    EXPECT_EQ(GetNum(line, pos), 4294967295LL);
    EXPECT_EQ(GetNum(line, pos), -2147483648LL);
    EXPECT_EQ(GetNum(line, pos), 0xFFFFFFFFLL);
    EXPECT_EQ(GetNum(line, pos), 0); // "x" is no number and stays put
    EXPECT_EQ(line[pos], QLatin1Char('x'));
    pos = line.size();
    EXPECT_THROW(GetNum(line, pos), GsdError);
    for (const char *beyond : {"4294967296", "-2147483649", "0x100000000", "123456789012"}) {
        pos = 0;
        EXPECT_THROW(GetNum(QString::fromLatin1(beyond), pos), GsdError) << beyond;
    }
}
