// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace meridan {

Root::Root(QString dir) : dir_(QDir::cleanPath(NormalizeSeparators(dir))) {}

Root Root::fromEnvironment(const QString &explicitDir)
{
    if (!explicitDir.isEmpty())
        return Root(QDir(explicitDir).absolutePath());
    const QString env = qEnvironmentVariable("ZEL_ROOT");
    if (!env.isEmpty())
        return Root(QDir(env).absolutePath());
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return Root(base + QStringLiteral("/zel"));
}

QString NormalizeSeparators(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QString Root::path(const QString &relative) const
{
    QString rel = NormalizeSeparators(relative);
    while (rel.startsWith(QLatin1Char('/')))
        rel.remove(0, 1);
    return rel.isEmpty() ? dir_ : dir_ + QLatin1Char('/') + rel;
}

QString Root::mapPath(const QString &p) const
{
    QString n = NormalizeSeparators(p);
    static const QString prefix = QStringLiteral("c:/zel");
    if (n.size() >= prefix.size() && n.left(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0
        && (n.size() == prefix.size() || n.at(prefix.size()) == QLatin1Char('/')))
        return path(n.mid(prefix.size()));
    return n;
}

bool Root::ensureLayout() const
{
    QDir d;
    bool ok = d.mkpath(dir_);
    for (const char *sub : {"setup", "GSD", "help", "driver", "download"})
        ok = d.mkpath(path(QString::fromLatin1(sub))) && ok;
    return ok;
}

QString FindFileNoCase(const QString &dir, const QString &name)
{
    const QString rel = NormalizeSeparators(name);
    const QString exact = dir.isEmpty() ? rel : dir + QLatin1Char('/') + rel;
    if (QFileInfo::exists(exact))
        return exact;
    QString current = dir.isEmpty() ? QStringLiteral(".") : dir;
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        QDir d(current);
        if (!d.exists())
            return {};
        const QStringList entries = d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QString match;
        for (const QString &e : entries) {
            if (e.compare(parts[i], Qt::CaseInsensitive) == 0) {
                match = e;
                if (e == parts[i])
                    break;
            }
        }
        if (match.isEmpty())
            return {};
        current = d.filePath(match);
    }
    return current;
}

QString ResolveNoCase(const QString &path)
{
    const QString n = NormalizeSeparators(path);
    if (n.isEmpty() || QFileInfo::exists(n))
        return n;
    const QFileInfo fi(n);
    const bool absolute = n.startsWith(QLatin1Char('/'));
    const QString found = FindFileNoCase(absolute ? QStringLiteral("/") : QString(),
                                         absolute ? n.mid(1) : n);
    if (found.isEmpty())
        return n;
    return absolute ? QDir::cleanPath(found) : found;
}

} // namespace meridan
