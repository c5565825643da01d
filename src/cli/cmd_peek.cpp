// SPDX-License-Identifier: GPL-3.0-or-later
// peek: DP-RAM bytes over any connection, as hex and as text.
#include "cli/bus_session.h"
#include "core/numbers.h"
#include "core/texts.h"

namespace meridan::cli {

namespace {

QString PrintableText(const QByteArray &bytes)
{
    QString s;
    for (char c : bytes)
        s += (uchar(c) >= 0x20 && uchar(c) < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
    return s;
}

} // namespace

int HwUsageError(Env &env, const char *cmd, const QString &why)
{
    env.err << "meridan-cli " << cmd << ": " << why << "\nHW is one of:\n" << HwNameHelp() << Qt::flush;
    return kUsage;
}

int CmdPeek(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "peek", why);
    if (args.size() < 1 || args.size() > 2) {
        env.err << "usage: meridan-cli peek --hw HW ADDR [COUNT]" << Qt::endl;
        return kUsage;
    }
    const auto addr = ParseNumberArg(args[0], 0xFFFF);
    const auto count = args.size() > 1 ? ParseNumberArg(args[1], 0x10000) : std::optional<uint32_t>(1);
    if (!addr || !count || *count == 0 || *addr + *count > 0x10000) {
        env.err << "meridan-cli peek: ADDR is 0..0xFFFF, COUNT at least 1 and ADDR + COUNT at most 0x10000 "
                   "(decimal or 0x...)" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env, false);
    if (!bus.connect(*hw))
        return kFailed;
    // 16 bytes a line: "5A 45 4C  ZEL".
    QByteArray line;
    auto flush = [&] {
        QString hex;
        for (char c : line)
            hex += HexByteText(uint8_t(c));
        env.out << hex << ' ' << PrintableText(line) << '\n';
        line.clear();
    };
    for (uint32_t i = 0; i < *count; ++i) {
        line.append(char(bus.link().getByte(*addr + i)));
        if (line.size() == 16)
            flush();
    }
    if (!line.isEmpty())
        flush();
    env.out.flush();
    const bool lost = bus.link().lost();
    if (lost)
        env.err << "meridan-cli peek: the board stopped answering" << Qt::endl;
    return lost ? kFailed : kOk;
}

} // namespace meridan::cli
