// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the printout tests share: slave records built as the editor builds
// them, small GSD files and golden texts.
#include "config/demo.h"
#include "core/bytes.h"
#include "demo_config.h"
#include "report/printout.h"
#include "slave/record.h"
#include "support/fixture.h"
#include "support/golden.h"

#include <QDir>
#include <vector>

namespace meridan::test {

inline const QDateTime kPrintDate(QDate(2024, 5, 17), QTime(9, 30, 5));

// A slave with these parameter bytes, identifier bytes, GSD code and modules.
inline void PutSlave(Fixture &f, int station, uint16_t ident, const char *code, const std::vector<uint8_t> &prm,
                     const std::vector<uint8_t> &cfg, const std::vector<int> &modules = {})
{
    State &st = f.st;
    st.currentStation = station;
    NewSlaveRecord(st);
    st.slave.u = int(prm.size());
    std::copy(prm.begin(), prm.end(), st.slave.prm.bytes.begin());
    InsertUserPrm(st);
    RemoveCfg(st);
    st.slave.c = int(cfg.size());
    std::copy(cfg.begin(), cfg.end(), st.slave.cfg.bytes.begin());
    InsertCfg(f.ctx);
    putBe16(st.record.span(), 30, ident);
    std::copy_n(code, 4, st.record.bytes.begin() + SlaveLayout::of(st.record).userData());
    for (int m : modules)
        AppendModule(st.record, m);
    StoreRecord(st, station);
}

inline void WriteGsd(Fixture &f, const QString &name, const QByteArray &text)
{
    f.write(QStringLiteral("GSD/") + name, text);
}

// The printout as text, the temporary root folder written as "ROOT".
inline QString PrintedText(const Fixture &f)
{
    return PrintoutText(BuildPrintout(f.ctx, kPrintDate)).replace(f.root.dir(), QStringLiteral("ROOT"));
}

// The demo configuration with device files for stations 12 and 20 (30 and
// 40 have none): LF line ends and a lower-case name; CR line ends, the GSE
// extension, unquoted values and a decimal ident.
inline void DemoWithGsdFiles(Fixture &f)
{
    BuildDemoConfiguration(f.ctx);
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
