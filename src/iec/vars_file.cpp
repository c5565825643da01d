// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and replacing the project's variables file, and the outside tool
// that unpacks and packs the project around an edit.
#include "core/readfile.h"
#include "iec/vars.h"

#include "core/context.h"
#include "core/savefile.h"
#include "core/settings.h"
#include "core/texts.h"
#include "iec/export_paths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace meridan::iec {

namespace {

constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;
constexpr int kToolTimeoutMs = 120000;

// The file's bytes; nullopt (with `why`) when it exists but cannot be read.
std::optional<QByteArray> ReadFile(const QString &path, QString &why)
{
    if (!QFileInfo::exists(path))
        return QByteArray();
    QFile f(path);
    if (QFileInfo(path).size() > kMaxFileBytes) {
        why = QStringLiteral("too big");
        return std::nullopt;
    }
    if (!OpenRegularFile(f, &why))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        why = f.errorString();
        return std::nullopt;
    }
    return bytes;
}

QString CantRead(const Context &ctx, const QString &path, const QString &why)
{
    return ctx.tr(QStringLiteral("Cannot read %1: %2"), QStringLiteral("%1 ist nicht lesbar: %2")).arg(path, why);
}

} // namespace

QString ReadVars(Context &ctx, VarTable &table)
{
    const QString path = GetExportPaths(ctx).vars;
    QString why;
    const std::optional<QByteArray> bytes = ReadFile(path, why);
    table = bytes ? ParseVars(*bytes) : VarTable{};
    if (!bytes)
        return CantRead(ctx, path, why);
    return QStringLiteral("Read ") + NumText(table.live()) + QStringLiteral(" Vars from ") + path;
}

VarSave SaveVars(Context &ctx, VarTable &table)
{
    VarSave r;
    const Record &rec = ctx.st.record;
    const IoMap map = BuildIoMap(ctx.st.image, rec[0] == kSlaveMarker ? &rec : nullptr);
    r.notes = map.notes;
    // The blocks first: the variables' addresses follow the bases they get.
    r.io = RewriteIoConfig(ctx, map);
    r.notes += r.io.plan.notes;
    if (!r.io.error.isEmpty()) {
        r.error = r.io.error;
        r.status = r.error;
        return r;
    }
    const ExportPaths paths = GetExportPaths(ctx);
    QString why;
    const std::optional<QByteArray> old = ReadFile(paths.vars, why);
    if (!old) {
        r.error = CantRead(ctx, paths.vars, why);
        r.status = r.error;
        return r;
    }
    const int live = table.live();
    const QByteArray text = MergeVars(*old, table, map, r.io.plan.inputBase, r.io.plan.outputBase, &r.notes);
    const QString saved = QStringLiteral("Saved ") + NumText(live) + QStringLiteral(" Vars to ") + paths.vars;
    if (text == *old && QFileInfo::exists(paths.vars)) {
        table = ParseVars(text);
        r.status = saved;
        return r;
    }
    const QFileInfo info(paths.vars);
    const QString backup = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".old");
    if (QFileInfo::exists(paths.vars))
        why = WriteWholeFile(backup, *old);
    if (why.isEmpty())
        why = WriteWholeFile(paths.vars, text);
    if (!why.isEmpty()) {
        r.error = ctx.tr(QStringLiteral("Cannot write %1: %2"), QStringLiteral("%1 ist nicht schreibbar: %2"))
                      .arg(paths.vars, why);
        r.status = r.error;
        // The new declarations are not lost: they go beside it, if they can.
        if (WriteWholeFile(paths.varsSpare, text).isEmpty())
            r.box = QStringLiteral("              Can´t write Variables !             \n"
                                   "Please close Meridan and check <Global Variables>\n"
                                   "        New Vars are saved in meridan.vb         ");
        return r;
    }
    table = ParseVars(text);
    r.status = saved;
    return r;
}

QString RunVarTool(Context &ctx, const QString &verb)
{
    const QString command = ReadVarTool(ctx);
    if (command.isEmpty())
        return {};
    QStringList args = QProcess::splitCommand(command);
    const QString program = args.takeFirst();
    args << verb << ProjectFolderPath(ctx);
    const QString what = QStringLiteral("%1 %2").arg(program, verb);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return ctx.tr(QStringLiteral("%1 could not be started: %2"), QStringLiteral("%1 ließ sich nicht starten: %2"))
            .arg(what, p.errorString());
    QElapsedTimer clock;
    clock.start();
    while (!p.waitForFinished(50)) {
        ctx.pump.processEvents();
        if (clock.elapsed() > kToolTimeoutMs) {
            p.kill();
            p.waitForFinished(5000);
            return ctx.tr(QStringLiteral("%1 did not finish within %2 s"),
                          QStringLiteral("%1 ist nach %2 s nicht fertig"))
                .arg(what)
                .arg(kToolTimeoutMs / 1000);
        }
    }
    const QString said = QString::fromLocal8Bit(p.readAll()).trimmed().right(400);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return ctx.tr(QStringLiteral("%1 failed (exit code %2): %3"), QStringLiteral("%1 ist fehlgeschlagen (Code %2): %3"))
            .arg(what)
            .arg(p.exitCode())
            .arg(said);
    return {};
}

} // namespace meridan::iec
