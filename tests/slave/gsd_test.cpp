// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/context.h"
#include "slave/ext_prm_editor.h"
#include "slave/gsd.h"
#include "slave/record.h"
#include "slave/slave_editor.h"
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
        write(QStringLiteral("GSD/") + name, bytes);
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

GsdParse Parse(const char *text) { return ParseGsd(QByteArray("#Profibus_DP\n") + text); }
std::vector<uint8_t> Bytes(std::span<const uint8_t> run) { return {run.begin(), run.end()}; }

} // namespace

// A file cut short, or one that never says which device it is, reads as
// far as it goes and stops there; a module whose block the file cuts off is
// not taken, so a compact station gets no half identifier bytes.
TEST(GsdFile, truncatedOrIdentlessFile_stopsAtItsLastLineNamingTheFault)
{
    const struct Case {
        const char *text;
        int line;
        const char *reason;
    } cases[] = {
        {"Ident_Number = 0x4711\nModule = \"DI 8\" 0x1", 3, "the file ends inside module \"DI 8\""},
        {"Ident_Number = 0x4711\nModule = \"DI 8\" 0x10 \\\n  \n", 3, "the file ends inside a line"},
        {"Ident_Number = 0x4711\nVendor_Name = \"Acme In", 3, "the file ends inside a line"},
        {"Ident_Number = 0x4711\nPrmText = 1\nText(0) = \"off\"\r\n", 4, "the file ends inside PrmText 1"},
        {"Ident_Number = 0x4711\nExtUserPrmData = 7 \"x\"\nUnsigned8 0 0-1\n", 4, "the file ends inside ExtUserPrmData 7"},
        {"Ident_Number = 0x4711\nExtUserPrmData = 7 \"x\"\n; comment\n", 3, "the file ends before the data type line"},
        {"Vendor_Name = \"V\"\nModule = \"A\" 0x10\nEndModule\n", 4, "no Ident_Number"},
    };
    for (const Case &c : cases) {
        const GsdParse p = Parse(c.text);
        ASSERT_TRUE(p.error) << c.text;
        EXPECT_EQ(p.error->line, c.line) << c.text;
        EXPECT_EQ(p.error->reason, QString::fromLatin1(c.reason)) << c.text;
    }
    for (const Case &c : {cases[0], cases[1]})
        EXPECT_TRUE(Parse(c.text).file.modules.empty()) << c.text;
    // The last line of a file may lack its line end.
    EXPECT_TRUE(Parse("Ident_Number = 0x4711\nModule = \"DI 8\" 0x10\nEndModule").ok());

    Gsd g;
    g.load(cases[0].text);
    EXPECT_EQ(g.res.kind, GsdOutcome::Kind::Stopped);
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: line 3: the file ends inside module \"DI 8\""));
    EXPECT_EQ(g.res.line, 3);
    EXPECT_TRUE(g.cfg().empty());
}

// A number beyond 32 bits stops the read wherever it stands: in an index,
// in a module's identifier bytes, in a key the editor does not use.
TEST(GsdFile, numberBeyond32Bits_stopsTheReadAtItsLine)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Text(4294967296) = \"x\"\n", "index beyond 32 bits"},
        {"Any_Key(99999999999) = 1\n", "index beyond 32 bits"},
        {"Ext_User_Prm_Data_Const(-2147483649) = 1\n", "index beyond 32 bits"},
        {"Module = \"A\" 0x10,0x100000000\n", "number beyond 32 bits"},
        {"Max_Module = 99999999999\n", "number beyond 32 bits"},
        {"MaxTsdr_1.5M = 4294967296\n", "number beyond 32 bits"},
    };
    for (const auto &[text, reason] : cases) {
        const GsdParse p = Parse(text);
        ASSERT_TRUE(p.error) << text;
        EXPECT_EQ(p.error->line, 2) << text;
        EXPECT_EQ(p.error->reason, QString::fromLatin1(reason)) << text;
    }
    // Within 32 bits a module's odd byte only makes the module unusable.
    const GsdParse p = Parse("Ident_Number = 1\nModule = \"A\" 0x100\nEndModule\nModule = \"B\" 0x10\nEndModule\n");
    EXPECT_TRUE(p.ok());
    EXPECT_EQ(p.file.modules[0].cfgError, QStringLiteral("an identifier byte is above 255"));
    EXPECT_EQ(Bytes(p.file.modules[1].cfg), std::vector<uint8_t>{0x10});
}

