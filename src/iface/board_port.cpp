#include "iface/board_port.h"

#if __has_include("busops/master_port.h")
#include "core/context.h"
#include "iface/board.h"
#include "iface/dpram.h"
#include "iface/mailbox.h"
#include "iface/serial.h"
#include "iface/startup.h"

namespace meridan::iface {

uint8_t BoardPort::PutKomm()
{
    return iface::PutKomm(ctx_);
}

uint8_t BoardPort::GetMeld()
{
    return iface::GetMeld(ctx_);
}

uint8_t BoardPort::StationRun(int station)
{
    return iface::StationRun(ctx_, uint8_t(station));
}

uint32_t BoardPort::StationDia(int station)
{
    return iface::StationDia(ctx_, uint8_t(station));
}

uint8_t BoardPort::GetByte(uint32_t address)
{
    return iface::GetByte(ctx_, address);
}

void BoardPort::SetByte(uint32_t address, uint8_t value)
{
    iface::SetByte(ctx_, address, value);
}

bool BoardPort::serialTimeout() const
{
    const Board *b = ctx_.board;
    if (!b)
        return false;
    // A serial line whose port closed underneath (the peer hung up, the
    // adapter went away) is lost as surely as one that stopped answering: in
    // frame mode nothing else would notice while a download waits.
    const uint8_t kind = ctx_.st.interfaceKind;
    const bool portGone = (kind == 2 || kind == 3) && b->serial && !b->serial->isOpen();
    return b->serialTimeout || portGone;
}

void BoardPort::ConnectionLost()
{
    iface::ConnectionLost(ctx_);
}

bool BoardPort::StartUp()
{
    return iface::StartUp(ctx_);
}

void BoardPort::SerialWait(int ms)
{
    iface::SerialWait(ctx_, ms);
}

void BoardPort::resetLiveListRequest()
{
    if (Board *b = ctx_.board)
        b->liveRequestCounter = 0;
}

double BoardPort::firmwareVersion() const
{
    const Board *b = ctx_.board;
    return b ? b->firmwareVersion : 0.0;
}

uint16_t BoardPort::boardType() const
{
    const Board *b = ctx_.board;
    return b ? b->map.boardType : uint16_t(0x2000);
}

uint32_t BoardPort::busStateAddress() const
{
    const Board *b = ctx_.board;
    return b ? b->map.busState : 0;
}

uint32_t BoardPort::startByteAddress() const
{
    const Board *b = ctx_.board;
    return b ? b->map.startByte : 0;
}

bool BoardPort::boardVariant() const
{
    const Board *b = ctx_.board;
    return b && b->boardVariant;
}

} // namespace meridan::iface
#endif
