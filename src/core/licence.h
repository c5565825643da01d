// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The licence notice every program shows after its version (--version, the
// About box).

namespace meridan {

inline constexpr const char *kCopyrightLine = "Copyright (C) 2026 The Meridan developers";
inline constexpr const char *kLicenceNotice =
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.";

} // namespace meridan
