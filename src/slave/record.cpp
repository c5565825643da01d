// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/record.h"

#include "core/context.h"
#include "core/bytes.h"

#include <algorithm>
#include <cstring>

namespace meridan {

namespace {

// Moves `count` bytes inside the record, like the byte-by-byte loops the
// master's record layout asks for, but checks both ends first so a damaged
// length never moves half a block or touches anything outside the record.
void MoveBytes(Record &rec, int from, int to, int count)
{
    if (count <= 0)
        return;
    Record::check(from);
    Record::check(to);
    Record::check(from + count - 1);
    Record::check(to + count - 1);
    std::memmove(rec.bytes.data() + to, rec.bytes.data() + from, std::size_t(count));
}

int SlaveParaLen(const Record &rec)
{
    return ReadWord(rec, 8);
}

void SetSlaveParaLen(Record &rec, int len)
{
    WriteWord(rec, 8, len);
    SetShortLength(rec);
}

} // namespace

SlaveLayout SlaveLayout::of(const Record &rec)
{
    SlaveLayout l;
    l.u = int(rec[25]) - 9;
    l.c = int(rec[34 + l.u]) - 2;
    l.d = int(rec[42 + l.u + l.c]) - 2;
    return l;
}

std::vector<CfgIdentifier> SplitIdentifiers(const uint8_t *cfg, int count)
{
    std::vector<CfgIdentifier> ids;
    for (int i = 0; i < count; ++i) {
        CfgIdentifier g;
        g.first = i;
        g.id = cfg[i];
        const uint8_t b = cfg[i];
        if (b & 0x30) {
            // Compact: bits 0-3 length - 1, bit 4 input, bit 5 output, bit 6 words.
            const bool words = b & 0x40;
            const int n = ((b & 0x0F) + 1) * (words ? 2 : 1);
            if (b & 0x10) {
                g.inputBytes = n;
                g.inputWords = words;
            }
            if (b & 0x20) {
                g.outputBytes = n;
                g.outputWords = words;
            }
        } else {
            // Special format: length bytes follow (output first), then the
            // manufacturer-specific bytes.
            const auto length = [](uint8_t lb) { return ((lb & 0x3F) + 1) * ((lb & 0x40) ? 2 : 1); };
            if ((b & 0x80) && i + 1 < count) {
                g.outputWords = cfg[++i] & 0x40;
                g.outputBytes = length(cfg[i]);
            }
            if ((b & 0x40) && i + 1 < count) {
                g.inputWords = cfg[++i] & 0x40;
                g.inputBytes = length(cfg[i]);
            }
            i = std::min(i + (b & 0x0F), count - 1);
        }
        g.size = i - g.first + 1;
        ids.push_back(g);
    }
    return ids;
}

void AddIoLengths(const uint8_t *cfg, int count, int &in, int &out)
{
    for (const CfgIdentifier &g : SplitIdentifiers(cfg, count)) {
        in += g.inputBytes;
        out += g.outputBytes;
    }
}

IoLengths DecodeIoLengths(const Record &rec)
{
    IoLengths io;
    const SlaveLayout l = SlaveLayout::of(rec);
    const int start = l.cfgStart();
    const int count = qBound(0, l.c, kSlotSize - start);
    AddIoLengths(rec.bytes.data() + start, count, io.inputLength, io.outputLength);
    const int at = l.addTab();
    Record::check(at); // a damaged record may point anywhere
    Record::check(at + 3);
    io.inputOffset = be16(rec.span(), std::size_t(at));
    io.outputOffset = be16(rec.span(), std::size_t(at) + 2);
    return io;
}

void DecodeIoLengths(State &st)
{
    RecomputeLengths(st);
    const IoLengths io = DecodeIoLengths(st.record);
    st.slave.inputLength = io.inputLength;
    st.slave.outputLength = io.outputLength;
    st.slave.inputOffset = io.inputOffset;
    st.slave.outputOffset = io.outputOffset;
}

std::vector<ModuleEntry> ModuleEntries(const Record &rec)
{
    std::vector<ModuleEntry> out;
    const SlaveLayout l = SlaveLayout::of(rec);
    const int first = l.userData() + kModuleListAt;
    for (int p = 0; p < kModuleListLen; ++p) {
        const int at = first + p;
        if (at < 0 || at >= kSlotSize)
            break;
        const int b = rec[at];
        if (b == 0)
            continue;
        if (b == 255) {
            const int next = p + 1 < kModuleListLen && at + 1 < kSlotSize ? rec[at + 1] : 0;
            out.push_back({255 + next, p + 1});
            ++p;
            continue;
        }
        out.push_back({b, p + 1});
    }
    return out;
}

std::vector<int> ModuleList(const Record &rec)
{
    std::vector<int> modules;
    for (const ModuleEntry &e : ModuleEntries(rec))
        modules.push_back(e.number);
    return modules;
}

bool AppendModule(Record &rec, int number)
{
    if (number < 1 || number > 510)
        return false;
    const SlaveLayout l = SlaveLayout::of(rec);
    const int first = l.userData() + kModuleListAt;
    const int last = first + kModuleListLen - 1; // the list's 64 bytes
    // After the last module: an empty byte before it is a gap, not the end
    // of the list, and the module's identifier bytes come after all others.
    const std::vector<ModuleEntry> entries = ModuleEntries(rec);
    int at = first;
    if (!entries.empty())
        at = first + entries.back().listByte - 1 + (entries.back().number > 254 ? 2 : 1);
    const int width = number <= 254 ? 1 : 2;
    if (at + width - 1 > last || at + width - 1 >= kSlotSize)
        return false;
    if (width == 1) {
        rec[at] = uint8_t(number);
    } else {
        rec[at] = 255;
        rec[at + 1] = uint8_t(number - 255);
    }
    return true;
}

void RecomputeLengths(State &st)
{
    const SlaveLayout l = SlaveLayout::of(st.record);
    st.slave.u = l.u;
    st.slave.c = l.c;
    st.slave.d = l.d;
}

void SetShortLength(Record &rec)
{
    rec[7] = rec[9];
    if (SlaveParaLen(rec) > 244)
        rec[7] = 244;
}

void NewSlaveRecord(State &st)
{
    SlaveWork &w = st.slave;
    Record &rec = st.record;
    w.gsdLoaded = false;
    rec.clear();
    w.u = 0;
    w.c = 0;
    w.d = kUserDataLen;

    const int ud = 43 + w.u + w.c;
    for (int i = 0; i < 4; ++i)
        rec[ud + i] = '-';      // no GSD code yet
    for (int i = 4; i <= 24; ++i)
        rec[ud + i] = ' ';      // separator and the blank name

    rec[0] = kSlaveMarker;
    rec[3] = uint8_t(st.currentStation);
    rec[7] = uint8_t(35 + w.u + w.c + w.d);
    rec[8] = 0;
    rec[9] = rec[7];
    rec[10] = 0x80;             // slave active
    rec[25] = uint8_t(9 + w.u);
    rec[26] = 0x88;             // lock request, watchdog on
    rec[27] = 20;               // 20 x 5 x 10 ms = 1 s watchdog
    rec[28] = 5;
    rec[29] = 40;               // min_Tsdr
    rec[32] = 1;                // Group_Ident

    rec[33 + w.u] = 0;
    rec[34 + w.u] = uint8_t(2 + w.c);   // Cfg_Data_Len
    const int tab = 35 + w.u + w.c;
    rec[tab] = 0;
    rec[tab + 1] = 6;                   // Add_Tab_Len
    WriteWord(rec, tab + 2, w.inputOffset);
    WriteWord(rec, tab + 4, w.outputOffset);
    rec[tab + 6] = 0;
    rec[tab + 7] = uint8_t(2 + w.d);    // Slave_User_Data_Len
}

void RemoveUserPrm(State &st)
{
    RecomputeLengths(st);
    SlaveWork &w = st.slave;
    Record &rec = st.record;
    if (w.u > 0)
        MoveBytes(rec, 33 + w.u, 33, kSlotSize - 33 - w.u);
    SetSlaveParaLen(rec, 35 + w.c + w.d);
    w.c = 0;
    rec[25] = 9;
}

void InsertUserPrm(State &st)
{
    SlaveWork &w = st.slave;
    Record &rec = st.record;
    if (w.u < 0 || w.u > kMaxUserPrm)
        throw RangeError("user parameter length out of range");
    const int c = int(rec[34]) - 2;
    const int d = int(rec[42 + c]) - 2;
    if (w.u > 0) {
        MoveBytes(rec, 32, 32 + w.u, kSlotSize - 32 - w.u);
        for (int i = 0; i < w.u; ++i)
            rec[33 + i] = w.prm[i];
    }
    rec[25] = uint8_t(9 + w.u);
    SetSlaveParaLen(rec, 35 + w.u + c + d);
}

void RemoveCfg(State &st)
{
    RecomputeLengths(st);
    SlaveWork &w = st.slave;
    Record &rec = st.record;
    if (w.c > 0) {
        const int first = 35 + w.u;
        const int last = SlaveParaLen(rec) + 7 - w.c;
        MoveBytes(rec, first + w.c, first, last - first + 1);
    }
    SetSlaveParaLen(rec, 35 + w.u + w.d);
    w.c = 0;
    rec[34 + w.u] = 2;
}

int InsertCfg(Context &ctx)
{
    State &st = ctx.st;
    SlaveWork &w = st.slave;
    Record &rec = st.record;
    if (w.c < 0 || w.c > kMaxCfg)
        throw RangeError("configuration length out of range");
    const int u = int(rec[25]) - 9;
    const int oldLen = int(rec[34 + u]) - 2;
    const int d = int(rec[42 + u + oldLen]) - 2;
    if (8 + 35 + u + w.c + d >= 511) {
        const QString text = QStringLiteral("Error: dataset too long.\nPlease remove the last module!");
        ctx.ui.message(text, QStringLiteral("Error MERIDAN"), Icon::None, Ok);
        return 1;
    }
    if (w.c > 0) {
        const int first = 35 + u;
        const int last = SlaveParaLen(rec) + 7;
        MoveBytes(rec, first, first + w.c, last - first + 1);
        for (int i = 0; i < w.c; ++i)
            rec[first + i] = w.cfg[i];
    }
    rec[34 + u] = uint8_t(w.c + 2);
    SetSlaveParaLen(rec, 35 + u + w.c + d);
    return 0;
}

} // namespace meridan
