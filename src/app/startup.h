#pragma once
// Start-up of the program: the configuration the main window opens with.
#include <QString>

namespace meridan {

struct Context;

// The text shown in the message line when there is no start-up file.
QString NoAutoloadText();

// The start-up file for a project folder given on the command line: the
// folder text followed by "unpacked\autoload.dp1". The folder is meant to end
// with a separator ("C:\proj\", "/home/me/proj/"); a folder that exists but is
// written without one ("/home/me/proj") gets it. Empty for no argument.
QString StartupFilePath(const Context &ctx, const QString &folderArgument);

// Clears the image and the interface kind, resets the station list lines and
// reads the start-up file. Returns false, with NoAutoloadText() in the message
// line, when there is none.
bool StartupConfig(Context &ctx, const QString &folderArgument);

} // namespace meridan
