// SPDX-License-Identifier: GPL-3.0-or-later
// The IEC export: reading and replacing the project's Ioconfig.cnf and the
// addresses of the variables placed on its channels.
#include "core/readfile.h"
#include "iec/ioconfig.h"

#include "core/context.h"
#include "core/savefile.h"
#include "iec/export_paths.h"
#include "iec/vars.h"

#include <QFile>
#include <QFileInfo>

namespace meridan::iec {

namespace {

// A file this big is not an I/O configuration; it is left alone.
constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

QString CantRead(const Context &ctx, const QString &path, const QString &why)
{
    return ctx.tr(QStringLiteral("Cannot read %1: %2"), QStringLiteral("%1 ist nicht lesbar: %2")).arg(path, why);
}

IoRewrite Export(Context &ctx, const IoMap &map, VarTable *edited)
{
    IoRewrite r;
    const ExportPaths paths = GetExportPaths(ctx);
    r.path = paths.ioConfig;
    QString why;
    const std::optional<QByteArray> old = ReadProjectFile(r.path, why);
    if (!old) {
        r.error = CantRead(ctx, r.path, why);
        return r;
    }
    const bool existed = ProjectFileExists(r.path);
    const bool varsExisted = ProjectFileExists(paths.vars);
    std::optional<QByteArray> oldVars;
    if (varsExisted || edited) {
        oldVars = ReadProjectFile(paths.vars, why);
        if (!oldVars) {
            r.error = CantRead(ctx, paths.vars, why);
            return r;
        }
        r.vars = paths.vars;
    }

    // Both new texts first: nothing is written unless both can be made.
    r.plan = PlanIoConfig(*old, map);
    VarTable own;
    VarTable &table = edited ? *edited : own;
    QByteArray vars;
    if (oldVars) {
        if (!edited)
            own = ParseVars(*oldVars);
        vars = MergeVars(*oldVars, table, map, r.plan.inputBase, r.plan.outputBase, &r.varNotes);
    }
    r.changed = !existed || r.plan.text != *old;
    r.varsChanged = oldVars && (!varsExisted || vars != *oldVars);

    if (r.changed) {
        // The backup keeps the file as it was before this program last
        // changed it: its own unchanged output is regenerated at will and
        // does not take the place of what someone else wrote.
        r.backup = existed ? paths.backup : QString();
        r.backupKept = existed && IsOwnOutput(*old) && QFileInfo(paths.backup).isFile();
        if (existed && !r.backupKept) {
            why = WriteWholeFile(paths.backup, *old);
            if (!why.isEmpty()) {
                r.error = ctx.tr(QStringLiteral("Cannot write the backup %1: %2; %3 is unchanged"),
                                 QStringLiteral("Die Sicherung %1 ist nicht schreibbar: %2; %3 bleibt unverändert"))
                              .arg(paths.backup, why, r.path);
                r.changed = r.varsChanged = false;
                return r;
            }
        }
        why = WriteWholeFile(r.path, r.plan.text);
        if (!why.isEmpty()) {
            r.error = ctx.tr(QStringLiteral("Cannot write %1: %2; the file is unchanged"),
                             QStringLiteral("%1 ist nicht schreibbar: %2; die Datei bleibt unverändert"))
                          .arg(r.path, why);
            r.changed = r.varsChanged = false;
            return r;
        }
    }
    if (!r.varsChanged) {
        if (edited && oldVars)
            *edited = ParseVars(vars);
        return r;
    }

    const QFileInfo info(paths.vars);
    const QString varsBackup = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".old");
    why = varsExisted ? WriteWholeFile(varsBackup, *oldVars) : QString();
    if (why.isEmpty())
        why = WriteWholeFile(paths.vars, vars);
    if (why.isEmpty()) {
        if (edited)
            *edited = ParseVars(vars);
        return r;
    }
    r.varsChanged = false;
    r.error = ctx.tr(QStringLiteral("Cannot write %1: %2"), QStringLiteral("%1 ist nicht schreibbar: %2")).arg(paths.vars, why);
    if (edited) {
        // The editor keeps the new blocks and offers the variables elsewhere.
        r.varsUnsaved = vars;
        return r;
    }
    // The export leaves both files as they were, so they still agree.
    if (r.changed) {
        const QString back = existed ? WriteWholeFile(r.path, *old)
                                     : (QFile::remove(r.path) ? QString() : QStringLiteral("cannot remove it"));
        r.changed = !back.isEmpty();
        r.error += back.isEmpty()
            ? ctx.tr(QStringLiteral("; %1 is unchanged"), QStringLiteral("; %1 bleibt unverändert")).arg(r.path)
            : ctx.tr(QStringLiteral("; %1 has the new blocks, its previous content is in %2"),
                     QStringLiteral("; %1 hat die neuen Blöcke, der vorige Inhalt steht in %2"))
                  .arg(r.path, r.backup);
    }
    return r;
}

} // namespace

bool ProjectFileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

std::optional<QByteArray> ReadProjectFile(const QString &path, QString &why)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        if (!info.isSymLink())
            return QByteArray();
        why = QStringLiteral("a link to nothing");
        return std::nullopt;
    }
    if (info.size() > kMaxFileBytes) {
        why = QStringLiteral("too big");
        return std::nullopt;
    }
    QFile f(path);
    if (!OpenRegularFile(f, &why))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        why = f.errorString();
        return std::nullopt;
    }
    return bytes;
}

IoRewrite RewriteIoConfig(Context &ctx, const IoMap &map)
{
    return Export(ctx, map, nullptr);
}

IoRewrite RewriteIoConfig(Context &ctx, const IoMap &map, VarTable &edited)
{
    return Export(ctx, map, &edited);
}

} // namespace meridan::iec
