// SPDX-License-Identifier: GPL-3.0-or-later
// The commands on files alone: dump, check, gsd-check and catalogue.
#include "cli/commands.h"
#include "config/configfile.h"
#include "config/dump.h"
#include "config/image.h"
#include "core/texts.h"
#include "master/buscheck.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_check.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace meridan::cli {

namespace {

QString LevelWord(int level)
{
    static const char *const kWords[] = {"error", "warning", "note"};
    return QString::fromLatin1(kWords[level]);
}

} // namespace

int CmdDump(Invocation &inv)
{
    const QString &arg = inv.args[0];
    const QFileInfo info(ResolveNoCase(inv.ctx.root.mapPath(arg)));
    if (!info.isFile() || !info.isReadable())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("cannot read ") + arg));
    QString damage;
    LoadConfigFile(inv.ctx, info.filePath(), &damage);
    // What was read completely is still shown; the damage decides the exit.
    if (inv.ctx.st.image.hasMaster()) {
        try {
            inv.out << QJsonDocument(DumpConfig(inv.ctx.st.image)).toJson(QJsonDocument::Indented);
        } catch (const std::exception &e) {
            inv.out.flush();
            return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("damaged record in %1: %2").arg(arg, QString::fromLocal8Bit(e.what()))));
        }
    }
    inv.out.flush();
    if (!damage.isEmpty())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("%1 is damaged: %2").arg(arg, damage)));
    return kOk;
}

int CmdCheck(Invocation &inv)
{
    const QString &arg = inv.args[0];
    const QString path = ResolveNoCase(inv.ctx.root.mapPath(arg));
    if (!QFileInfo(path).isFile())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("cannot read ") + arg));
    // Device files are looked up beside the configuration too.
    inv.ctx.st.configFileName = path;
    // A file without master record is the check's first error; one that breaks
    // off after it would be checked with slaves missing, so it is refused.
    QString damage;
    if (LoadConfigFile(inv.ctx, path, &damage) < 0 && inv.ctx.st.image.hasMaster())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("%1 is not a complete configuration: %2").arg(arg, damage)));
    DeviceFiles files;
    const BusCheck check = CheckBus(inv.ctx, inv.ctx.st.image.slot(0), files);
    const int errors = check.count(BusFinding::Level::Error);
    const Outcome outcome = errors > 0 ? Outcome::Fail(Failure::Refused, QStringLiteral("%1 error(s) in %2").arg(errors).arg(arg)) : Outcome();
    if (!inv.json) {
        for (const QString &line : BusCheckReport(inv.ctx, check))
            inv.out << line << '\n';
        inv.out.flush();
        return errors > 0 ? kFailed : kOk;
    }
    QJsonArray findings;
    for (const BusFinding &f : check.findings)
        findings.append(QJsonObject{{QStringLiteral("level"), LevelWord(int(f.level))},
                                    {QStringLiteral("rule"), f.rule},
                                    {QStringLiteral("text"), f.text}});
    QJsonObject facts{{QStringLiteral("file"), path}, {QStringLiteral("findings"), findings}};
    if (check.cycle) {
        const BusCycle &c = *check.cycle;
        facts[QStringLiteral("bus_cycle")] = QJsonObject{{QStringLiteral("slaves"), c.slaves},
                                                         {QStringLiteral("cycle_ms"), c.cycleMs},
                                                         {QStringLiteral("min_slave_interval_ms"), c.minIntervalMs},
                                                         {QStringLiteral("poll_ms"), c.pollMs},
                                                         {QStringLiteral("suggested_ttr"), c.suggestedTtr}};
    }
    // The findings are the result: the errors are in them, not on stderr.
    facts[QStringLiteral("outcome")] = FailureWord(outcome.failure);
    inv.printJson(facts);
    return ExitCode(outcome);
}

