// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/readfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace meridan {

bool OpenRegularFile(QFile &file, QString *why)
{
    const auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
    // A regular file never blocks; plain reads from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    return true;
}

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 most, QString *why)
{
    QFile f(path);
    if (!OpenRegularFile(f, why))
        return std::nullopt;
    QByteArray bytes = f.read(most);
    if (f.error() != QFileDevice::NoError) {
        if (why)
            *why = f.errorString();
        return std::nullopt;
    }
    return bytes;
}

} // namespace meridan
