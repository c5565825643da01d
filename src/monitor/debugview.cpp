#include "monitor/debugview.h"

#include "core/context.h"
#include "busops/master_port.h"
#include "config/numentry.h"
#include "core/texts.h"

namespace meridan {

std::optional<uint32_t> LeadingHex(const QString &text)
{
    quint64 value = 0;
    for (const QChar c : text.trimmed()) {
        int d = -1;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            d = c.unicode() - '0';
        else if (c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F'))
            d = c.toUpper().unicode() - 'A' + 10;
        if (d < 0)
            break;
        value = value * 16 + quint64(d);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return uint32_t(value);
}

DebugShown DebugView::Text1_Change(MasterPort &port, const QString &text1)
{
    DebugShown shown;
    const auto parsed = LeadingHex(text1);
    address = parsed.value_or(kDebugMaxAddress + 1);
    if (address > kDebugMaxAddress) {
        address = kDebugMaxAddress;
        shown.text1 = HexUpper(address);
    }
    shown.text2 = HexUpper(port.GetByte(address));
    if (address <= 0x7FFF)
        shown.scroll = int(address);
    return shown;
}

DebugShown DebugView::VScroll1_Change(MasterPort &port, int position, QString &text1)
{
    text1 = HexUpper(uint32_t(qMax(0, position)));
    return Text1_Change(port, text1);
}

std::optional<DebugShown> DebugView::Command2_Click(Context &ctx, MasterPort &port, const QString &text3)
{
    const auto value = LeadingHex(text3);
    if (!value || *value > 0xFF) {
        ctx.ui.message(ctx.tr(QStringLiteral("value too high"), QString::fromUtf8("Wert zu groß")), HexRangeTitle(ctx, 0, 0xFF));
        return std::nullopt;
    }
    port.SetByte(address, uint8_t(*value));
    return Text1_Change(port, HexUpper(address));
}

} // namespace meridan
