// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration as text: every byte of a file comes back, a text that
// would make an invalid record is refused by station and field, and the
// differences of two configurations are told in words.
#include "app/demo_config.h"
#include "config/configdiff.h"
#include "config/configfile.h"
#include "config/configtext.h"
#include "config/demo.h"
#include "core/bytes.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_names.h"
#include "slave/record.h"
#include "slave/slave_editor.h"
#include "support/fixture.h"
#include "support/golden.h"

#include <QDir>

using namespace meridan;
using namespace meridan::test;

namespace {

constexpr int kFirstSlave = 264;

QByteArray Sample() { return Golden(QStringLiteral("config/golden/sample.dp1")); }

// Export, then import with no device file at hand: the same bytes.
QByteArray ExpectRoundTrip(const QByteArray &dp1, const NameLookup &names = {})
{
    QString why;
    const QByteArray text = ExportConfigText(dp1, names, kEnglish, &why);
    EXPECT_FALSE(text.isEmpty()) << why.toStdString();
    const auto back = ReadConfigText(text, kEnglish, &why);
    EXPECT_TRUE(back) << why.toStdString();
    if (back) {
        EXPECT_EQ(Dp1Bytes(*back), dp1);
    }
    return text;
}

// Replaces the first `from` after `marker` in a text.
QByteArray Edit(QByteArray text, const QByteArray &marker, const QByteArray &from, const QByteArray &to)
{
    const qsizetype m = text.indexOf(marker);
    const qsizetype at = m < 0 ? -1 : text.indexOf(from, m);
    EXPECT_GE(at, 0) << from.constData();
    return at < 0 ? text : text.replace(at, from.size(), to);
}

// A modular device of our own with named parameters: the device's
// "Diagnosis" bit and "Cycle" byte, and module 1's "Filter" from a list.
const char kValveGsd[] = "#Profibus_DP\r\nGSD_Revision=1\r\nVendor_Name=\"Test Works\"\r\nModel_Name=\"Valve Block\"\r\n"
                         "Ident_Number=0x80A5\r\nModular_Station=1\r\nMax_Module=4\r\n"
                         "PrmText=1\r\nText(0)=\"off\"\r\nText(1)=\"on\"\r\nEndPrmText\r\n"
                         "ExtUserPrmData=1 \"Diagnosis\"\r\nBit(0) 0 0-1\r\nPrm_Text_Ref=1\r\nEndExtUserPrmData\r\n"
                         "ExtUserPrmData=2 \"Cycle\"\r\nUnsigned8 4 1-10\r\nEndExtUserPrmData\r\n"
                         "ExtUserPrmData=3 \"Filter\"\r\nUnsigned8 3 0 3 6\r\nEndExtUserPrmData\r\n"
                         "User_Prm_Data_Len=2\r\nExt_User_Prm_Data_Const(0)=0x00,0x04\r\n"
                         "Ext_User_Prm_Data_Ref(0)=1\r\nExt_User_Prm_Data_Ref(1)=2\r\n"
                         "Module=\"8 DI\" 0x10\r\nExt_Module_Prm_Data_Len=1\r\nExt_User_Prm_Data_Const(0)=0x03\r\n"
                         "Ext_User_Prm_Data_Ref(0)=3\r\nEndModule\r\n"
                         "Module=\"8 DO\" 0x20\r\nEndModule\r\n";

// A record built as the slave editor builds it: the device file read, the
// modules chosen.
void BuildStation(Context &ctx, int station, const QString &path, const std::vector<int> &modules)
{
    ctx.st.currentStation = station;
    ctx.st.slave = SlaveWork();
    NewSlaveRecord(ctx.st);
    LoadGsdFile(ctx, path, QFileInfo(path).fileName());
    SlaveEditor editor(ctx);
    for (int m : modules)
        editor.Modul_Click(m);
    ctx.st.image.slot(station) = ctx.st.record;
}

// The sample's stations and the valve block at 12 (modules 8 DI, 8 DO, 8 DI).
struct Named : Fixture {
    DeviceNameLookup lookup{ctx};
    NameLookup names = [this](const QString &code, int ident) { return lookup(code, ident); };
    QByteArray dp1;
    Named()
    {
        write("GSD/TEST80A5.gsd", kValveGsd);
        write("in.dp1", Sample());
        LoadConfigFile(ctx, file("in.dp1"));
        BuildStation(ctx, 12, file("GSD/TEST80A5.gsd"), {1, 2, 1});
        EXPECT_TRUE(SaveConfigFile(ctx, file("named.dp1")));
        dp1 = read("named.dp1");
    }
    QByteArray text() const { return WriteConfigText(ConfigTextObject(*ParseDp1(dp1), names)); }
    Dp1File import(const QByteArray &text, QStringList *notes = nullptr) const
    {
        QString why;
        const auto f = ReadConfigText(text, kEnglish, &why, notes);
        EXPECT_TRUE(f) << why.toStdString();
        return f.value_or(Dp1File{});
    }
};

} // namespace

