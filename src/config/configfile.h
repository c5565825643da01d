// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The *.dp1 configuration file: an 8-byte header (0x10, seven zeros), the 256
// bytes of the master record, then each slave record's bytes 0..L.
#include <QString>

class QIODevice;

namespace meridan {

struct Context;

// Reads `path` into the image. Ends at the first damaged record, keeping the
// records read completely so far. Returns the number of slave records read,
// or -1 when the file has no master record or reading stopped at an error.
// `damage`, when given, receives what is wrong with the file (a record cut
// short, a bad length, no master record, not a regular file), or is emptied.
int LoadConfigFile(Context &ctx, const QString &path, QString *damage = nullptr);
// The same from an open device (a file, or bytes in memory).
int LoadConfigDevice(Context &ctx, QIODevice &in, QString *damage = nullptr);
// Writes the master record and the slaves 10..99. The old file is replaced
// only once every byte is written. Returns false when the file was not written.
bool SaveConfigFile(Context &ctx, const QString &path);
// The start-up reader: `path` empty means ROOT/setup/AutoLoad.dp1. Returns
// false when no start-up file exists.
bool AutoLoad(Context &ctx, const QString &path);

// The File menu commands. Load refuses a file that is not a configuration
// (the one in memory stays) and says what a damaged one lost; it returns
// true when the image was replaced by the file's content. Save returns true
// when the file was written.
void Neufile(Context &ctx);
bool Laden(Context &ctx);
bool Save(Context &ctx);

} // namespace meridan
