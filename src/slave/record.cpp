#include "slave/record.h"

namespace meridan {

SlaveLayout SlaveLayout::of(const Record &rec)
{
    SlaveLayout l;
    l.u = int(rec[25]) - 9;
    l.c = int(rec[34 + l.u]) - 2;
    l.d = int(rec[42 + l.u + l.c]) - 2;
    return l;
}

void AddIoLengths(const uint8_t *cfg, int count, int &in, int &out)
{
    for (int i = 0; i < count; ++i) {
        const uint8_t b = cfg[i];
        if (b & 0x30) {
            const int n = (b & 0x0F) + 1;
            if ((b & 0x50) == 0x10)
                in += n;
            else if ((b & 0x50) == 0x50)
                in += 2 * n;
            if ((b & 0x60) == 0x20)
                out += n;
            else if ((b & 0x60) == 0x60)
                out += 2 * n;
            continue;
        }
        // Special format: length bytes follow (output first), then the
        // manufacturer-specific bytes.
        const auto lengthByte = [](uint8_t lb) { return ((lb & 0x3F) + 1) * ((lb & 0x40) ? 2 : 1); };
        if ((b & 0x80) && i + 1 < count)
            out += lengthByte(cfg[++i]);
        if ((b & 0x40) && i + 1 < count)
            in += lengthByte(cfg[++i]);
        i += b & 0x0F;
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
    io.inputOffset = (int(rec[at]) << 8) | rec[at + 1];
    io.outputOffset = (int(rec[at + 2]) << 8) | rec[at + 3];
    return io;
}

std::vector<int> ModuleList(const Record &rec)
{
    std::vector<int> modules;
    const SlaveLayout l = SlaveLayout::of(rec);
    const int first = l.userData() + 25;
    for (int i = first; i <= l.userData() + 88 && i < kSlotSize; ++i) {
        const int b = rec[i];
        if (b == 0)
            break;
        if (b == 255 && i + 1 < kSlotSize && i + 1 <= l.userData() + 88) {
            modules.push_back(255 + rec[++i]);
            continue;
        }
        modules.push_back(b);
    }
    return modules;
}

} // namespace meridan
