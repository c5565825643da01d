// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/export_paths.h"

#include "core/context.h"

#include <QFileInfo>

namespace meridan::iec {

namespace {

bool IsSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// `name` ("UNPACKED\Ioconfig.cnf") inside `folder`: an existing file or
// sub-folder of any case, else the name as written.
QString InFolder(const QString &folder, const QString &name)
{
    const QString rel = NormalizeSeparators(name);
    if (!folder.endsWith(QLatin1Char('/')))
        return folder + rel; // a prefix, not a folder
    const QString dir = folder.chopped(1);
    const QString found = FindFileNoCase(dir.isEmpty() ? QStringLiteral("/") : dir, rel);
    if (!found.isEmpty())
        return found;
    const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString sub = FindFileNoCase(dir.isEmpty() ? QStringLiteral("/") : dir, rel.left(slash));
        if (!sub.isEmpty())
            return sub + rel.mid(slash);
    }
    return folder + rel;
}

} // namespace

QString ProjectFolderPath(const Context &ctx)
{
    const QString arg = ctx.st.projectFolder;
    if (arg.isEmpty())
        return ctx.root.dir() + QLatin1Char('/');
    const QString mapped = ctx.root.mapPath(arg);
    if (mapped.endsWith(QLatin1Char('/'))) {
        const QString dir = mapped.chopped(1);
        return (dir.isEmpty() ? dir : ResolveNoCase(dir)) + QLatin1Char('/');
    }
    const QString resolved = ResolveNoCase(mapped);
    if (QFileInfo(resolved).isDir())
        return resolved + QLatin1Char('/');
    return mapped;
}

ExportPaths GetExportPaths(const Context &ctx)
{
    ExportPaths p;
    p.folder = ProjectFolderPath(ctx);
    p.backup = InFolder(p.folder, QStringLiteral("IoConfig.old"));
    p.varsSpare = InFolder(p.folder, QStringLiteral("meridan.vb"));
    p.ioConfig = InFolder(p.folder, QStringLiteral("Ioconfig.cnf"));

    const QString arg = ctx.st.projectFolder;
    bool separatorAfterFirst = false;
    for (qsizetype i = 1; i < arg.size(); ++i)
        separatorAfterFirst = separatorAfterFirst || IsSeparator(arg[i]);
    if (arg.isEmpty() || !separatorAfterFirst) {
        p.vars = InFolder(p.folder, QStringLiteral("Sps.vb"));
        return p;
    }
    const QString unpacked = InFolder(p.folder, QStringLiteral("UNPACKED\\Globals.vb"));
    if (ProjectFileExists(unpacked)) {
        p.vars = unpacked;
        p.ioConfig = InFolder(p.folder, QStringLiteral("UNPACKED\\Ioconfig.cnf"));
        return p;
    }
    const QString globals = InFolder(p.folder, QStringLiteral("globals.vb"));
    if (ProjectFileExists(globals)) {
        p.vars = globals;
        return p;
    }
    // The project's own name: the last folder of the path.
    QString trimmed = p.folder;
    while (!trimmed.isEmpty() && IsSeparator(trimmed.back()))
        trimmed.chop(1);
    const QString last = trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
    p.vars = InFolder(p.folder, last + QStringLiteral(".vb"));
    return p;
}

} // namespace meridan::iec
