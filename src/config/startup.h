// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Start-up of the program: the configuration the main window opens with.
#include <QString>

namespace meridan {

struct Context;

// The text shown in the message line when there is no start-up file.
QString NoAutoloadText();

// The start-up file for the command-line argument. A project folder gives the
// folder text followed by "unpacked\autoload.dp1": the folder is meant to end
// with a separator ("C:\proj\", "/home/me/proj/"); a folder that exists but is
// written without one ("/home/me/proj") gets it. A configuration file (one
// that exists, or any name ending in ".dp1", as a file manager passes it) is
// the start-up file itself, made absolute. Empty for no argument.
QString StartupFilePath(const Context &ctx, const QString &argument);

// True when the argument names a configuration file rather than a project folder.
bool NamesConfigFile(const Context &ctx, const QString &argument);

// Clears the image and the interface kind, resets the station list lines and
// reads the start-up file. Returns false when there is none, with
// NoAutoloadText() in the message line, or for a named configuration file
// that does not exist, "File not found: " and its path.
bool StartupConfig(Context &ctx, const QString &argument);

} // namespace meridan
