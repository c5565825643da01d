// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/link.h"

#include "core/pump.h"
#include "iface/logging.h"

namespace meridan::iface {

Link::Link(LinkEnv &env, LinkTraits traits, DpramMap map) : env_(env), traits_(std::move(traits)), map_(map) {}

Link::~Link() = default;

// On a serial line every byte below is a command that may time out. The first
// time-out ends the exchange: a board that stopped answering would otherwise
// cost a whole reply time-out for each of the remaining bytes, and a job whose
// toggle is never flipped was not handed over.
bool Link::putJob(const Record &rec)
{
    const int n = rec[7];
    const uint8_t a = getByte(map_.jobToggle);
    if (lost())
        return false;
    const uint8_t m = getByte(map_.masterToggle);
    if (lost() || (a & 1) != (m & 1))
        return false;
    for (int i = 0; i <= n + 7; ++i) {
        setByte(map_.jobArea + uint32_t(i), rec[i]);
        if (lost())
            return false;
    }
    setByte(map_.jobToggle, uint8_t((a & 0xFE) + ((a + 1) & 1)));
    if (lost())
        return false;
    qCDebug(lcMailbox) << "job" << Qt::hex << rec[0] << "n" << Qt::dec << n;
    return true;
}

bool Link::getMessage()
{
    auto &mbuf = env_.mbuf;
    const uint8_t a = getByte(map_.jobToggle);
    if (lost())
        return false;
    const uint8_t m = getByte(map_.masterToggle);
    if (lost() || (m & 2) == (a & 2))
        return false;
    const int n = getByte(map_.messageArea + 7);
    // Bytes 0 .. n + 8: at most 264 of the buffer's 512.
    for (int i = 0; i <= n + 8; ++i) {
        mbuf[std::size_t(i)] = getByte(map_.messageArea + uint32_t(i));
        if (lost())
            return false;
    }
    // Acknowledged only once the whole message is in.
    setByte(map_.jobToggle, uint8_t((a & 0xFD) + (m & 2)));
    if (lost())
        return false;
    qCDebug(lcMailbox) << "message" << Qt::hex << mbuf[0] << "n" << Qt::dec << n;
    return true;
}

uint8_t Link::listByte(int list, int index)
{
    return getByte(map_.stationLists + uint32_t(list * 0x10 + index));
}

bool Link::listBit(int list, int station)
{
    const int i = station / 8;
    Cache &c = lists_[list];
    // Most stations of a round share their list byte with the one before.
    uint8_t value = c.value;
    if (i != c.index) {
        if (list == 0 && i < c.index)
            newRound(i);
        value = listByte(list, i);
    }
    c = {i, value};
    return (value >> (station % 8)) & 1;
}

bool Link::stationRunning(int station)
{
    return listBit(0, station);
}

bool Link::stationDiagnosis(int station)
{
    return listBit(1, station);
}

void Link::quietWait(int ms)
{
    env_.pump.sleepMs(ms);
}

NoLink::NoLink(LinkEnv &env) : Link(env, LinkTraits{}, MapFor(MapVariant::Tessel)) {}

} // namespace meridan::iface
