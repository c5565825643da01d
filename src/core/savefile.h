// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing a whole file so that it is either replaced completely or left as it
// was: the bytes go to a temporary file beside the target, which is renamed
// over it only when every byte is known to be on the disk.
#include <QByteArray>
#include <QString>

namespace meridan {

// Empty on success; otherwise why the file was left unchanged.
QString WriteWholeFile(const QString &path, const QByteArray &bytes);

} // namespace meridan
