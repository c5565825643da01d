// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/serial_frame.h"

namespace meridan::iface {

namespace {
uint8_t At(QByteArrayView b, qsizetype i) { return i < b.size() ? uint8_t(b[i]) : 0; }
} // namespace

qsizetype SerialFrameSize(QByteArrayView bytes)
{
    if (bytes.size() < kFrameHeader)
        return kFrameHeader;
    switch (At(bytes, 0)) {
    case 0x00: return At(bytes, 1) == 1 ? kFrameHeader + 4 : kFrameHeader;
    case 0xA8:
    case 0xAA:
    case 0xB0: return kFrameHeader;
    default: return kFrameHeader + At(bytes, 3);
    }
}

bool IsLiveListFrame(QByteArrayView frame)
{
    return At(frame, 0) == 0x00 && At(frame, 1) == 1;
}

LiveListPart LiveListOf(QByteArrayView frame)
{
    LiveListPart p;
    p.index = At(frame, 2);
    p.run[0] = At(frame, 4);
    p.run[1] = At(frame, 5);
    p.dia[0] = At(frame, 6);
    p.dia[1] = At(frame, 7);
    return p;
}

bool SerialFrameToMessage(QByteArrayView frame, std::array<uint8_t, 512> &m)
{
    const uint8_t code = At(frame, 0);
    m[0] = code;
    // Which message bytes the three header bytes fill depends on the code.
    int slots[3] = {2, 3, 7};
    if (code == 0xB0)
        slots[0] = 4, slots[1] = 5;
    else if (code == 0xA8)
        slots[0] = 3, slots[1] = 5;
    else if (code == 0xAA)
        slots[0] = 3, slots[1] = 4;
    for (int k = 0; k < 3; ++k)
        m[std::size_t(slots[k])] = At(frame, 1 + k);
    if (code == 0x00)
        return false;
    if (code != 0xA8 && code != 0xAA && code != 0xB0) {
        const int n = At(frame, 3);
        for (int k = 0; k < n && kFrameHeader + k < frame.size(); ++k)
            m[std::size_t(8 + k)] = At(frame, kFrameHeader + k);
    }
    return true;
}

} // namespace meridan::iface
