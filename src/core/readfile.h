// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a file whose name came from outside (a configuration, the driver
// table, the settings): it is opened without blocking, so a FIFO or a device
// named where a file belongs cannot stall the program in open(), and anything
// but a regular file is refused.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

namespace meridan {

// Opens `file` (its file name set) for reading. False with the reason in
// `why` when it cannot be opened or is not a regular file.
bool OpenRegularFile(QFile &file, QString *why = nullptr);
// At most `most` bytes of the regular file at `path`.
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 most, QString *why = nullptr);

} // namespace meridan
