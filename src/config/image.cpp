// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/image.h"

#include "core/context.h"
#include "core/state.h"
#include "core/bytes.h"
#include "core/texts.h"

namespace meridan {

namespace {
constexpr BaudInfo kBaud[10] = {
    {" 9600 n.A. ", " 9600 n.A. ", 9.6, 125, 60},
    {" 19200 Baud", " 19200 Baud", 19.2, 250, 120},
    {"93,75 kBaud", "93,75 kBaud", 93.75, 600, 250},
    {"187,5 kBaud", "187,5 kBaud", 187.5, 1500, 500},
    {"  500 kBaud", "  500 kBaud", 500.0, 3500, 1000},
    {" 38400 Baud", " 38400 Baud", 38.4, 1500, 500},
    {" 1,5  MBaud", " 1,5  MBaud", 1500.0, 7000, 150},
    {" 3,0  MBaud", "  3   MBaud", 3000.0, 500, 300},
    {" 6,0  MBaud", "  6   MBaud", 6000.0, 1000, 600},
    {"12,0  MBaud", " 12   MBaud", 12000.0, 3000, 800},
};
} // namespace

const BaudInfo *BaudFor(int code)
{
    return code >= 0 && code < 10 ? &kBaud[code] : nullptr;
}

void ClearImage(ConfigImage &image)
{
    for (int s = 0; s <= 100; ++s)
        image.slot(s).clear();
}

void StoreRecord(State &st, int station)
{
    st.image.slot(station) = st.record;
}

QString NeverDownloadedWhy(const Context &ctx, int station)
{
    if (station < kFirstDownloaded)
        return ctx.tr(QStringLiteral("the download starts at station %1"), QStringLiteral("der Download beginnt bei Station %1"))
            .arg(kFirstDownloaded);
    return ctx.tr(QStringLiteral("the download stops at station %1"), QStringLiteral("der Download endet bei Station %1"))
        .arg(kLastDownloaded);
}

bool NextSlave(State &st)
{
    // Always moves on at least one station, so a caller looping until false
    // sees every slave once; it never looks past station 100.
    int s = st.currentStation;
    if (s < 0)
        s = -1;
    do {
        ++s;
    } while (s < kLastDownloaded && !st.image.hasSlave(s));
    st.currentStation = s;
    if (s > kLastDownloaded || !st.image.hasSlave(s))
        return false;
    st.record = st.image.slot(s);
    st.currentStation = st.record.bytes[3];
    return true;
}

int16_t ReadWord(const Record &rec, int offset)
{
    const uint8_t hi = rec[offset];
    const uint8_t lo = rec[offset + 1];
    if (hi > 127)
        throw OverflowError("word above 32767");
    return int16_t(hi * 256 + lo);
}

void WriteWord(Record &rec, int offset, int value)
{
    Record::check(offset + 1);
    rec[offset] = uint8_t((value / 256) & 0xFF);
    rec[offset + 1] = uint8_t(value & 0xFF);
}

QString WordText(uint8_t high, uint8_t low)
{
    return NumText(high * 256 + low);
}

void SetMasterDefaults(Record &rec)
{
    auto b = rec.span();
    b[0] = kMasterMarker;
    for (int i = 1; i <= 6; ++i)
        b[i] = 0;
    b[7] = 66;
    b[8] = 0;
    b[9] = 66;
    b[10] = 1;
    if (const BaudInfo *baud = BaudFor(b[11])) {
        putBe16(b, 12, uint16_t(baud->defaultTsl));
        putBe16(b, 14, 11);
        putBe16(b, 16, uint16_t(baud->defaultMaxTsdr));
    }
    b[18] = 1;
    b[19] = 1;
    putBe32(b, 20, 100000);
    b[24] = 100;
    b[25] = 9;
    b[26] = 1;
    b[27] = 0;
    putBe16(b, 28, 25);
    putBe16(b, 30, 100);
    putBe16(b, 32, 100);
    for (int i = 34; i <= 40; ++i)
        b[i] = 0;
    b[41] = 34;
    b[42] = b[43] = b[44] = 0x44; // "DDD"
    for (int i = 45; i <= 73; ++i)
        b[i] = 0x20;
}

} // namespace meridan
