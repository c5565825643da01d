#include "iface/mailbox.h"

#include "core/context.h"
#include "iface/board.h"
#include "iface/dpram.h"
#include "iface/logging.h"
#include "iface/serial.h"

#include <span>

namespace meridan::iface {

namespace {

bool FrameMode(const Board &b)
{
    return b.frameMode;
}

// The serial live list has 17 bytes; stations beyond 135 have none.
uint8_t ListByte(const std::array<uint8_t, 17> &list, int i)
{
    return i < int(list.size()) ? list[std::size_t(i)] : 0;
}

} // namespace

uint8_t PutKomm(Context &ctx)
{
    Board *b = BoardOf(ctx);
    Record &rec = ctx.st.record;
    const int n = rec[7];
    if (b && ctx.st.interfaceKind == 4) {
        const int32_t r = b->driver.PCI_PutCommandEx(n + 7, rec.span(), b->networkHandle);
        if (b->driver.networkFailed())
            b->serialTimeout = true;
        return uint8_t(r & 0xFF);
    }
    if (b && FrameMode(*b)) {
        SendJob(ctx);
        return 1;
    }
    const DpramMap map = b ? b->map : MapFor(MapVariant::Tessel);
    const uint8_t a = GetByte(ctx, map.jobToggle);
    const uint8_t m = GetByte(ctx, map.masterToggle);
    if ((a & 1) != (m & 1))
        return 0;
    for (int i = 0; i <= n + 7; ++i)
        SetByte(ctx, map.jobArea + uint32_t(i), rec[i]);
    SetByte(ctx, map.jobToggle, uint8_t((a & 0xFE) + ((a + 1) & 1)));
    qCDebug(lcMailbox) << "job" << Qt::hex << rec[0] << "n" << Qt::dec << n;
    return 1;
}

uint8_t GetMeld(Context &ctx)
{
    Board *b = BoardOf(ctx);
    auto &mbuf = ctx.st.mbuf;
    if (b && ctx.st.interfaceKind == 4) {
        const int32_t r = b->driver.PCI_GetMeldeEx(255, mbuf, b->networkHandle);
        if (b->driver.networkFailed())
            b->serialTimeout = true;
        return uint8_t(r & 0xFF);
    }
    if (b && FrameMode(*b)) {
        if (b->msgRequestCounter == 0) {
            OrderMeld(ctx, 0);
            b->msgRequestCounter = kRequestRounds;
        } else {
            --b->msgRequestCounter;
        }
        QByteArray text;
        int16_t flag = 0;
        ReceiveMeld(ctx, text, flag);
        return flag ? 1 : 0;
    }
    const DpramMap map = b ? b->map : MapFor(MapVariant::Tessel);
    const uint8_t a = GetByte(ctx, map.jobToggle);
    const uint8_t m = GetByte(ctx, map.masterToggle);
    if ((m & 2) == (a & 2))
        return 0;
    const int n = GetByte(ctx, map.messageArea + 7);
    // Bytes 0 .. n + 8: at most 264 of the buffer's 512.
    for (int i = 0; i <= n + 8; ++i)
        mbuf[std::size_t(i)] = GetByte(ctx, map.messageArea + uint32_t(i));
    SetByte(ctx, map.jobToggle, uint8_t((a & 0xFD) + (m & 2)));
    qCDebug(lcMailbox) << "message" << Qt::hex << mbuf[0] << "n" << Qt::dec << n;
    return 1;
}

uint8_t StationRun(Context &ctx, uint8_t station)
{
    Board *b = BoardOf(ctx);
    const int i = station / 8;
    const uint8_t mask = uint8_t(1u << (station % 8));
    if (!b)
        return 0;
    StationCache &c = b->runCache;
    uint8_t value;
    if (i == c.index) {
        value = c.value;
    } else if (FrameMode(*b)) {
        if (i < c.index) {
            // A new round over the stations: ask for a fresh live list, and
            // count the rounds whose request went unanswered.
            if (b->liveRequestCounter == 0) {
                OrderLiveDiag(ctx, uint8_t(i));
                b->liveRequestCounter = kRequestRounds;
            } else if (--b->liveRequestCounter == 0) {
                if (++b->liveMissCounter > kLiveMissLimit)
                    b->serialTimeout = true;
            }
        }
        value = ListByte(b->runList, i);
    } else {
        value = GetByte(ctx, b->map.stationLists + uint32_t(i));
    }
    c.index = i;
    c.value = value;
    return (value & mask) ? 1 : 0;
}

uint32_t StationDia(Context &ctx, uint8_t station)
{
    Board *b = BoardOf(ctx);
    const int i = station / 8;
    const uint8_t mask = uint8_t(1u << (station % 8));
    if (!b)
        return kBlue;
    StationCache &c = b->diaCache;
    uint8_t value;
    if (i == c.index)
        value = c.value;
    else if (FrameMode(*b))
        value = ListByte(b->diaList, i);
    else
        value = GetByte(ctx, b->map.stationLists + 0x10 + uint32_t(i));
    c.index = i;
    c.value = value;
    return (value & mask) ? kRed : kBlue;
}

void ConnectionLost(Context &ctx)
{
    Board *b = BoardOf(ctx);
    switch (ctx.st.interfaceKind) {
    case 1:
        ctx.status(QStringLiteral("Communicationtimeout from Tessel"));
        break;
    case 2:
    case 3:
        if (b)
            b->serial->close();
        ctx.status(QStringLiteral("Communicationtimeout from Ravelin/Dromon"));
        if (b) {
            b->view.eepromMenuEnabled = false;
            b->view.eepromMenuState = 0;
        }
        break;
    case 4:
        if (b)
            b->driver.PCI_DeInitEx(b->networkHandle);
        ctx.status(QStringLiteral("Communicationtimeout from TCP Port"));
        break;
    default:
        break;
    }
    ctx.st.interfaceKind = 0;
    if (b) {
        b->view.hwText.clear();
        b->view.betriebsart.clear();
        b->view.load = false;
        b->view.run = false;
        b->serialTimeout = false;
    }
}

} // namespace meridan::iface
