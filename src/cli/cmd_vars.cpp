// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli vars FILE.dp1 [--project DIR] [--station N] [--add NAME:BOOL|INT]
//   [--attach NAME=M.K] [--detach NAME] [--delete NAME]
// Edits the soft-PLC project's global variables like the variable editor and
// saves them like it (the I/O blocks are regenerated too); without a change
// it lists the variables and their channels.
#include "core/readfile.h"
#include "cli/commands.h"
#include "iec/export_paths.h"
#include "iec/vars.h"

#include <QFile>

namespace meridan::cli {

namespace {

using namespace meridan::iec;

const char kUsageText[] = "usage: meridan-cli vars FILE.dp1 [--project DIR] [--station N] [--add NAME:BOOL|INT] "
                          "[--attach NAME=M.K] [--detach NAME] [--delete NAME]";

struct Change {
    QString option, value;
};

// "M.K": the channel K of module M, of the kind the variable's type needs;
// "M.IX5", "M.QW0" name the direction too.
QString FindAttachChannel(const SlaveIo &s, const QString &spec, int type, int &module, Channel &out)
{
    const qsizetype dot = spec.indexOf(QLatin1Char('.'));
    bool ok = false;
    module = dot > 0 ? spec.left(dot).toInt(&ok) : 0;
    if (!ok || module < 1 || module > int(s.modules.size()))
        return QStringLiteral("Station %1 has no module %2").arg(s.station).arg(spec.left(dot));
    const QString ch = spec.mid(dot + 1).toUpper();
    std::vector<Channel> found;
    for (const Channel &c : Channels(s.modules[std::size_t(module - 1)])) {
        const bool fits = (type == kBool) != c.word;
        if (ch == c.name() || (ch == QString::number(c.k) && fits))
            found.push_back(c);
    }
    if (found.empty()) {
        // The number names a channel of the other kind: the type is wrong.
        for (const Channel &c : Channels(s.modules[std::size_t(module - 1)]))
            if (ch == QString::number(c.k))
                return DatatypeMismatch();
        return QStringLiteral("Module %1 of station %2 has no channel %3").arg(module).arg(s.station).arg(ch);
    }
    if (found.size() > 1)
        return QStringLiteral("Module %1 has input and output channel %2: write %1.%3 or %1.%4")
            .arg(module)
            .arg(ch, found[0].name(), found[1].name());
    out = found.front();
    return {};
}

QString Apply(Env &env, VarTable &t, const IoMap &map, int station, const Change &c)
{
    if (c.option == QLatin1String("--add")) {
        const qsizetype colon = c.value.lastIndexOf(QLatin1Char(':'));
        const QString type = colon < 0 ? QString() : c.value.mid(colon + 1).toUpper();
        if (type != QLatin1String("BOOL") && type != QLatin1String("INT"))
            return QStringLiteral("--add needs NAME:BOOL or NAME:INT, not %1").arg(c.value);
        return AddVariable(env.ctx, t, c.value.left(colon), type == QLatin1String("INT") ? kInt : kBool);
    }
    const QString name = c.option == QLatin1String("--attach") ? c.value.section(QLatin1Char('='), 0, 0) : c.value;
    const int index = t.find(name);
    if (index < 0)
        return QStringLiteral("No variable %1").arg(name);
    if (c.option == QLatin1String("--detach"))
        return DetachVariable(t, index);
    if (c.option == QLatin1String("--delete"))
        return DeleteVariable(t, index);
    const SlaveIo *s = map.slave(station);
    if (!s)
        return QStringLiteral("Station %1 is not configured").arg(station);
    int module = 0;
    Channel channel;
    const QString why = FindAttachChannel(*s, c.value.section(QLatin1Char('='), 1), t.entries[std::size_t(index)].type,
                                          module, channel);
    return why.isEmpty() ? AttachVariable(t, index, *s, module, channel) : why;
}

void List(Env &env, const VarTable &t, const IoMap &map, int station)
{
    // The addresses the next export gives them.
    const ExportPaths paths = GetExportPaths(env.ctx);
    QFile f(paths.ioConfig);
    const IoPlan plan = PlanIoConfig(OpenRegularFile(f) ? f.readAll() : QByteArray(), map);
    env.out << "variables file: " << paths.vars << "\n";
    for (const VarEntry &e : t.entries) {
        if (station > 0 && (!e.attached() || e.station != station))
            continue;
        env.out << e.name.leftJustified(kVarNameWidth) << (e.type == kInt ? " INT " : " BOOL");
        const std::optional<Channel> c = EntryChannel(e, map);
        if (e.attached() && c)
            env.out << "  S" << e.station << " M" << e.module << ' ' << c->name()
                    << c->location(c->dir == Dir::In ? plan.inputBase : plan.outputBase);
        else if (e.attached())
            env.out << "  S" << e.station << " M" << e.module << " K" << e.channel << " (no such channel)";
        env.out << "\n";
    }
}

} // namespace

int CmdVars(Env &env, const QStringList &argsIn)
{
    QStringList args = argsIn;
    if (!LoadProject(env, "vars", args))
        return kUsage;
    int station = 0;
    std::vector<Change> changes;
    static const QStringList kOptions{"--station", "--add", "--attach", "--detach", "--delete"};
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        if (!kOptions.contains(opt) || args.isEmpty()) {
            env.err << "meridan-cli vars: " << (kOptions.contains(opt) ? opt + " needs a value" : "unexpected " + opt)
                    << "\n" << kUsageText << Qt::endl;
            return kUsage;
        }
        const QString value = args.takeFirst();
        if (opt == QLatin1String("--station")) {
            bool ok = false;
            station = value.toInt(&ok);
            if (!ok || station < 1 || station > 125) {
                env.err << "meridan-cli vars: station must be 1..125" << Qt::endl;
                return kUsage;
            }
            continue;
        }
        if (opt == QLatin1String("--attach") && !value.contains(QLatin1Char('='))) {
            env.err << "meridan-cli vars: --attach needs NAME=M.K\n" << kUsageText << Qt::endl;
            return kUsage;
        }
        changes.push_back({opt, value});
    }
    const bool attaches = std::any_of(changes.begin(), changes.end(),
                                      [](const Change &c) { return c.option == QLatin1String("--attach"); });
    if (attaches && station == 0) {
        env.err << "meridan-cli vars: --attach needs --station N" << Qt::endl;
        return kUsage;
    }

