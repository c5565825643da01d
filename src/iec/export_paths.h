// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the soft-PLC project's files are: the project folder (the start-up
// argument, else the root folder), its global variables file and its I/O
// configuration. File names are looked up without regard to case, as the
// programming system on Windows writes them in any case.
#include <QByteArray>
#include <QString>
#include <optional>

namespace meridan {
struct Context;
}

namespace meridan::iec {

struct ExportPaths {
    QString folder;    // the project folder, ending with "/" (or the argument as a prefix)
    QString vars;      // the global variables file
    QString ioConfig;  // Ioconfig.cnf
    QString backup;    // IoConfig.old, directly in the project folder
    QString varsSpare; // meridan.vb: where new variables go when the file cannot be replaced
};

// The paths for the project folder in the state:
//   no folder, or one without a separator after its first character:
//     folder Sps.vb and folder Ioconfig.cnf
//   folder UNPACKED/Globals.vb exists: it, and folder UNPACKED/Ioconfig.cnf
//   folder globals.vb exists: it, and folder Ioconfig.cnf
//   else: folder NAME.vb (NAME: the folder's own name), and folder Ioconfig.cnf
ExportPaths GetExportPaths(const Context &ctx);

// True when something stands at `path`: a file, a folder, a FIFO, a link
// (to nothing, too). A variables file that is not a regular file is refused
// where it is, never silently replaced by another name.
bool ProjectFileExists(const QString &path);
// The bytes of a project file; empty when there is none; nullopt with `why`
// when something stands there that cannot be read as a regular file.
std::optional<QByteArray> ReadProjectFile(const QString &path, QString &why);

// The project folder as a path: the root folder for none; "C:\ZEL\..." maps
// into the root; an existing folder written without a trailing separator gets
// one; any other text is a prefix the file names are joined to.
QString ProjectFolderPath(const Context &ctx);

} // namespace meridan::iec