int CmdGsdCheck(Invocation &inv)
{
    bool errors = false;
    bool unreadable = false;
    QJsonArray files;
    for (const QString &arg : inv.args) {
        const QString path = ResolveNoCase(inv.ctx.root.mapPath(arg));
        const std::optional<GsdCheck> check = QFileInfo(path).isFile() ? CheckGsdFile(path) : std::nullopt;
        if (!check) {
            inv.error(QStringLiteral("cannot read ") + arg);
            unreadable = true;
            files.append(QJsonObject{{QStringLiteral("file"), arg}, {QStringLiteral("error"), QStringLiteral("cannot read")}});
            continue;
        }
        errors = errors || check->count(GsdFinding::Level::Error) > 0;
        if (!inv.json) {
            inv.out << GsdCheckReport(arg, *check);
            continue;
        }
        QJsonArray findings;
        for (const GsdFinding &f : check->findings)
            findings.append(QJsonObject{{QStringLiteral("line"), f.line},
                                        {QStringLiteral("level"), LevelWord(int(f.level))},
                                        {QStringLiteral("text"), f.text}});
        files.append(QJsonObject{{QStringLiteral("file"), arg},
                                 {QStringLiteral("errors"), check->count(GsdFinding::Level::Error)},
                                 {QStringLiteral("warnings"), check->count(GsdFinding::Level::Warning)},
                                 {QStringLiteral("notes"), check->count(GsdFinding::Level::Note)},
                                 {QStringLiteral("findings"), findings}});
    }
    const int rc = unreadable ? kUsage : errors ? kFailed : kOk;
    if (inv.json)
        inv.printJson({{QStringLiteral("outcome"), rc == kOk ? QStringLiteral("done") : rc == kUsage ? QStringLiteral("bad-input") : QStringLiteral("refused")},
                       {QStringLiteral("files"), files}});
    inv.out.flush();
    return rc;
}

int CmdCatalogue(Invocation &inv)
{
    const QString dir = inv.args.isEmpty() ? inv.ctx.root.gsdDir() : ResolveNoCase(inv.ctx.root.mapPath(inv.args.first()));
    if (!QFileInfo(dir).isDir())
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("no folder ") + (inv.args.isEmpty() ? dir : inv.args.first())));
    const GsdCatalogue cat = GsdCatalogue::Load(dir, CatalogueIndexFile(inv.ctx.root));
    if (!cat.indexError().isEmpty())
        inv.note(QStringLiteral("the catalogue index was not written: ") + cat.indexError());
    const auto ident = [](const GsdCatalogueEntry &e) { return e.header.ident < 0 ? QString() : HexUpper(unsigned(e.header.ident), 4); };
    // Files left out are named, with why: a listing must not hide a device file.
    QJsonArray skipped;
    for (const GsdSkipped &s : cat.skipped()) {
        inv.note(QStringLiteral("%1 left out: %2").arg(s.file, s.reason));
        skipped.append(QJsonObject{{QStringLiteral("file"), s.file}, {QStringLiteral("reason"), s.reason}});
    }

    if (inv.json) {
        QJsonArray list;
        for (const GsdCatalogueEntry &e : cat.entries())
            list.append(QJsonObject{{QStringLiteral("file"), e.file},
                                    {QStringLiteral("ident"), ident(e)},
                                    {QStringLiteral("vendor"), e.header.vendor},
                                    {QStringLiteral("model"), e.header.model},
                                    {QStringLiteral("revision"), e.header.revision}});
        inv.printJson({{QStringLiteral("outcome"), QStringLiteral("done")},
                       {QStringLiteral("folder"), cat.dir()},
                       {QStringLiteral("files"), list},
                       {QStringLiteral("skipped"), skipped}});
        return kOk;
    }
    // Columns as wide as their widest entry.
    const QStringList heads{QStringLiteral("IDENT"), QStringLiteral("VENDOR"), QStringLiteral("MODEL"), QStringLiteral("REVISION"),
                            QStringLiteral("FILE")};
    std::vector<QStringList> rows{heads};
    for (const GsdCatalogueEntry &e : cat.entries())
        rows.push_back({ident(e), e.header.vendor.simplified(), e.header.model.simplified(), e.header.revision.simplified(), e.file});
    std::vector<int> width(std::size_t(heads.size()), 0);
    for (const QStringList &r : rows)
        for (int c = 0; c < r.size(); ++c)
            width[std::size_t(c)] = std::max(width[std::size_t(c)], int(r[c].size()));
    for (const QStringList &r : rows) {
        QString line;
        for (int c = 0; c < r.size(); ++c)
            line += c + 1 < r.size() ? r[c].leftJustified(width[std::size_t(c)] + 2) : r[c];
        inv.out << line << '\n';
    }
    return kOk;
}

} // namespace meridan::cli
