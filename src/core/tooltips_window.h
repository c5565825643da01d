// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tooltips set from a bilingual table by control name, at the moment the
// window is shown in the language then in force.
#include <span>

class QWidget;

namespace meridan {

struct Context;

struct Tip {
    const char *control; // objectName
    const char *german;
    const char *english;
};

// Sets each listed control's tooltip. A label's buddy field explains itself
// the same way, unless the table gives the field a tooltip of its own.
void ApplyTips(QWidget &root, const Context &ctx, std::span<const Tip> tips);

} // namespace meridan
