// SPDX-License-Identifier: GPL-3.0-or-later
// poke: writes one DP-RAM byte over any connection.
#include "cli/bus_session.h"
#include "core/numbers.h"

namespace meridan::cli {

int CmdPoke(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "poke", why);
    if (args.size() != 2) {
        env.err << "usage: meridan-cli poke --hw HW ADDR VALUE" << Qt::endl;
        return kUsage;
    }
    const auto addr = ParseNumberArg(args[0], 0xFFFF);
    const auto value = ParseNumberArg(args[1], 0xFF);
    if (!addr || !value) {
        env.err << "meridan-cli poke: ADDR is 0..0xFFFF and VALUE 0..255 (decimal or 0x...)" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env, false);
    if (!bus.connect(*hw))
        return kFailed;
    bus.link().setByte(*addr, uint8_t(*value));
    const bool lost = bus.link().lost();
    if (lost)
        env.err << "meridan-cli poke: the board stopped answering" << Qt::endl;
    return lost ? kFailed : kOk;
}

} // namespace meridan::cli
