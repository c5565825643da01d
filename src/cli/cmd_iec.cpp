// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli iec-export FILE.dp1 [--project DIR]: regenerates the I/O
// configuration blocks of a soft-PLC project from a configuration file.
#include "cli/commands.h"
#include "config/configfile.h"
#include "iec/export_paths.h"
#include "iec/ioconfig.h"

#include <QFileInfo>

namespace meridan::cli {

bool LoadProject(Env &env, const char *cmd, QStringList &args)
{
    const int at = args.indexOf(QStringLiteral("--project"));
    if (at >= 0) {
        if (at + 1 >= args.size()) {
            env.err << "meridan-cli " << cmd << ": --project needs a folder" << Qt::endl;
            return false;
        }
        env.ctx.st.projectFolder = args[at + 1];
        args.remove(at, 2);
    }
    if (args.isEmpty() || args.first().startsWith(QLatin1String("--"))) {
        env.err << "meridan-cli " << cmd << ": no configuration file given" << Qt::endl;
        return false;
    }
    const QString file = args.takeFirst();
    const QFileInfo info(ResolveNoCase(env.ctx.root.mapPath(file)));
    if (!info.isFile() || LoadConfigFile(env.ctx, info.filePath()) < 0) {
        env.err << "meridan-cli " << cmd << ": cannot read the configuration " << file << Qt::endl;
        return false;
    }
    return true;
}

int CmdIecExport(Env &env, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (!LoadProject(env, "iec-export", args))
        return kUsage;
    if (!args.isEmpty()) {
        env.err << "meridan-cli iec-export: unexpected " << args.first()
                << "\nusage: meridan-cli iec-export FILE.dp1 [--project DIR]" << Qt::endl;
        return kUsage;
    }
    const iec::IoMap map = iec::BuildIoMap(env.ctx.st.image);
    for (const QString &n : map.notes)
        env.err << "note: " << n << Qt::endl;
    const iec::IoRewrite r = iec::RewriteIoConfig(env.ctx, map);
    for (const QString &n : r.plan.notes)
        env.err << "note: " << n << Qt::endl;
    if (!r.error.isEmpty()) {
        env.err << "meridan-cli iec-export: " << r.error << Qt::endl;
        return kFailed;
    }
    env.out << "I/O configuration: " << r.path << "\n"
            << "blocks written: " << r.plan.written << " (input base " << r.plan.inputBase << ", output base "
            << r.plan.outputBase << ")\n"
            << "blocks removed: " << r.plan.removed << "\n";
    if (!r.changed)
        env.out << "unchanged: nothing written\n";
    else if (r.backup.isEmpty())
        env.out << "backup: none (there was no previous file)\n";
    else
        env.out << "backup: " << r.backup << "\n";
    return kOk;
}

} // namespace meridan::cli
