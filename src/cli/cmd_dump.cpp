// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "config/configfile.h"
#include "config/dump.h"
#include "config/image.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace meridan::cli {

int CmdDump(Env &env, const QStringList &args)
{
    if (args.size() != 1) {
        env.err << "usage: meridan-cli dump FILE.dp1" << Qt::endl;
        return kUsage;
    }
    const QString path = env.ctx.root.mapPath(args[0]);
    const QFileInfo info(ResolveNoCase(path));
    if (!info.exists() || !info.isFile() || !info.isReadable()) {
        env.err << "meridan-cli: cannot read " << args[0] << Qt::endl;
        return kUsage;
    }
    QString damage;
    LoadConfigFile(env.ctx, info.filePath(), &damage);
    // What was read completely is still shown; the damage decides the exit.
    if (env.ctx.st.image.hasMaster()) {
        try {
            env.out << QJsonDocument(DumpConfig(env.ctx.st.image)).toJson(QJsonDocument::Indented);
        } catch (const std::exception &e) {
            env.err << "meridan-cli: damaged record in " << args[0] << ": " << e.what() << Qt::endl;
            return kUsage;
        }
    }
    env.out.flush();
    if (!damage.isEmpty()) {
        env.err << "meridan-cli: " << args[0] << " is damaged: " << damage << Qt::endl;
        return kUsage;
    }
    return kOk;
}

} // namespace meridan::cli
