// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/savefile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <unistd.h>

namespace meridan {

QString WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    if (QFileInfo(path).isDir())
        return QStringLiteral("is a folder");
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    // QSaveFile::commit() flushes by itself but can report success after that
    // flush failed (a full disk), and would then rename a truncated file over
    // a good one. Flush and sync first, and give up on any error.
    if (f.write(bytes) != bytes.size() || !f.flush() || f.error() != QFileDevice::NoError
        || ::fsync(f.handle()) != 0) {
        const QString why = f.errorString().isEmpty() ? QStringLiteral("write failed") : f.errorString();
        f.cancelWriting();
        return why;
    }
    if (!f.commit())
        return f.errorString();
    return {};
}

} // namespace meridan
