// poke: writes one DP-RAM byte over any connection.
#include "cli/commands.h"
#include "iface/board.h"
#include "iface/connect.h"
#include "iface/dpram.h"
#include "iface/hwname.h"

namespace meridan::cli {

int CmdPoke(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = iface::TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "poke", why);
    if (args.size() != 2) {
        env.err << "usage: meridan-cli poke --hw HW ADDR VALUE" << Qt::endl;
        return kUsage;
    }
    const auto addr = iface::ParseNumberArg(args[0], 0xFFFF);
    const auto value = iface::ParseNumberArg(args[1], 0xFF);
    if (!addr || !value) {
        env.err << "meridan-cli poke: ADDR is 0..0xFFFF and VALUE 0..255 (decimal or 0x...)" << Qt::endl;
        return kUsage;
    }
    if (!ConnectOrReport(env, *hw))
        return kFailed;
    iface::SetByte(env.ctx, *addr, uint8_t(*value));
    const iface::Board *b = iface::BoardOf(env.ctx);
    const bool lost = b && b->serialTimeout;
    if (lost)
        env.err << "meridan-cli poke: the board stopped answering" << Qt::endl;
    iface::Disconnect(env.ctx);
    return lost ? kFailed : kOk;
}

} // namespace meridan::cli
