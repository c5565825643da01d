// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DP-RAM debug panel: look at any byte of the master's DP-RAM and
// overwrite it, on whatever connection is open.
#include <QString>
#include <cstdint>
#include <optional>

namespace meridan {

struct Context;
namespace iface {
class Link;
}

constexpr uint32_t kDebugMaxAddress = 0x1FFFC;

struct DebugShown {
    std::optional<QString> text1; // set when the address field must change (clamped)
    QString text2;                // the value, upper-case hex
    std::optional<int> scroll;    // scroll bar position, when the address fits it
};

class DebugView {
public:
    uint32_t address = 0;

    // Text1 changed: read the address (hex, up to the first non-hex
    // character), clamp it, read the byte.
    DebugShown Text1_Change(iface::Link &link, const QString &text1);
    // The scroll bar moved: its position becomes the address.
    DebugShown VScroll1_Change(iface::Link &link, int position, QString &text1);
    // OK: writes Text3 (hex 0..FF) at the address and shows what the master
    // now holds. A value above FF is refused with a message; nothing is written.
    std::optional<DebugShown> Command2_Click(Context &ctx, iface::Link &link, const QString &text3);
};

} // namespace meridan
