// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli check FILE.dp1: whether the bus parameters hold for the
// configured slaves at the chosen baud rate, and the bus cycle estimate.
#include "cli/commands.h"
#include "config/configfile.h"
#include "master/buscheck.h"

#include <QFileInfo>

namespace meridan::cli {

int CmdCheck(Env &env, const QStringList &args)
{
    if (args.size() != 1 || args[0].startsWith(QLatin1String("--"))) {
        env.err << "usage: meridan-cli check FILE.dp1" << Qt::endl;
        return kUsage;
    }
    const QString path = ResolveNoCase(env.ctx.root.mapPath(args[0]));
    if (!QFileInfo(path).isFile()) {
        env.err << "meridan-cli: cannot read " << args[0] << Qt::endl;
        return kUsage;
    }
    // Device files are looked up beside the configuration too.
    env.ctx.st.configFileName = path;
    // A file without master record is the check's first error; one that breaks
    // off after it would be checked with slaves missing, so it is refused.
    QString damage;
    if (LoadConfigFile(env.ctx, path, &damage) < 0 && env.ctx.st.image.hasMaster()) {
        env.err << "meridan-cli: " << args[0] << " is not a complete configuration: " << damage << Qt::endl;
        return kUsage;
    }
    DeviceFiles files;
    const BusCheck check = CheckBus(env.ctx, env.ctx.st.image.slot(0), files);
    for (const QString &line : BusCheckReport(env.ctx, check))
        env.out << line << '\n';
    env.out.flush();
    return check.count(BusFinding::Level::Error) > 0 ? kFailed : kOk;
}

} // namespace meridan::cli
