// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli iec-export FILE.dp1 [--project DIR]: regenerates the I/O
// configuration blocks of a soft-PLC project from a configuration file.
#include "cli/commands.h"
#include "iec/export_paths.h"
#include "iec/ioconfig.h"

namespace meridan::cli {

int CmdIecExport(Invocation &inv)
{
    if (const auto bad = TakeProject(inv))
        return inv.finish(*bad);
    if (const auto bad = LoadConfiguration(inv, inv.args[0]))
        return inv.finish(*bad);
    const iec::IoMap map = iec::BuildIoMap(inv.ctx.st.image);
    for (const QString &n : map.notes)
        inv.note(n);
    const iec::IoRewrite r = iec::RewriteIoConfig(inv.ctx, map);
    for (const QString &n : r.plan.notes)
        inv.note(n);
    if (!r.error.isEmpty())
        return inv.finish(Outcome::Fail(Failure::Refused, r.error), {{QStringLiteral("io_config"), r.path}});
    for (const QString &n : r.varNotes)
        inv.note(n);
    Outcome out;
    if (r.changed)
        out.written << r.path;
    if (r.varsChanged)
        out.written << r.vars;
    if (!inv.json) {
        inv.out << "I/O configuration: " << r.path << "\n"
                << "blocks written: " << r.plan.written << " (input base " << r.plan.inputBase << ", output base " << r.plan.outputBase << ")\n"
                << "blocks removed: " << r.plan.removed << "\n";
        if (!r.vars.isEmpty())
            inv.out << "variables: " << r.vars << (r.varsChanged ? " (addresses updated)" : " (unchanged)") << "\n";
        if (!r.changed && !r.varsChanged)
            inv.out << "unchanged: nothing written\n";
        else if (r.changed && r.backup.isEmpty())
            inv.out << "backup: none (there was no previous file)\n";
        else if (r.changed)
            inv.out << "backup: " << r.backup << (r.backupKept ? " (kept: it holds the file from before this program's last change)" : "")
                    << "\n";
        inv.out.flush();
    }
    return inv.finish(out, {{QStringLiteral("io_config"), r.path},
                            {QStringLiteral("blocks_written"), r.plan.written},
                            {QStringLiteral("blocks_removed"), r.plan.removed},
                            {QStringLiteral("input_base"), r.plan.inputBase},
                            {QStringLiteral("output_base"), r.plan.outputBase},
                            {QStringLiteral("changed"), r.changed},
                            {QStringLiteral("backup"), r.backup.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(r.backup)},
                            {QStringLiteral("backup_kept"), r.backupKept},
                            {QStringLiteral("variables_file"), r.vars.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(r.vars)},
                            {QStringLiteral("variables_changed"), r.varsChanged}});
}

} // namespace meridan::cli