    const QString unpack = RunVarTool(env.ctx, QStringLiteral("UNPACK"));
    if (!unpack.isEmpty())
        env.err << "meridan-cli vars: " << unpack << Qt::endl;
    VarTable table;
    const QString read = ReadVars(env.ctx, table);
    if (!read.startsWith(QLatin1String("Read "))) {
        env.err << "meridan-cli vars: " << read << Qt::endl;
        return kFailed;
    }
    const IoMap map = BuildIoMap(env.ctx.st.image);
    for (const QString &n : map.notes)
        env.err << "note: " << n << Qt::endl;
    if (changes.empty()) {
        List(env, table, map, station);
        return kOk;
    }
    for (const Change &c : changes) {
        const QString why = Apply(env, table, map, station, c);
        if (!why.isEmpty()) {
            env.err << why << Qt::endl;
            return kFailed; // nothing is written
        }
    }
    env.ctx.st.record.clear(); // the configuration file is the whole truth here
    const VarSave saved = SaveVars(env.ctx, table);
    for (const QString &n : saved.notes)
        env.err << "note: " << n << Qt::endl;
    if (!saved.error.isEmpty()) {
        env.err << "meridan-cli vars: " << saved.error << Qt::endl;
        if (!saved.box.isEmpty())
            env.err << "meridan-cli vars: the new variables are in " << GetExportPaths(env.ctx).varsSpare << Qt::endl;
        return kFailed;
    }
    env.out << saved.status << "\n"
            << "I/O configuration: " << saved.io.path << (saved.io.changed ? "" : " (unchanged)") << "\n";
    const QString pack = RunVarTool(env.ctx, QStringLiteral("PACK"));
    if (!pack.isEmpty()) {
        env.err << "meridan-cli vars: " << pack << Qt::endl;
        return kFailed;
    }
    return kOk;
}

} // namespace meridan::cli