TEST(ConfigText, everyFileTheProgramAndTheTestsWrite_comesBackByteForByte)
{
    Fixture f;
    ASSERT_TRUE(WriteDemoConfiguration(f.ctx, f.file("demo.dp1")));
    ExpectRoundTrip(f.read("demo.dp1"));

    // The window tests' configuration, and one without slaves.
    Fixture w;
    PutDemoMaster(w.st, 9);
    PutDemoSlave(w.st, 10, 0x4711, "EASY", "DIO16");
    PutDemoSlave(w.st, 99, 0x0B0D, "IPDS", QByteArray(20, 'x'));
    ASSERT_TRUE(SaveConfigFile(w.ctx, w.file("w.dp1")));
    ExpectRoundTrip(w.read("w.dp1"));
    ExpectRoundTrip(w.read("w.dp1").left(kFirstSlave));

    // The sample, and what foreign writers and damaged boards leave in files
    // the loader still reads whole: each kept byte for byte.
    const QByteArray station5 = Sample().mid(kFirstSlave, 0x7F + 1).replace(3, 1, "\x05");
    const std::pair<const char *, std::function<void(QByteArray &)>> variants[] = {
        {"as checked in", [](QByteArray &) {}},
        {"a foreign header", [](QByteArray &b) { b.replace(0, 8, QByteArray("DP1\x01\xff\0\0\x07", 8)); }},
        {"skipped groups and a short tail", [](QByteArray &b) { b.insert(kFirstSlave, QByteArray(16, '\x11')).append("\x01\x02\x03", 3); }},
        {"stations 5 and 105", [&](QByteArray &b) { b.append(station5).append(QByteArray(station5).replace(3, 1, "\x69")); }},
        {"a master beyond the editor's ranges", [](QByteArray &b) { b[8 + 12] = char(0xFF), b[8 + 13] = char(0xFF), b[8 + 200] = 7; }},
        {"master header bytes set", [](QByteArray &b) { b[8 + 5] = 1; }},
        {"a slave header byte and the blank after the GSD code", [](QByteArray &b) { b[kFirstSlave + 4] = 9, b[kFirstSlave + 51] = 'x'; }},
        {"a gap in the module list", [](QByteArray &b) { b[kFirstSlave + 0x49] = 0; }},
        {"a length word that disagrees", [](QByteArray &b) { b[kFirstSlave + 25] = char(200); }},
    };
    for (const auto &[what, change] : variants) {
        SCOPED_TRACE(what);
        QByteArray b = Sample();
        change(b);
        ASSERT_TRUE(ParseDp1(b));
        ExpectRoundTrip(b);
    }
}

// The text of the sample, whole: the format as it is written.
TEST(ConfigText, sample_isWrittenAsItsGoldenText)
{
    QString why;
    ExpectGolden(QStringLiteral("config/golden/sample-text.json"), ExportConfigText(Sample(), {}, kEnglish, &why));
}

TEST(ConfigText, realDeviceFiles_nameModulesAndParameters_andKeepEveryByte)
{
    const QDir shared(SharedGsdDir());
    if (!shared.exists())
        GTEST_SKIP() << "no shared device files";
    Fixture f;
    PutDemoMaster(f.st, 6);
    int station = 10;
    for (const QFileInfo &gsd : shared.entryInfoList(QDir::Files)) {
        if (!IsGsdFileName(gsd.fileName()))
            continue;
        QFile::copy(gsd.filePath(), f.root.gsdDir() + QLatin1Char('/') + gsd.fileName());
        BuildStation(f.ctx, station, gsd.filePath(), {1, 2});
        if (++station > 99)
            break;
    }
    ASSERT_TRUE(SaveConfigFile(f.ctx, f.file("real.dp1")));
    DeviceNameLookup lookup(f.ctx);
    const QByteArray text = ExpectRoundTrip(f.read("real.dp1"), [&](const QString &c, int i) { return lookup(c, i); });
    EXPECT_GE(text.count("\"gsd_file\""), 40);
    EXPECT_GE(text.count("\"number\": 2, \"name\""), 10);
    EXPECT_GE(text.count("\"parameters\""), 5);
    EXPECT_EQ(text.count("record_bytes"), 0);
}

