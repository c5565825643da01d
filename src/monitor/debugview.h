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
    QString text2;                // the value, upper-case hex; or why there is none
    std::optional<int> scroll;    // scroll bar position, when the address fits it
    QString problem;              // for the message line: why nothing was read; empty when read
};

class DebugView {
public:
    uint32_t address = 0;
    bool addressValid = true; // false: the field holds no address of the board's DP-RAM

    // Text1 changed: read the address (hex digits only; empty is 0), clamp
    // it, read the byte. Text that is not a hexadecimal number, or an
    // address beyond the board's DP-RAM, reads nothing and says so.
    DebugShown Text1_Change(const Context &ctx, iface::Link &link, const QString &text1);
    // The scroll bar moved: its position becomes the address.
    DebugShown VScroll1_Change(const Context &ctx, iface::Link &link, int position, QString &text1);
    // OK: writes Text3 (hex 0..FF) at the address and shows what the master
    // now holds. A value that is not hexadecimal or above FF is refused with
    // a message, as is an address the board does not have; nothing is written.
    std::optional<DebugShown> Command2_Click(Context &ctx, iface::Link &link, const QString &text3);
};

} // namespace meridan
