// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/demo.h"

#include "core/context.h"
#include "config/configfile.h"
#include "config/listline.h"
#include "slave/record.h"
#include "core/bytes.h"
#include "core/savefile.h"

#include <QDir>
#include <QFileInfo>

#include <initializer_list>

namespace meridan {

namespace {

struct DemoSlave {
    int station;
    uint16_t ident;
    std::initializer_list<uint8_t> cfg;
    int inputOffset;
    int outputOffset;
    const char *gsdCode;
    const char *name;
};

// Station 40 is configured with the ident of the slave at 30; the real
// device at 40 answers with another one, so it reports Prm Fault.
const DemoSlave kDemo[] = {
    {12, 0x4711, {0x31}, 0, 0, "EASY", "DIO16"},
    {20, 0xC0DE, {0x11, 0x13}, 2, 0, "STM3", "STM32 inputs"},
    {30, 0x4224, {0x10, 0x20}, 8, 2, "dumm", "Dummy compact"},
    {40, 0x4224, {0x10}, 9, 3, "dumm", "Dummy wrong ident"},
    // What the master sends to 50's outputs comes back as its inputs: one
    // output byte, one input byte, and a special-format word each way.
    {50, 0x5A50, {0x20, 0x10, 0xC0, 0x40, 0x40}, 10, 3, "LOOP", "Loop I/O"},
};

void PutText(Record &rec, int at, const char *text, int width)
{
    const int len = int(qstrlen(text));
    for (int i = 0; i < width; ++i)
        rec[at + i] = i < len ? uint8_t(text[i]) : 0x20;
}

} // namespace

void BuildDemoConfiguration(Context &ctx)
{
    State &st = ctx.st;
    ClearImage(st.image);
    ResetListLines(st);

    st.record.clear();
    st.record[11] = 6; // 1.5 Mbit/s
    SetMasterDefaults(st.record);
    StoreRecord(st, 0);

    for (const DemoSlave &d : kDemo) {
        st.currentStation = d.station;
        st.slave.inputOffset = d.inputOffset;
        st.slave.outputOffset = d.outputOffset;
        NewSlaveRecord(st);
        putBe16(st.record.span(), 30, d.ident);
        RemoveCfg(st);
        st.slave.c = int(d.cfg.size());
        int i = 0;
        for (uint8_t b : d.cfg)
            st.slave.cfg[i++] = b;
        InsertCfg(ctx);
        const int ud = SlaveLayout::of(st.record).userData();
        PutText(st.record, ud, d.gsdCode, 4);
        PutText(st.record, ud + 5, d.name, 20);
        StoreRecord(st, d.station);
        BuildListLine(st);
    }
}

bool WriteDemoConfiguration(Context &ctx, const QString &path)
{
    BuildDemoConfiguration(ctx);
    if (!SaveConfigFile(ctx, path))
        return false;
    if (const QString why = WriteDemoDeviceFile(ctx.root); !why.isEmpty()) {
        ctx.st.melde1 = why;
        return false;
    }
    return true;
}

QString WriteDemoDeviceFile(const Root &root)
{
    static const char kRates[] = "9.6_supp=1\r\n19.2_supp=1\r\n93.75_supp=1\r\n187.5_supp=1\r\n500_supp=1\r\n"
                                 "1.5M_supp=1\r\n3M_supp=1\r\n6M_supp=1\r\n12M_supp=1\r\n"
                                 "MaxTsdr_9.6=60\r\nMaxTsdr_19.2=60\r\nMaxTsdr_93.75=60\r\nMaxTsdr_187.5=60\r\n"
                                 "MaxTsdr_500=100\r\nMaxTsdr_1.5M=150\r\nMaxTsdr_3M=250\r\nMaxTsdr_6M=450\r\n"
                                 "MaxTsdr_12M=800\r\n"
                                 "Min_Slave_Intervall=1\r\n";
    // The device at 40 of the demo bus: the configuration expects another
    // ident, and this is the file a user would find for the one it answers with.
    const QByteArray input = QByteArray("; The simulated input device at address 40 of the demo bus.\r\n"
                                        "#Profibus_DP\r\n"
                                        "GSD_Revision=1\r\n"
                                        "Vendor_Name=\"Meridan Demo\"\r\n"
                                        "Model_Name=\"Simulated input 4225\"\r\n"
                                        "Revision=\"1\"\r\n"
                                        "Ident_Number=0x4225\r\n"
                                        "Protocol_Ident=0\r\n"
                                        "Station_Type=0\r\n")
        + kRates
        + "Module=\"1 Byte Input\" 0x10\r\n"
          "EndModule\r\n";
    // The device at 50: its inputs repeat its outputs, for the I/O test.
    const QByteArray loop = QByteArray("; The simulated loop-back device at address 50 of the demo bus: what the\r\n"
                                       "; master sends to its outputs comes back as its inputs.\r\n"
                                       "#Profibus_DP\r\n"
                                       "GSD_Revision=1\r\n"
                                       "Vendor_Name=\"Meridan Demo\"\r\n"
                                       "Model_Name=\"Simulated loop-back I/O\"\r\n"
                                       "Revision=\"1\"\r\n"
                                       "Ident_Number=0x5A50\r\n"
                                       "Protocol_Ident=0\r\n"
                                       "Station_Type=0\r\n")
        + kRates
        + "Modular_Station=1\r\n"
          "Max_Module=3\r\n"
          "Max_Input_Len=3\r\n"
          "Max_Output_Len=3\r\n"
          "Max_Data_Len=6\r\n"
          "Module=\"8 Outputs\" 0x20\r\n"
          "EndModule\r\n"
          "Module=\"8 Inputs\" 0x10\r\n"
          "EndModule\r\n"
          "Module=\"Word out and in\" 0xC0,0x40,0x40\r\n"
          "EndModule\r\n";
    const std::pair<const char *, QByteArray> files[] = {{"SIM4225.gsd", input}, {"LOOP5A50.gsd", loop}};
    QDir().mkpath(root.gsdDir());
    for (const auto &[name, text] : files) {
        const QString path = root.gsdDir() + QLatin1Char('/') + QLatin1String(name);
        if (QFileInfo::exists(path))
            continue; // the user's copy stays as it is
        if (const QString why = WriteWholeFile(path, text); !why.isEmpty())
            return why;
    }
    return {};
}

} // namespace meridan
