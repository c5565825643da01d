// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

namespace meridan::cli {

std::optional<QString> TakeOption(QStringList &args, const QString &name)
{
    const QString flag = QStringLiteral("--") + name;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == flag && i + 1 < args.size()) {
            const QString value = args[i + 1];
            args.remove(i, 2);
            return value;
        }
        if (args[i].startsWith(flag + QLatin1Char('='))) {
            const QString value = args[i].mid(flag.size() + 1);
            args.removeAt(i);
            return value;
        }
    }
    return std::nullopt;
}

std::optional<iface::HwChoice> TakeHwOption(QStringList &args, QString *error)
{
    if (const auto name = TakeOption(args, QStringLiteral("hw")))
        return iface::ParseHwName(*name, error);
    if (error)
        *error = QStringLiteral("--hw HW is required");
    return std::nullopt;
}

QString HwNameHelp()
{
    return QStringLiteral(
        "  none                  no hardware\n"
        "  tessel                Tessel/DPX card (DP-RAM)\n"
        "  vme:N                 board in VME slot N, 1..15 (DP-RAM)\n"
        "  corvet-dpram          Corvet board (DP-RAM)\n"
        "  ravelin:com1|com2     Ravelin on a serial line, 9600 baud\n"
        "  dromon:com1|com2      Dromon on a serial line, 19200 baud\n"
        "  corvet:com1|com2      Corvet on a serial line, 19200 baud\n"
        "  ravelin-tcp[:TARGET]  Ravelin over TCP/IP (default target OS9Target)\n"
        "  dromon-tcp[:TARGET]   Dromon over TCP/IP\n"
        "  ketch-tcp[:TARGET]    Ketch over TCP/IP\n"
        "  TARGET is a name from ROOT/driver/zelpci.cfg [network], or host[:port].\n");
}

} // namespace meridan::cli
