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
#include <QProcess>

namespace meridan::iec {

namespace {

constexpr int kToolTimeoutMs = 120000;

QString CantRead(const Context &ctx, const QString &path, const QString &why)
{
    return ctx.tr(QStringLiteral("Cannot read %1: %2"), QStringLiteral("%1 ist nicht lesbar: %2")).arg(path, why);
}

} // namespace

QString ReadVars(Context &ctx, VarTable &table)
{
    const QString path = GetExportPaths(ctx).vars;
    QString why;
    const std::optional<QByteArray> bytes = ReadProjectFile(path, why);
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
    const int live = table.live();
    // The export the command line makes, with this table's changes.
    r.io = RewriteIoConfig(ctx, map, table);
    r.notes += r.io.plan.notes;
    r.notes += r.io.varNotes;
    const ExportPaths paths = GetExportPaths(ctx);
    if (!r.io.error.isEmpty()) {
        r.error = r.io.error;
        r.status = r.error;
        // The new declarations are not lost: they go beside it, if they can.
        if (!r.io.varsUnsaved.isNull() && WriteWholeFile(paths.varsSpare, r.io.varsUnsaved).isEmpty())
            r.box = QStringLiteral("              Can´t write Variables !             \n"
                                   "Please close Meridan and check <Global Variables>\n"
                                   "        New Vars are saved in meridan.vb         ");
        return r;
    }
    r.status = QStringLiteral("Saved ") + NumText(live) + QStringLiteral(" Vars to ") + paths.vars;
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
