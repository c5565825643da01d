// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and replacing the project's Ioconfig.cnf.
#include "core/readfile.h"
#include "iec/ioconfig.h"

#include "core/context.h"
#include "core/savefile.h"
#include "iec/export_paths.h"

#include <QFile>
#include <QFileInfo>

namespace meridan::iec {

namespace {
// A file this big is not an I/O configuration; it is left alone.
constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;
} // namespace

IoRewrite RewriteIoConfig(Context &ctx, const IoMap &map)
{
    IoRewrite r;
    const ExportPaths paths = GetExportPaths(ctx);
    r.path = paths.ioConfig;
    QByteArray old;
    const bool existed = QFileInfo::exists(r.path);
    if (existed) {
        QFile f(r.path);
        QString why = QStringLiteral("too big");
        if (QFileInfo(r.path).size() > kMaxFileBytes || !OpenRegularFile(f, &why)) {
            r.error = ctx.tr(QStringLiteral("Cannot read %1: %2"), QStringLiteral("%1 ist nicht lesbar: %2")).arg(r.path, why);
            return r;
        }
        old = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            r.error = ctx.tr(QStringLiteral("Cannot read %1: %2"), QStringLiteral("%1 ist nicht lesbar: %2"))
                          .arg(r.path, f.errorString());
            return r;
        }
    }
    r.plan = PlanIoConfig(old, map);
    if (existed && r.plan.text == old)
        return r;
    if (existed) {
        const QString why = WriteWholeFile(paths.backup, old);
        if (!why.isEmpty()) {
            r.error = ctx.tr(QStringLiteral("Cannot write the backup %1: %2; %3 is unchanged"),
                             QStringLiteral("Die Sicherung %1 ist nicht schreibbar: %2; %3 bleibt unverändert"))
                          .arg(paths.backup, why, r.path);
            return r;
        }
        r.backup = paths.backup;
    }
    const QString why = WriteWholeFile(r.path, r.plan.text);
    if (!why.isEmpty()) {
        r.error = ctx.tr(QStringLiteral("Cannot write %1: %2; the file is unchanged"),
                         QStringLiteral("%1 ist nicht schreibbar: %2; die Datei bleibt unverändert"))
                      .arg(r.path, why);
        return r;
    }
    r.changed = true;
    return r;
}

} // namespace meridan::iec