TEST(GsdFile, oneDigitHexValues_andContinuedLines_readAsWritten)
{
    const GsdParse p = ParseGsd("#Profibus_DP\r\nIdent_Number = 0x5\r\nModule = \"A\" 0x10\\\r\n0x20 \\\r\n   0x5\r\nEndModule\r\n");
    ASSERT_TRUE(p.ok()) << p.error->reason.toStdString();
    EXPECT_EQ(p.file.ident, 5);
    ASSERT_EQ(p.file.modules.size(), 1u);
    EXPECT_EQ(Bytes(p.file.modules[0].cfg), (std::vector<uint8_t>{0x10, 0x20, 0x05}));
}

// A station configured from its file gets the parameters the file defines:
// each referenced field at its default, over the constants (a bit, a bit
// area, a byte, a 16-bit word). A stored record opened again keeps its bytes.
TEST(GsdReader, newStationAndAddedModule_takeTheDefaults_storedRecordReopenedKeepsItsBytes)
{
    Gsd g;
    g.write(QStringLiteral("GSD/TEST4711.GSD"),
            "#Profibus_DP\nIdent_Number = 0x4711\nModular_Station = 1\n" // the fields lay out the device's bytes
            "Ext_User_Prm_Data_Const(0) = 0xF0\nExt_User_Prm_Data_Ref(0) = 1\n"
            "Ext_User_Prm_Data_Ref(1) = 2\nExt_User_Prm_Data_Ref(2) = 3\n"
            "ExtUserPrmData = 1 \"bit\"\nBit(3) 1 0-1\nEndExtUserPrmData\n"
            "ExtUserPrmData = 2 \"byte\"\nUnsigned8 85 0-255\nEndExtUserPrmData\n"
            "ExtUserPrmData = 3 \"word\"\nUnsigned16 4660 0-65535\nEndExtUserPrmData\n"
            "ExtUserPrmData = 4 \"area\"\nBitArea(4-6) 5 0-7\nEndExtUserPrmData\n"
            "Module = \"M\" 0x10\nExt_Module_Prm_Data_Len = 3\nExt_User_Prm_Data_Const(0) = 0xFF,0x00,0x00\n"
            "Ext_User_Prm_Data_Ref(0) = 4\nExt_User_Prm_Data_Ref(1) = 3\nEndModule\n");
    SlaveEditor ed(g.ctx);
    ed.Form_Activate();
    g.ui.files.push_back(g.root.gsdDir() + QStringLiteral("/TEST4711.GSD"));
    ed.GSD_Click(QStringLiteral("0"), QStringLiteral("Pump"));
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0xF8, 0x55, 0x12, 0x34}));
    ASSERT_TRUE(ed.Modul_Click(1));
    EXPECT_EQ(g.userPrm(), (std::vector<int>{0xF8, 0x55, 0x12, 0x34, 0xDF, 0x12, 0x34}));
    ed.F2_Exit_Click(QStringLiteral("12"));

    // As read from a file or the board: other values than the defaults.
    for (int i = 0; i < 7; ++i)
        g.st.image.at(12, 33 + i) = uint8_t(i);
    const Record stored = g.st.image.slot(12);
    SlaveEditor again(g.ctx);
    again.Form_Activate();
    EXPECT_EQ(again.deviceFile(), g.root.gsdDir() + QStringLiteral("/TEST4711.GSD"));
    EXPECT_EQ(g.st.record, stored);
}

