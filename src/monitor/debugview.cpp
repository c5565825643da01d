// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/debugview.h"

#include "core/context.h"
#include "core/numbers.h"
#include "iface/link.h"
#include "config/numentry.h"
#include "core/texts.h"

#include <algorithm>

namespace meridan {

namespace {

// Only hexadecimal digits: "ZZ" or "2F G" is no address, where reading
// the leading digits would quietly make it 0 or 2F.
bool AllHex(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return HexDigit(c) >= 0; });
}

} // namespace

DebugShown DebugView::Text1_Change(const Context &ctx, iface::Link &link, const QString &text1)
{
    DebugShown shown;
    const QStringView text = QStringView(text1).trimmed();
    if (!AllHex(text)) {
        addressValid = false;
        shown.text2 = QStringLiteral("?");
        shown.problem = ctx.tr(QStringLiteral("DPR Debug: \"%1\" is not a hexadecimal address"),
                               QStringLiteral("DPR Debug: \"%1\" ist keine hexadezimale Adresse"))
                            .arg(EchoText(text, 20));
        return shown;
    }
    const auto parsed = LeadingHex(text);
    address = parsed.value_or(kDebugMaxAddress + 1);
    if (address > kDebugMaxAddress) {
        address = kDebugMaxAddress;
        shown.text1 = HexUpper(address);
    }
    if (address <= 0x7FFF)
        shown.scroll = int(address);
    // A board answers only for the DP-RAM it has; a network board takes a
    // request beyond it as a fault of the line.
    const uint32_t size = link.map().size;
    addressValid = address < size;
    if (!addressValid) {
        shown.text2 = ctx.tr(QStringLiteral("outside"), QStringLiteral("außerhalb"));
        shown.problem = ctx.tr(QStringLiteral("DPR Debug: address %1 is outside the board's DP-RAM (0 to %2)"),
                               QStringLiteral("DPR Debug: Adresse %1 liegt außerhalb des DP-RAM der Karte (0 bis %2)"))
                            .arg(HexUpper(address), HexUpper(size - 1));
        return shown;
    }
    shown.text2 = HexUpper(link.getByte(address));
    return shown;
}

DebugShown DebugView::VScroll1_Change(const Context &ctx, iface::Link &link, int position, QString &text1)
{
    text1 = HexUpper(uint32_t(qMax(0, position)));
    return Text1_Change(ctx, link, text1);
}

std::optional<DebugShown> DebugView::Command2_Click(Context &ctx, iface::Link &link, const QString &text3)
{
    const QStringView text = QStringView(text3).trimmed();
    const QString range = HexRangeTitle(ctx, 0, 0xFF);
    if (!AllHex(text)) {
        EntryMessage(ctx, EntryProblem::WrongInput, range);
        return std::nullopt;
    }
    const auto value = LeadingHex(text);
    if (!value || *value > 0xFF) {
        EntryMessage(ctx, EntryProblem::TooHigh, range);
        return std::nullopt;
    }
    if (!addressValid) {
        ctx.ui.message(ctx.tr(QStringLiteral("No byte written: the address field holds no address of the board's DP-RAM (0 to %1)."),
                              QStringLiteral("Kein Byte geschrieben: im Adressfeld steht keine Adresse des DP-RAM der Karte (0 bis %1)."))
                           .arg(HexUpper(link.map().size - 1)),
                       QStringLiteral("DPR Debug"), Icon::Warning);
        return std::nullopt;
    }
    link.setByte(address, uint8_t(*value));
    return Text1_Change(ctx, link, HexUpper(address));
}

} // namespace meridan
