// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtimedir.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace meridan {

bool IsPrivateRuntimeDir(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat st {};
    // lstat: a link to someone's folder is not ours, whatever it points to.
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

QString UsePrivateRuntimeDir()
{
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateRuntimeDir(given))
        return given;
    const QString uid = QString::number(::geteuid());
    QString dir = QStringLiteral("/run/user/") + uid;
    if (!IsPrivateRuntimeDir(dir)) {
        // The name Qt itself would fall back on, but never one that somebody
        // else made first: mkdir fails on an existing name, and what exists
        // is used only when it is ours and private.
        dir = QDir::tempPath() + QStringLiteral("/runtime-") + uid;
        ::mkdir(QFile::encodeName(dir).constData(), 0700);
        if (!IsPrivateRuntimeDir(dir)) {
            static std::unique_ptr<QTemporaryDir> own; // removed when the program ends
            if (!own)
                own = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/runtime-") + uid + QStringLiteral("-XXXXXX"));
            dir = own->isValid() ? own->path() : QString();
        }
    }
    if (!dir.isEmpty())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    return dir;
}

} // namespace meridan