TEST(GsdReader, references_haveNoLimitButTheirOffsetsStayInTheRecord_module511Stops)
{
    Gsd g;
    QByteArray text = "Ident_Number = 0x4711\nModular_Station = 1\nModule = \"Big\" 0x10\n";
    for (int k = 0; k < 317; ++k)
        text += "Ext_User_Prm_Data_Ref(" + QByteArray::number(k % 240) + ") = " + QByteArray::number(k + 1) + "\n";
    g.load(text + "EndModule\n");
    ASSERT_TRUE(g.res.ok()) << g.res.status.toStdString();
    EXPECT_EQ(g.t().prmRefCount(1), 317);
    EXPECT_EQ(g.t().prmRefNumber(1, 316), 317);

    g.load("Ext_User_Prm_Data_Ref(240) = 1\n");
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: line 2: parameter offset out of range"));

    // A record's module list codes no more than 510 modules.
    text = "Ident_Number = 0x4711\nModular_Station = 1\n";
    for (int i = 1; i <= 600; ++i)
        text += "Module = \"M" + QByteArray::number(i) + "\" 0x10\nEndModule\n";
    g.load(text);
    EXPECT_EQ(g.res.kind, GsdOutcome::Kind::Stopped);
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: too many modules"));
    EXPECT_EQ(g.t().moduleCount, 511);
    EXPECT_EQ(g.t().moduleLine(510), QStringLiteral("M510\" 0x10"));
    EXPECT_EQ(g.res.line, 4 + 2 * 510);
    EXPECT_TRUE(g.st.slave.gsdLoaded);
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

// A stored station's file is read again whenever the editor opens it (as
// after a program start): its identifier bytes stay, also when the file
// lists several modules without saying it is modular, and so do the
// parameters the user has set.
TEST(GsdReader, storedStationsFileReadAgain_keepsItsIdentifierBytesAndParameters)
{
    Gsd g;
    const QByteArray file = "Ident_Number = 0x00A7\nModule = \"A\" 0x10\nEndModule\nModule = \"B\" 0x20\nEndModule\n";
    g.load(file);
    EXPECT_TRUE(g.cfg().empty()); // read as modular
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: multiple modules"));
    RemoveCfg(g.st);
    g.st.slave.cfg[0] = 0x20;
    g.st.slave.cfg[1] = 0x10;
    g.st.slave.c = 2;
    InsertCfg(g.ctx);
    g.st.slave.gsdLoaded = false;
    g.load(file);
    EXPECT_EQ(g.cfg(), (std::vector<int>{0x20, 0x10}));
    EXPECT_EQ(g.t().modular, 1);

    // Device constants build the user parameters once only; User_Prm_Data
    // lies under them.
    Gsd c;
    c.load("Ident_Number = 0x00A7\nUser_Prm_Data_Len = 3\nUser_Prm_Data = 1,2,3\nExt_User_Prm_Data_Const(2) = 0x05,0x06\n");
    EXPECT_EQ(c.t().modulePrmLen(0), 4);
    EXPECT_EQ(c.userPrm(), (std::vector<int>{1, 2, 5, 6}));
    c.st.record[35] = 0x77;
    c.load("Ident_Number = 0x00A7\nUser_Prm_Data_Len = 3\nExt_User_Prm_Data_Const(2) = 0x05,0x06\nUser_Prm_Data = 1,2,3\n");
    EXPECT_EQ(c.userPrm(), (std::vector<int>{1, 2, 0x77, 6}));

    // A modular station as stored: ident set, 2 device bytes and 2 bytes of
    // a module's block behind them, edited by the user.
    Gsd m;
    m.st.record[30] = 0x12;
    m.st.record[31] = 0x34;
    RemoveUserPrm(m.st);
    for (int i = 0; i < 4; ++i)
        m.st.slave.prm[i] = uint8_t(0xA0 + i);
    m.st.slave.u = 4;
    InsertUserPrm(m.st);
    m.load("Ident_Number = 0x1234\nModular_Station = 1\nUser_Prm_Data_Len = 2\nUser_Prm_Data = 0,0\n"
           "Ext_User_Prm_Data_Const(0) = 0x01,0x02\nModule = \"M\" 0x10\nExt_Module_Prm_Data_Len = 2\nEndModule\n");
    EXPECT_EQ(m.userPrm(), (std::vector<int>{0xA0, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(m.t().prmConst(0, 1), 0x02); // the tables are read all the same
}

// A list keeps every text; the parameter editor offers them all.
TEST(GsdReader, textLists_keepEveryEntry_otherValuesShowDashes)
{
    Gsd g;
    QByteArray many = "Ident_Number = 0x4711\nUser_Prm_Data_Len = 1\nExt_User_Prm_Data_Ref(0) = 1\nPrmText = 3\n";
    for (int i = 0; i < 200; ++i)
        many += "Text(" + QByteArray::number(i) + ") = \"t" + QByteArray::number(i) + "\"\n";
    g.load(many + "EndPrmText\nExtUserPrmData = 1 \"Pick\"\nUnsigned8 171 0-199\nPrm_Text_Ref = 3\nEndExtUserPrmData\n");
    EXPECT_EQ(g.t().prmTextLast(3), 199);
    EXPECT_EQ(g.t().lookUpText(3, 171), QStringLiteral("t171"));
    EXPECT_EQ(g.t().lookUpText(3, 200), QStringLiteral("---"));
    EXPECT_EQ(g.t().prmTextString(3, 200), QStringLiteral("---"));
    ExtPrmEditor prm(g.ctx, ExtSelection{});
    prm.Build();
    EXPECT_EQ(prm.rows()[0].items.size(), 200);
    EXPECT_EQ(prm.rows()[0].comboText, QStringLiteral("t171")); // the default, written into the new station
}

// The editor refuses a module beyond the device's Max_Module, or one whose
// parameters would pass its Max_User_Prm_Data_Len, and says why.
TEST(GsdReader, moduleBeyondTheDevicesLimits_isRefusedWithItsReason_lengthsOfNineToSixteen)
{
    Gsd g;
    g.write(QStringLiteral("GSD/TEST4711.GSD"),
            "#Profibus_DP\nIdent_Number = 0x4711\nModular_Station = 1\nMax_Module = 2\nMax_User_Prm_Data_Len = 3\n"
            "Module = \"16 In, 9 Words Out\" 0x1F,0x68\nEndModule\nModule = \"P\" 0x20\nExt_Module_Prm_Data_Len = 2\nEndModule\n");
    SlaveEditor ed(g.ctx);
    ed.Form_Activate();
    g.ui.files.push_back(g.root.gsdDir() + QStringLiteral("/TEST4711.GSD"));
    ed.GSD_Click(QStringLiteral("0"), QString());
    ASSERT_TRUE(ed.Modul_Click(2));
    const Record one = g.st.record;
    EXPECT_FALSE(ed.Modul_Click(2));
    EXPECT_EQ(g.st.record, one);
    EXPECT_EQ(ed.meldung(), QStringLiteral("Error: the parameters would be 4 bytes, the device takes at most 3 "
                                           "(Max_User_Prm_Data_Len), module not added !"));
    ASSERT_TRUE(ed.Modul_Click(1));
    const SlaveView v = ed.DisplaySlave();
    EXPECT_EQ(v.inLn, QStringLiteral("16"));
    EXPECT_EQ(v.outLn, QStringLiteral("19")); // and the byte of "P"
    const Record two = g.st.record;
    EXPECT_FALSE(ed.Modul_Click(1));
    EXPECT_EQ(g.st.record, two);
    EXPECT_EQ(ed.meldung(), QStringLiteral("Error: the device takes at most 2 modules (Max_Module), module not added !"));
}

TEST(GsdReader, lastLineShown_revisionLineStaysASecond_numbersAbove65535_stopTheReadWithTheirErrorText)
{
    Gsd r;
    r.loadRaw("#Profibus_DP\nGSD_Revision = 2\nIdent_Number = 1\nModel_Name = \"M\"\n");
    EXPECT_EQ(r.meldung, (std::vector<QString>{QStringLiteral("GSD_Revision = 2"), QStringLiteral("Model_Name = \"M\"")}));
    EXPECT_EQ(r.pump.sleptMs, 1000);

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

TEST(GsdReader, everyRead_startsFromEmptyTables)
{
    Gsd g;
    g.load("Vendor_Name = \"A\"\nModular_Station = 1\nModule = \"X\" 0x10\nEndModule\nPrmText = 5\nText(1) = \"t\"\n"
           "EndPrmText\nExtUserPrmData = 4 \"p\"\nUnsigned8 0 0-1\nEndExtUserPrmData\n");
    NewSlaveRecord(g.st);
    g.load("Model_Name = \"B\"\n", QStringLiteral("OTHER.GSD"));
    EXPECT_TRUE(g.t().vendor.isEmpty());
    EXPECT_EQ(g.t().moduleCount, 0);
    EXPECT_EQ(g.t().modular, 0);
    EXPECT_EQ(g.t().moduleLine(1), QString());
    EXPECT_EQ(g.t().prmTextLast(5), -1);
    EXPECT_EQ(g.t().extPrm(4), nullptr);

    // A missing file: empty tables, counted as loaded, nothing asked.
    g.load("Vendor_Name = \"A\"\n");
    NewSlaveRecord(g.st);
    EXPECT_EQ(LoadGSD(g.ctx, QStringLiteral("----0000.GSD")).kind, GsdOutcome::Kind::NotFound);
    EXPECT_TRUE(g.t().vendor.isEmpty());
    EXPECT_TRUE(g.st.slave.gsdLoaded);
    EXPECT_TRUE(g.ui.shown.empty());
}

TEST(GsdReader, fileLookup_prefersRootGsdThenTheChosenFolderInAnyCase)
{
    Gsd g;
    QDir().mkpath(g.file(QStringLiteral("chosen")));
    g.st.configFileName = g.file(QStringLiteral("chosen/AutoLoad.dp1"));
    g.write(QStringLiteral("chosen/dev1.gsd"), "#Profibus_DP\nIdent_Number = 1\nModel_Name = \"from the chosen folder\"\n");
    EXPECT_EQ(LoadGSD(g.ctx, QStringLiteral("DEV1.GSD")).kind, GsdOutcome::Kind::Done);
    EXPECT_EQ(g.t().model, QStringLiteral("from the chosen folder"));

    // A stub of 10 bytes in ROOT/GSD does not count.
    g.write(QStringLiteral("GSD/Dev1.Gsd"), "0123456789");
    LoadGSD(g.ctx, QStringLiteral("DEV1.GSD"));
    EXPECT_EQ(g.t().model, QStringLiteral("from the chosen folder"));

    g.write(QStringLiteral("GSD/Dev1.Gsd"), "#Profibus_DP\nIdent_Number = 1\nModel_Name = \"from root\"\n");
    LoadGSD(g.ctx, QStringLiteral("DEV1.GSD"));
    EXPECT_EQ(g.t().model, QStringLiteral("from root"));
}

TEST(GsdReader, tooManyIdentifierBytes_leaveTheRecordWithoutThem)
{
    Gsd g;
    QByteArray line = "Ident_Number = 0x4711\nModule = \"Big\"";
    for (int i = 0; i < 64; ++i)
        line += " 0x10";
    g.load(line + "\nEndModule\n");
    EXPECT_TRUE(g.cfg().empty());
    ASSERT_FALSE(g.meldung.empty());
    EXPECT_EQ(g.meldung.back(), QStringLiteral("Error: too much Config data !"));

    int count = 0;
    g.st.language = kGerman;
    std::vector<QString> seen;
    EXPECT_FALSE(AddConfig(g.ctx, g.t().moduleLine(1), count, [&](const QString &s) { seen.push_back(s); }));
    ASSERT_FALSE(seen.empty());
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
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8 300 0-255\n", 3}, // a default beyond it
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nSigned8 0 -129-0\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nBit(2) 0 0-2\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned8 1 1,2,256\n", 3},
        {"Vendor_Name = \"V\"\nExtUserPrmData = 1 \"x\"\nUnsigned16 5 9-3\n", 3},  // minimum above maximum
        {"Vendor_Name = \"V\"\nText(abc) = \"x\"\n", 2},
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
    g.load("ExtUserPrmData = 1 \"x\"\nUnsigned8 300 0-255\n");
    EXPECT_EQ(g.res.status, QStringLiteral("Error in GSD-File: line 3: value 300 outside Unsigned8 (0..255)"));
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

TEST(GsdParameterValue, itemsAreNumbersSeparatedByBlanksTabsOrCommas_32BitsAtMost)
{
    int err = 0;
    for (int item = 1; item <= 3; ++item)
        EXPECT_EQ(GetParameterValue(QStringLiteral("  12\t0x1F, 7"), item, err), (std::array<int, 3>{12, 0x1F, 7})[item - 1]);
    EXPECT_EQ(err, 0);
    for (const auto &[text, item] : {std::pair{"12 ", 2}, {"-5", 1}}) { // no such item; no sign
        err = 0;
        EXPECT_EQ(GetParameterValue(QString::fromLatin1(text), item, err), 0) << text;
        EXPECT_EQ(err, 1) << text;
    }
    EXPECT_THROW(GetParameterValue(QStringLiteral("1A"), 1, err), GsdError);
    EXPECT_THROW(GetParameterValue(QStringLiteral("0x1FFFFFFFF"), 1, err), GsdError);
    EXPECT_EQ(GetParameterValue(QStringLiteral("0xFFFFFFFF"), 1, err), 0xFFFFFFFFLL);

    const QString line = QStringLiteral("Unsigned32  4294967295 -2147483648 0xFFFFFFFF x");
    int pos = 10;
    for (const long long v : {4294967295LL, -2147483648LL, 0xFFFFFFFFLL, 0LL}) // "x" is no number and stays put
        EXPECT_EQ(GetNum(line, pos), v);
    EXPECT_EQ(line[pos], QLatin1Char('x'));
    pos = line.size();
    EXPECT_THROW(GetNum(line, pos), GsdError);
    for (const char *beyond : {"4294967296", "-2147483649", "0x100000000", "123456789012"}) {
        pos = 0;
        EXPECT_THROW(GetNum(QString::fromLatin1(beyond), pos), GsdError) << beyond;
    }
}
