// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/savefile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace meridan {

namespace {

// Why a write failed, in the system's words: a write cut short on a nearly
// full disk sets no error of its own, and QIODevice then says only "Unknown
// error".
QString Reason(const QFileDevice &f, int err)
{
    if (err != 0)
        return QString::fromLocal8Bit(std::strerror(err));
    if (f.error() != QFileDevice::NoError && !f.errorString().isEmpty())
        return f.errorString();
    return QStringLiteral("write failed");
}

} // namespace

QString WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    if (QFileInfo(path).isDir())
        return QStringLiteral("is a folder");
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    const auto fail = [&f](int err) {
        const QString why = Reason(f, err);
        f.cancelWriting();
        return why;
    };
    // A short write is tried again for the rest: the second attempt says why
    // the first stopped.
    for (qint64 done = 0; done < bytes.size();) {
        errno = 0;
        const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(errno);
        done += n;
    }
    // QSaveFile::commit() flushes by itself but can report success after that
    // flush failed (a full disk), and would then rename a truncated file over
    // a good one. Flush and sync first, and give up on any error.
    errno = 0;
    if (!f.flush() || f.error() != QFileDevice::NoError)
        return fail(errno);
    if (::fsync(f.handle()) != 0)
        return fail(errno);
    if (!f.commit())
        return f.errorString();
    return {};
}

} // namespace meridan