TEST(ConfigText, namedModulesAndFields_readAsTheDeviceFileSays_andAFieldEditIsWritten)
{
    Named n;
    const QByteArray text = ExpectRoundTrip(n.dp1, n.names);
    for (const char *line : {R"({"number": 1, "name": "8 DI", "identifiers": "10"},)", R"({"number": 2, "name": "8 DO", "identifiers": "20"},)",
                             R"x({"name": "Diagnosis", "byte": 0, "type": "Bit(0)", "value": 0, "text": "off", "min": 0, "max": 1},)x",
                             R"({"name": "Cycle", "byte": 1, "type": "Unsigned8", "value": 4, "min": 1, "max": 10},)",
                             R"({"module": 3, "name": "Filter", "byte": 3, "type": "Unsigned8", "value": 3, "values": [0, 3, 6]})",
                             R"("device": "Test Works Valve Block")", R"("user_parameters": "00 04 03 03")"})
        EXPECT_TRUE(text.contains(line)) << line << "\n" << text.constData();

    // A field's value wins over the bytes it lies in, and is named.
    QStringList notes;
    QByteArray edited = Edit(text, R"("module": 3, "name": "Filter")", R"("value": 3)", R"("value": 6)");
    edited = Edit(edited, R"("name": "Diagnosis")", R"("value": 0)", R"("value": 1)");
    const Dp1File f = n.import(edited, &notes);
    ASSERT_FALSE(f.items.empty());
    EXPECT_EQ(f.items[0].bytes.mid(33, 4).toHex(' '), "01 04 03 06");
    EXPECT_EQ(notes, QStringList({"station 12: parameter \"Diagnosis\" = 1 written into byte 0", "station 12: parameter \"Filter\" = 6 written into byte 3"}));
}

TEST(ConfigText, aTextThatWouldMakeAnInvalidRecord_isRefusedNamingStationAndField)
{
    Named n;
    const QByteArray text = n.text();
    const QByteArray many = QByteArray("11 ").repeated(65).trimmed();
    QByteArray numbers = "[1";
    for (int i = 0; i < 56; ++i)
        numbers += ", 2";
    numbers += ']';
    const struct {
        QByteArray edited;
        const char *error;
    } cases[] = {
        {Edit(text, R"("station": 60)", "60", "40"), "station 40: the station is in the text twice"},
        {Edit(text, R"("station": 40)", R"("identifiers": "31")", "\"identifiers\": \"" + many + '"'), "station 40: modules: 65 identifier bytes, a record holds at most 64"},
        {Edit(text, R"("station": 40)", R"("module_numbers": [1])", R"("module_numbers": )" + numbers), "station 40: module_numbers: the module list takes 57 bytes, the file keeps 56"},
        {Edit(text, R"("master")", R"("hsa": 9)", R"("hsa": 200)"), "master: hsa: 200 is outside 2..125"},
        {Edit(text, R"("master")", R"("min_slave_interval_ms": 2.5)", R"("min_slave_interval_ms": 2.55)"), "master: min_slave_interval_ms: 2.55 is not a multiple of 0.1"},
        {Edit(text, R"("master")", R"("tsl")", R"("tls")"), "master: unknown field \"tls\""},
        {Edit(text, R"("station": 40)", R"("watchdog_factors": [20, 5])", R"("watchdog_factors": [300, 5])"), "station 40: watchdog_factors: 300 is outside 0..255"},
        {Edit(text, R"("station": 40)", R"("watchdog_ms": 1000)", R"("watchdog_ms": 2000)"), "station 40: watchdog_ms: 2000 disagrees with the record (1000); it follows from watchdog_factors and station_status"},
        {Edit(text, R"("station": 40)", R"("ident": "4711")", R"("ident": "47110")"), "station 40: ident: \"47110\" is not four hexadecimal digits"},
        {Edit(text, R"("station": 40)", R"("name": "DIO16")", R"("name": "a name longer than twenty")"), "station 40: name: \"a name longer than twenty\" is longer than 20 characters"},
        {Edit(text, R"("name": "Filter")", R"("value": 3)", R"("value": 5)"), "station 12: parameters \"Filter\": value: 5 is not one of the values the device allows"},
        {Edit(text, R"("name": "Cycle")", R"("value": 4)", R"("value": 11)"), "station 12: parameters \"Cycle\": value: 11 is outside 1..10"},
        {Edit(text, R"("station": 99)", R"("station": 99)", R"("station": 126)"), "slaves, entry 4: station: 126 is outside 1..125"},
        {Edit(text, R"("slaves": [)", "[", R"([{"unknown_bytes": "25 00 00 00 00 00 00 00"},)"), "slaves, entry 1: unknown_bytes: byte 0 is 25, which the loader reads as a record"},
        {Edit(text, R"("master")", R"("tsl": 7000,)", R"("tsl": 7000)"), "line 8: "},
    };
    for (const auto &c : cases) {
        QString why;
        EXPECT_FALSE(ReadConfigText(c.edited, kEnglish, &why));
        EXPECT_TRUE(why.startsWith(QString::fromUtf8(c.error))) << why.toStdString() << "\n  expected " << c.error;
    }
    QString why;
    ReadConfigText(Edit(text, R"("master")", R"("hsa": 9)", R"("hsa": 200)"), kGerman, &why);
    EXPECT_EQ(why, QString::fromUtf8("Master: hsa: 200 liegt außerhalb 2..125"));
}

