#include "iface/dpram.h"

#include "core/context.h"
#include "iface/board.h"
#include "iface/logging.h"
#include "iface/serial.h"

#include <span>

namespace meridan::iface {

namespace {

// A network exchange that failed leaves the time-out flag for the status
// poll, which then reports the lost connection.
void NoteNetworkFailure(Board &b)
{
    if (b.driver.networkFailed())
        b.serialTimeout = true;
}

} // namespace

bool LockGetByte(Context &ctx)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return false;
    const qint64 start = ctx.pump.nowMs();
    while (b->accessLock) {
        if (ctx.pump.nowMs() - start >= kLockWaitMs) {
            qCWarning(lcDriver) << "DP-RAM access lock not given back within" << kLockWaitMs << "ms";
            return false;
        }
        ctx.pump.processEvents();
        if (b->accessLock)
            ctx.pump.sleepMs(1);
    }
    b->accessLock = true;
    return true;
}

void ReleaseGetByte(Context &ctx)
{
    if (Board *b = BoardOf(ctx))
        b->accessLock = false;
}

uint8_t GetByte(Context &ctx, uint32_t address)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return 0;
    switch (ctx.st.interfaceKind) {
    case 1:
        return b->driver.PCI_GetByte(address);
    case 2:
    case 3:
        return SerRead(ctx, uint16_t(address));
    case 4: {
        if (!LockGetByte(ctx))
            return 0;
        const uint8_t v = b->driver.PCI_GetByteEx(address, b->networkHandle);
        ReleaseGetByte(ctx);
        NoteNetworkFailure(*b);
        return v;
    }
    default:
        return 0;
    }
}

void SetByte(Context &ctx, uint32_t address, uint8_t value)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return;
    switch (ctx.st.interfaceKind) {
    case 1:
        b->driver.PCI_SetByte(address, value);
        break;
    case 2:
    case 3:
        SerWrite(ctx, uint16_t(address), value);
        break;
    case 4:
        if (!LockGetByte(ctx))
            return;
        b->driver.PCI_SetByteEx(address, value, b->networkHandle);
        ReleaseGetByte(ctx);
        NoteNetworkFailure(*b);
        break;
    default:
        break;
    }
}

void PauseWithEvents(Context &ctx, int count)
{
    for (int i = 0; i < count; ++i) {
        ctx.pump.processEvents();
        ctx.pump.sleepMs(1);
    }
}

uint8_t GetMultiByteToMbuf(Context &ctx, uint16_t address, uint16_t count, uint16_t offset)
{
    Board *b = BoardOf(ctx);
    auto &m = ctx.st.mbuf;
    if (!b || offset >= m.size() || !LockGetByte(ctx))
        return 0;
    // The block lands in the message buffer and never beyond its end.
    const std::span<uint8_t> dst(m.data() + offset, m.size() - offset);
    b->driver.PCI_GetMultiByteEx(address, count, dst, b->networkHandle);
    ReleaseGetByte(ctx);
    NoteNetworkFailure(*b);
    return 0;
}

} // namespace meridan::iface
