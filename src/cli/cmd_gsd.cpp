// SPDX-License-Identifier: GPL-3.0-or-later
// meridan-cli gsd FILE: reads a GSD file into a new slave record and prints
// the tables the slave editor would use, as JSON. Exit 1 when the read
// stopped on an error or the file is no GSD file.
#include "core/readfile.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "core/texts.h"
#include "slave/gsd.h"
#include "slave/record.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace meridan::cli {

namespace {

struct Env {
    Context &ctx;
    QTextStream &out;
    QTextStream &err;
};

template <typename Bytes>
QJsonArray ByteArray(const Bytes &bytes)
{
    QJsonArray a;
    for (const auto b : bytes)
        a.append(int(b));
    return a;
}

QJsonObject Block(const GsdTables &t, int m)
{
    QJsonObject o;
    o[QStringLiteral("prm_len")] = t.modulePrmLen(m);
    const GsdModule *mod = t.module(m);
    QJsonArray consts, refs;
    if (mod) {
        consts = ByteArray(mod->prmConst);
        for (const GsdPrmRef &r : mod->refs)
            refs.append(QJsonObject{{QStringLiteral("offset"), r.offset}, {QStringLiteral("number"), r.number}});
    }
    o[QStringLiteral("prm_const")] = consts;
    o[QStringLiteral("refs")] = refs;
    return o;
}

} // namespace

int CmdGsd(Invocation &inv)
{
    Env env{inv.ctx, inv.out, inv.err};
    int station = 10;
    if (const auto s = inv.value(QStringLiteral("station"))) {
        const auto n = ParseNumber(*s, 1, 125);
        if (!n)
            return inv.usage(RangeText(QStringLiteral("--station"), 1, 125, *s));
        station = int(*n);
    }
    const QString path = ResolveNoCase(env.ctx.root.mapPath(inv.args[0]));
    const QFileInfo info(path);
    QFile probe(path);
    if (!info.isFile() || !OpenRegularFile(probe))
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("cannot read ") + inv.args[0]));
    probe.close();

    // The pauses that keep error texts readable in the editor mean nothing
    // here: run them in virtual time.
    VirtualPump pump;
    Context ctx{env.ctx.st, env.ctx.ui, pump, env.ctx.root};
    State &st = ctx.st;
    st.currentStation = station;
    st.slave.inputOffset = 0;
    st.slave.outputOffset = 0;
    NewSlaveRecord(st);
    const GsdOutcome res = LoadGsdFile(ctx, path, info.fileName());
    const GsdTables &t = st.gsd;

    QJsonObject o;
    o[QStringLiteral("file")] = info.filePath();
    o[QStringLiteral("vendor")] = t.vendor;
    o[QStringLiteral("model")] = t.model;
    o[QStringLiteral("hardware_release")] = t.hardwareRelease;
    o[QStringLiteral("software_release")] = t.softwareRelease;
    o[QStringLiteral("ident")] = HexUpper((unsigned(st.record.bytes[30]) << 8) | st.record.bytes[31], 4);
    o[QStringLiteral("modular")] = t.modular;

    int u = 0;
    QJsonArray prm;
    try {
        const SlaveLayout l = SlaveLayout::of(st.record);
        u = l.u;
        for (int i = 0; i < l.u; ++i)
            prm.append(int(st.record[33 + i]));
    } catch (const std::exception &) {
    }
    o[QStringLiteral("user_prm_len")] = u;
    o[QStringLiteral("user_prm_data")] = prm;
    o[QStringLiteral("device")] = Block(t, 0);

    QJsonArray modules;
    for (int m = 1; m <= qMin(t.moduleCount, kMaxGsdModules); ++m) {
        QJsonObject mo = Block(t, m);
        const QString line = t.moduleLine(m);
        mo[QStringLiteral("number")] = m;
        mo[QStringLiteral("line")] = line;
        mo[QStringLiteral("name")] = ModuleName(line);
        try {
            mo[QStringLiteral("cfg")] = ByteArray(ModuleConfigBytes(line));
        } catch (const std::exception &e) {
            mo[QStringLiteral("cfg")] = QJsonValue::Null;
            mo[QStringLiteral("cfg_error")] = QString::fromLocal8Bit(e.what());
        }
        modules.append(mo);
    }
    o[QStringLiteral("modules")] = modules;

    QJsonArray defs;
    for (const auto &[n, p] : t.extPrms()) {
        QJsonArray list;
        for (const int64_t v : p.list)
            list.append(qint64(v));
        defs.append(QJsonObject{{QStringLiteral("number"), n},
                                {QStringLiteral("name"), QString(p.name).remove(QRegularExpression(QStringLiteral(" +$")))},
                                {QStringLiteral("type"), p.type},
                                {QStringLiteral("default"), qint64(p.defaultValue)},
                                {QStringLiteral("min"), qint64(p.min)},
                                {QStringLiteral("max"), qint64(p.max)},
                                {QStringLiteral("list"), list},
                                {QStringLiteral("text_ref"), p.textRef}});
    }
    o[QStringLiteral("ext_user_prm_data")] = defs;

    QJsonArray texts;
    for (const auto &[n, entries] : t.textLists()) {
        QJsonArray e;
        for (const GsdText &x : entries)
            e.append(QJsonObject{{QStringLiteral("value"), qint64(x.value)}, {QStringLiteral("text"), x.text}});
        texts.append(QJsonObject{{QStringLiteral("number"), n}, {QStringLiteral("entries"), e}});
    }
    o[QStringLiteral("prm_texts")] = texts;

    int recordLen = kSlotSize;
    try {
        recordLen = qBound(0, int(ReadWord(st.record, 8)) + 8, kSlotSize);
    } catch (const std::exception &) {
    }
    o[QStringLiteral("record")] = ByteArray(std::span<const uint8_t>(st.record.bytes.data(), std::size_t(recordLen)));
    o[QStringLiteral("status")] = res.status;
    o[QStringLiteral("complete")] = res.ok();
    if (!res.ok())
        o[QStringLiteral("stopped_at_line")] = res.line;

    env.out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    env.out.flush();
    // The tables are printed either way; a read that stopped did not reach its goal.
    if (!res.ok()) {
        inv.error(res.status);
        return kFailed;
    }
    return kOk;
}

} // namespace meridan::cli
