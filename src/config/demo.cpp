#include "config/demo.h"

#include "core/context.h"
#include "config/configfile.h"
#include "config/listline.h"
#include "slave/record.h"
#include "core/bytes.h"

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
    return SaveConfigFile(ctx, path);
}

} // namespace meridan
