#include "iface/board.h"

#include "core/context.h"

namespace meridan::iface {

Board::Board(const Root &root, Pump &pump, std::unique_ptr<SerialIo> serialIo)
    : driver(root, pump), serial(std::move(serialIo))
{
}

Board *BoardOf(Context &ctx)
{
    return ctx.board;
}

} // namespace meridan::iface
