// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/debugview.h"

#include "core/context.h"
#include "core/numbers.h"
#include "iface/link.h"
#include "config/numentry.h"
#include "core/texts.h"

namespace meridan {

DebugShown DebugView::Text1_Change(iface::Link &link, const QString &text1)
{
    DebugShown shown;
    const auto parsed = LeadingHex(QStringView(text1).trimmed());
    address = parsed.value_or(kDebugMaxAddress + 1);
    if (address > kDebugMaxAddress) {
        address = kDebugMaxAddress;
        shown.text1 = HexUpper(address);
    }
    shown.text2 = HexUpper(link.getByte(address));
    if (address <= 0x7FFF)
        shown.scroll = int(address);
    return shown;
}

DebugShown DebugView::VScroll1_Change(iface::Link &link, int position, QString &text1)
{
    text1 = HexUpper(uint32_t(qMax(0, position)));
    return Text1_Change(link, text1);
}

std::optional<DebugShown> DebugView::Command2_Click(Context &ctx, iface::Link &link, const QString &text3)
{
    const auto value = LeadingHex(QStringView(text3).trimmed());
    if (!value || *value > 0xFF) {
        EntryMessage(ctx, EntryProblem::TooHigh, HexRangeTitle(ctx, 0, 0xFF));
        return std::nullopt;
    }
    link.setByte(address, uint8_t(*value));
    return Text1_Change(link, HexUpper(address));
}

} // namespace meridan
