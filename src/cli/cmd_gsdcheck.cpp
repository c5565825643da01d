// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli gsd-check FILE...: a compatibility report for each GSD file,
// every finding rated error, warning or note and named by its line.
#include "cli/commands.h"
#include "slave/gsd_check.h"

#include <QFileInfo>

namespace meridan::cli {

int CmdGsdCheck(Env &env, const QStringList &args)
{
    if (args.isEmpty() || args.first().startsWith(QLatin1String("--"))) {
        env.err << "usage: meridan-cli gsd-check FILE..." << Qt::endl;
        return kUsage;
    }
    bool errors = false;
    bool unreadable = false;
    for (const QString &arg : args) {
        const QString path = ResolveNoCase(env.ctx.root.mapPath(arg));
        const std::optional<GsdCheck> check = QFileInfo(path).isFile() ? CheckGsdFile(path) : std::nullopt;
        if (!check) {
            env.err << "meridan-cli: cannot read " << arg << Qt::endl;
            unreadable = true;
            continue;
        }
        env.out << GsdCheckReport(arg, *check);
        errors = errors || check->count(GsdFinding::Level::Error) > 0;
    }
    return unreadable ? kUsage : errors ? kFailed : kOk;
}

} // namespace meridan::cli
