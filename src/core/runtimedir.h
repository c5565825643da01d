// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's window and font code asks for the user's runtime folder
// (XDG_RUNTIME_DIR) and warns on stderr when it is missing or not private:
// under cron, under sudo (the caller's folder, owned by someone else) or in
// a service. A tool that prints a PDF from cron must not say more than its
// results, so the programs make sure of a usable folder before they create
// their Q(Gui)Application.
#include <QString>

namespace meridan {

// Keeps $XDG_RUNTIME_DIR when it names a folder of this user with mode 700;
// otherwise points it at one: /run/user/UID when that is such a folder, else
// TMP/runtime-UID (made with mode 700 when missing, used only when it is this
// user's with mode 700), else a fresh private folder that is removed at exit.
// Returns the folder in force.
QString UsePrivateRuntimeDir();

// True when `path` is a folder (not a link) owned by this user with mode 700.
bool IsPrivateRuntimeDir(const QString &path);

} // namespace meridan
