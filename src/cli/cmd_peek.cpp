// SPDX-License-Identifier: GPL-3.0-or-later
// peek and poke: DP-RAM bytes over any connection.
#include "cli/options.h"
#include "cli/session.h"
#include "core/texts.h"

#include <QJsonArray>

namespace meridan::cli {

namespace {

constexpr uint32_t kLastAddress = 0xFFFF;

QString PrintableText(const QByteArray &bytes)
{
    QString s;
    for (char c : bytes)
        s += (uchar(c) >= 0x20 && uchar(c) < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
    return s;
}

Outcome Stopped(Session &bus)
{
    return bus.conn.link().lost() ? bus.conn.LinkFailure(QStringLiteral("the board stopped answering")) : Outcome();
}

} // namespace

int CmdPeek(Invocation &inv)
{
    const auto addr = ParseNumber(inv.args[0], 0, kLastAddress);
    if (!addr)
        return inv.usage(RangeText(QStringLiteral("ADDR"), 0, kLastAddress, inv.args[0]));
    const uint32_t room = kLastAddress + 1 - *addr;
    const auto count = inv.args.size() > 1 ? ParseNumber(inv.args[1], 1, room) : std::optional<uint32_t>(1);
    if (!count)
        return inv.usage(RangeText(QStringLiteral("COUNT"), 1, room, inv.args[1]) + QStringLiteral(": ADDR + COUNT reaches at most 0x10000"));
    Session bus(inv, false);
    Outcome out = bus.connect();
    QByteArray bytes;
    if (out) {
        for (uint32_t i = 0; i < *count && !bus.conn.link().lost(); ++i)
            bytes.append(char(bus.conn.link().getByte(*addr + i)));
        out = Stopped(bus);
    }
    if (out && !inv.json) {
        // 16 bytes a line: "5A 45 4C  ZEL".
        for (qsizetype at = 0; at < bytes.size(); at += 16) {
            const QByteArray line = bytes.mid(at, 16);
            QString hex;
            for (char c : line)
                hex += HexByteText(uint8_t(c));
            inv.out << hex << ' ' << PrintableText(line) << '\n';
        }
        inv.out.flush();
    }
    QJsonArray values;
    for (char c : bytes)
        values.append(int(uint8_t(c)));
    return inv.finish(out, {{QStringLiteral("address"), int(*addr)}, {QStringLiteral("bytes"), values}});
}

int CmdPoke(Invocation &inv)
{
    const auto addr = ParseNumber(inv.args[0], 0, kLastAddress);
    if (!addr)
        return inv.usage(RangeText(QStringLiteral("ADDR"), 0, kLastAddress, inv.args[0]));
    const auto value = ParseNumber(inv.args[1], 0, 0xFF);
    if (!value)
        return inv.usage(RangeText(QStringLiteral("VALUE"), 0, 0xFF, inv.args[1]));
    Session bus(inv, false);
    Outcome out = bus.connect();
    if (out) {
        bus.conn.link().setByte(*addr, uint8_t(*value));
        out = Stopped(bus);
    }
    return inv.finish(out, {{QStringLiteral("address"), int(*addr)}, {QStringLiteral("value"), int(*value)}});
}

} // namespace meridan::cli
