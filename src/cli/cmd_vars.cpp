// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli vars FILE.dp1 [--project DIR] [--station N] [--add NAME:BOOL|INT]
//   [--attach NAME=M.K] [--detach NAME] [--delete NAME]
// Edits the soft-PLC project's global variables like the variable editor and
// saves them like it (the I/O blocks are regenerated too); without a change
// it lists the variables and their channels.
#include "core/readfile.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "iec/export_paths.h"
#include "iec/vars.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <map>

namespace meridan::cli {

namespace {

using namespace meridan::iec;

struct Env {
    Context &ctx;
    QTextStream &out;
    QTextStream &err;
};

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
                return DatatypeMismatch(type);
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

int List(Invocation &inv, const VarTable &t, const IoMap &map, int station)
{
    // The addresses the next export gives them.
    const ExportPaths paths = GetExportPaths(inv.ctx);
    QFile f(paths.ioConfig);
    const IoPlan plan = PlanIoConfig(OpenRegularFile(f) ? f.readAll() : QByteArray(), map);
    QJsonArray list;
    if (!inv.json)
        inv.out << "variables file: " << paths.vars << "\n";
    for (const VarEntry &e : t.entries) {
        if (station > 0 && (!e.attached() || e.station != station))
            continue;
        const std::optional<Channel> c = EntryChannel(e, map);
        QJsonObject o{{QStringLiteral("name"), e.name}, {QStringLiteral("type"), e.type == kInt ? QStringLiteral("INT") : QStringLiteral("BOOL")}};
        if (e.attached()) {
            o[QStringLiteral("station")] = e.station;
            o[QStringLiteral("module")] = e.module;
            o[QStringLiteral("channel")] = c ? QJsonValue(c->name()) : QJsonValue(QJsonValue::Null);
            if (c)
                o[QStringLiteral("location")] = c->location(c->dir == Dir::In ? plan.inputBase : plan.outputBase).trimmed();
        }
        list.append(o);
        if (inv.json)
            continue;
        inv.out << e.name.leftJustified(kVarNameWidth) << (e.type == kInt ? " INT " : " BOOL");
        if (e.attached() && c)
            inv.out << "  S" << e.station << " M" << e.module << ' ' << c->name() << c->location(c->dir == Dir::In ? plan.inputBase : plan.outputBase);
        else if (e.attached())
            inv.out << "  S" << e.station << " M" << e.module << " K" << e.channel << " (no such channel)";
        inv.out << "\n";
    }
    inv.out.flush();
    return inv.finish({}, {{QStringLiteral("variables_file"), paths.vars}, {QStringLiteral("variables"), list}});
}

} // namespace

int CmdVars(Invocation &inv)
{
    Env env{inv.ctx, inv.out, inv.err};
    if (const auto bad = TakeProject(inv))
        return inv.finish(*bad);
    if (const auto bad = LoadConfiguration(inv, inv.args[0]))
        return inv.finish(*bad);
    int station = 0;
    if (const auto s = inv.value(QStringLiteral("station"))) {
        const auto n = ParseNumber(*s, 1, 125);
        if (!n)
            return inv.usage(RangeText(QStringLiteral("--station"), 1, 125, *s));
        station = int(*n);
    }
    // The changes apply in the order they were given ("--delete X --add
    // X:INT" retypes X): the parser keeps each option's values in order, the
    // line says how they interleave.
    static const QStringList kChanges{"add", "attach", "detach", "delete"};
    std::map<QString, QStringList> values;
    for (const QString &o : kChanges)
        values[o] = inv.line.values(o);
    std::vector<Change> changes;
    for (const QString &a : QCoreApplication::arguments().mid(1)) {
        if (a == QLatin1String("--"))
            break;
        for (const QString &o : kChanges) {
            if ((a == QLatin1String("--") + o || a.startsWith(QLatin1String("--") + o + QLatin1Char('='))) && !values[o].isEmpty())
                changes.push_back({QLatin1String("--") + o, values[o].takeFirst()});
        }
    }
    for (const Change &c : changes)
        if (c.option == QLatin1String("--attach") && !c.value.contains(QLatin1Char('=')))
            return inv.usage(QStringLiteral("--attach needs NAME=M.K, not ") + c.value);
    const bool attaches = std::any_of(changes.begin(), changes.end(), [](const Change &c) { return c.option == QLatin1String("--attach"); });
    if (attaches && station == 0)
        return inv.usage(QStringLiteral("--attach needs --station N"));

    const QString unpack = RunVarTool(env.ctx, QStringLiteral("UNPACK"));
    if (!unpack.isEmpty())
        inv.error(unpack);
    VarTable table;
    const QString read = ReadVars(env.ctx, table);
    if (!read.startsWith(QLatin1String("Read ")))
        return inv.finish(Outcome::Fail(Failure::Refused, read));
    const IoMap map = BuildIoMap(env.ctx.st.image);
    for (const QString &n : map.notes)
        inv.note(n);
    if (changes.empty())
        return List(inv, table, map, station);
    for (const Change &c : changes) {
        const QString why = Apply(env, table, map, station, c);
        if (!why.isEmpty())
            return inv.finish(Outcome::Fail(Failure::Refused, why)); // nothing is written
    }
    env.ctx.st.record.clear(); // the configuration file is the whole truth here
    const VarSave saved = SaveVars(env.ctx, table);
    for (const QString &n : saved.notes)
        inv.note(n);
    if (!saved.error.isEmpty()) {
        QString why = saved.error;
        if (!saved.box.isEmpty())
            why += QStringLiteral("\nthe new variables are in ") + GetExportPaths(env.ctx).varsSpare;
        return inv.finish(Outcome::Fail(Failure::Refused, why));
    }
    Outcome out;
    out.written << GetExportPaths(env.ctx).vars;
    if (saved.io.changed)
        out.written << saved.io.path;
    if (!inv.json)
        inv.out << saved.status << "\n"
                << "I/O configuration: " << saved.io.path << (saved.io.changed ? "" : " (unchanged)") << "\n";
    const QString pack = RunVarTool(env.ctx, QStringLiteral("PACK"));
    if (!pack.isEmpty())
        out = Outcome::Fail(Failure::Refused, pack);
    return inv.finish(out, {{QStringLiteral("status"), saved.status}, {QStringLiteral("io_config"), saved.io.path}});
}

} // namespace meridan::cli
