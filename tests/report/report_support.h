#pragma once
// What the printout tests share: slave records built the way the editor
// builds them, small GSD files, and golden texts.
#include "config/demo.h"
#include "core/bytes.h"
#include "report/printout.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QDir>
#include <QFile>
#include <vector>

namespace meridan::test {

inline const QDateTime kPrintDate(QDate(2024, 5, 17), QTime(9, 30, 5));

// A slave at `station` with the given parameter and identifier bytes, GSD
// code and modules, stored into the image.
inline void PutSlave(Fixture &f, int station, uint16_t ident, const char *code, const std::vector<uint8_t> &prm,
                     const std::vector<uint8_t> &cfg, const std::vector<int> &modules = {})
{
    State &st = f.st;
    st.currentStation = station;
    st.slave.inputOffset = 0x10;
    st.slave.outputOffset = 0x1A;
    NewSlaveRecord(st);
    st.slave.u = int(prm.size());
    for (int i = 0; i < st.slave.u; ++i)
        st.slave.prm[i] = prm[std::size_t(i)];
    InsertUserPrm(st);
    RemoveCfg(st);
    st.slave.c = int(cfg.size());
    for (int i = 0; i < st.slave.c; ++i)
        st.slave.cfg[i] = cfg[std::size_t(i)];
    InsertCfg(f.ctx);
    putBe16(st.record.span(), 30, ident);
    const int ud = SlaveLayout::of(st.record).userData();
    for (int i = 0; i < 4; ++i)
        st.record[ud + i] = uint8_t(code[i]);
    for (int m : modules)
        AppendModule(st.record, m);
    StoreRecord(st, station);
}

inline void PutMaster(State &st, int baudCode)
{
    Record m;
    m[11] = uint8_t(baudCode);
    SetMasterDefaults(m);
    st.image.slot(0) = m;
}

inline void WriteGsd(Fixture &f, const QString &name, const QByteArray &text)
{
    QFile file(f.root.gsdDir() + QLatin1Char('/') + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The printout as text, the temporary root folder written as "ROOT".
inline QString PrintedText(const Fixture &f)
{
    return PrintoutText(BuildPrintout(f.ctx, kPrintDate)).replace(f.root.dir(), QStringLiteral("ROOT"));
}

// Compares with tests/report/golden/NAME; MERIDAN_UPDATE_GOLDEN=1 rewrites it.
inline void ExpectGolden(const QString &name, const QString &actual)
{
    const QString path = QStringLiteral(MERIDAN_SOURCE_DIR "/tests/report/golden/") + name;
    QFile file(path);
    if (qEnvironmentVariableIntValue("MERIDAN_UPDATE_GOLDEN") == 1) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(actual.toUtf8());
        return;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    EXPECT_EQ(QString::fromUtf8(file.readAll()).toStdString(), actual.toStdString()) << qPrintable(name);
}

// Device files for the demo stations 12 and 20 (30 and 40 have none): one
// with LF line ends and a lower-case name, one with CR line ends, the GSE
// extension, unquoted values and a decimal ident.
inline void WriteDemoGsdFiles(Fixture &f)
{
    WriteGsd(f, QStringLiteral("easy4711.gsd"),
             "#Profibus_DP\n; demo device\nGSD_Revision = 1\n"
             "Vendor_Name = \"Easy Automation, Inc.\"\nModel_Name = \"EASY DIO16\"\n"
             "Ident_Number = 0x4711\nHardware_Release = \"HW 1.0\"\n"
             "Software_Release = \"SW 2.1\"   ; firmware\nModule = \"DIO 16\" 0x31\nEndModule\n");
    WriteGsd(f, QStringLiteral("STM3C0DE.GSE"),
             "Vendor_Name = STM Devices\rModel_Name =\t\"STM32 inputs\"\t\rIdent_Number = 49374\r"
             "Software_Release = V3\"\r");
}

} // namespace meridan::test