TEST(ConfigDiff, eachKindOfChange_isToldInWords)
{
    Named n;
    const QByteArray text = n.text();
    const Dp1File base = n.import(text);
    const struct {
        QByteArray edited;
        QStringList lines;
    } cases[] = {
        {text, {}},
        {Edit(text, R"("master")", R"("tsl": 7000)", R"("tsl": 3500)"), {"master: TSL 7000 → 3500 tbit"}},
        {Edit(Edit(text, R"("master")", R"("baud_code": 6)", R"("baud_code": 4)"), R"("master")", R"("baud_rate": "1.5 Mbit/s")", R"("baud_rate": "500 kbit/s")"),
         {"master: baud rate 1.5 Mbit/s → 500 kbit/s"}},
        {Edit(Edit(text, R"("master")", R"("auto_clear": true)", R"("auto_clear": false)"), R"("master")", R"("class2_name": "DDD")", R"("class2_name": "PLC")"),
         {"master: auto-clear on → off; class 2 name \"DDD\" → \"PLC\""}},
        {Edit(Edit(text, R"("station": 40)", R"("watchdog_factors": [20, 5])", R"("watchdog_factors": [40, 5])"), R"("station": 40)", R"("watchdog_ms": 1000)", R"("watchdog_ms": 2000)"),
         {"station 40: watchdog 1000 ms → 2000 ms"}},
        {Edit(text, R"("station": 40)", R"("station": 40)", R"("station": 41)"), {"station 40 removed: \"DIO16\", ident 4711", "station 41 added: \"DIO16\", ident 4711"}},
        {Edit(text, R"("station": 12)", R"({"number": 2, "name": "8 DO", "identifiers": "20"},)", ""), {"station 12: module 2 removed: \"8 DO\" (20)"}},
        {Edit(text, R"("station": 60)", R"({"identifiers": "11"})", R"({"identifiers": "21"})"), {"station 60: module 1 changed: (11) → (21)"}},
        {Edit(text, R"("module": 3, "name": "Filter")", R"("value": 3)", R"("value": 6)"), {"station 12: module 3 parameter \"Filter\" 3 → 6"}},
        {Edit(Edit(text, R"("name": "Diagnosis")", R"("value": 0)", R"("value": 1)"), R"("station": 40)", R"("name": "DIO16")", R"("name": "DIO 16")"),
         {"station 12: parameter \"Diagnosis\" 0 (off) → 1 (on)", "station 40: name \"DIO16\" → \"DIO 16\""}},
        {Edit(text, R"("station": 60)", R"("user_parameters": [)" "\n        \"00 07", R"("user_parameters": [)" "\n        \"01 07"),
         {"station 60: user parameter byte 0 00 → 01"}},
    };
    for (const auto &c : cases) {
        const std::vector<ConfigChange> changes = CompareConfigs(base, n.import(c.edited), n.names, kEnglish);
        EXPECT_EQ(ChangeLines(changes, kEnglish), c.lines);
    }
    const auto german = CompareConfigs(base, n.import(Edit(text, R"("master")", R"("tsl": 7000)", R"("tsl": 3500)")), n.names, kGerman);
    EXPECT_EQ(ChangeLines(german, kGerman), QStringList({"Master: TSL 7000 → 3500 tbit"}));
}
