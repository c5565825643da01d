// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

namespace meridan::cli {

namespace {
bool AllDigits(const QString &t, int base)
{
    if (t.isEmpty())
        return false;
    for (const QChar c : t) {
        const bool ok = base == 16 ? (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
                                   : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok)
            return false;
    }
    return true;
}
} // namespace

std::optional<uint32_t> ParseNumber(const QString &text, uint32_t min, uint32_t max)
{
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    if (!AllDigits(digits, hex ? 16 : 10) || digits.size() > 10)
        return std::nullopt;
    bool ok = false;
    const qulonglong v = digits.toULongLong(&ok, hex ? 16 : 10);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return uint32_t(v);
}

std::optional<uint8_t> ParseHexByte(const QString &text)
{
    const QString digits = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2) : text;
    if (!AllDigits(digits, 16) || digits.size() > 8)
        return std::nullopt;
    const uint v = digits.toUInt(nullptr, 16);
    return v <= 0xFF ? std::optional<uint8_t>(uint8_t(v)) : std::nullopt;
}

QString RangeText(const QString &name, uint32_t min, uint32_t max, const QString &text)
{
    return QStringLiteral("%1 is %2..%3 (decimal or 0x...), not %4").arg(name).arg(min).arg(max).arg(text);
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
