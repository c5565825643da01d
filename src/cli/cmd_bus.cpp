// SPDX-License-Identifier: GPL-3.0-or-later
// The commissioning commands: run, status, mode, gc, diag, eeprom-start,
// eeprom-stop, and demo-config.
#include "busops/run_budget.h"
#include "cli/options.h"
#include "cli/session.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "core/bytes.h"
#include "core/texts.h"
#include "monitor/diagnosis.h"
#include "monitor/explain.h"

#include <QFileInfo>
#include <algorithm>
#include <QJsonArray>

namespace meridan::cli {

namespace {

// A master answers a job at once; a serial line at 9600 baud takes about a
// second to carry the reply that reads the master record back.
constexpr int kAliveWaitMs = 5000;
constexpr int kReplyWaitMs = 3000;
constexpr qint64 kWaitModeMs = 30000;

QJsonValue ModeValue(const std::optional<iface::BusMode> &mode)
{
    return mode ? QJsonValue(iface::BusModeText(*mode)) : QJsonValue(QJsonValue::Null);
}

QJsonArray Numbers(const QList<int> &list)
{
    QJsonArray a;
    for (int v : list)
        a.append(v);
    return a;
}

QJsonObject BusFacts(const BusOutcome &out)
{
    QJsonObject o{{QStringLiteral("mode"), ModeValue(out.mode)}};
    if (out.total >= 0) {
        o[QStringLiteral("slaves_loaded")] = out.loaded;
        o[QStringLiteral("slaves_total")] = out.total;
    }
    return o;
}

} // namespace

int CmdRun(Invocation &inv)
{
    if (const auto bad = LoadConfiguration(inv, inv.args[0]))
        return inv.finish(*bad);
    inv.ctx.st.fastDownload = !inv.isSet(QStringLiteral("tick"));
    Session bus(inv);
    inv.console.progress(true);
    BusOutcome out = bus.connect();
    if (out) {
        // Without --timeout: as long as this configuration needs on this link.
        const qint64 deadline = bus.deadline(qint64(RunTimeoutSeconds(inv.ctx.st.image, bus.conn.link())) * 1000);
        out = bus.ops.RunToOperate(deadline);
    }
    inv.console.progress(false);
    if (out && !inv.json)
        inv.out << "Operate" << Qt::endl;
    return inv.finish(out, BusFacts(out));
}

int CmdStatus(Invocation &inv)
{
    std::optional<iface::BusMode> wanted;
    if (const auto w = inv.value(QStringLiteral("wait"))) {
        for (const iface::BusMode m : {iface::BusMode::Offline, iface::BusMode::Stop, iface::BusMode::Clear, iface::BusMode::Operate})
            if (iface::BusModeText(m).compare(*w, Qt::CaseInsensitive) == 0)
                wanted = m;
    }
    Session bus(inv);
    BusOutcome connected = bus.connect();
    if (!connected)
        return inv.finish(connected);
    if (wanted) {
        const BusOutcome reached = bus.ops.WaitForMode(*wanted, bus.deadline(kWaitModeMs));
        if (!reached)
            return inv.finish(reached, BusFacts(reached));
    }
    const Commissioning::Status st = bus.ops.ReadStatus(kAliveWaitMs);
    if (!st.outcome)
        return inv.finish(st.outcome);
    const QString mode = st.outcome.mode ? iface::BusModeText(*st.outcome.mode) : QStringLiteral("unknown");
    if (!inv.json) {
        const auto list = [](const QList<int> &l) {
            QStringList t;
            for (int s : l)
                t << QString::number(s);
            return t.isEmpty() ? QStringLiteral("-") : t.join(QLatin1Char(' '));
        };
        inv.out << "firmware: " << st.firmware << "\n"
                << "mode: " << mode << "\n"
                << "running: " << list(st.running) << "\n"
                << "diagnosis: " << list(st.diagnosis) << Qt::endl;
    }
    return inv.finish(st.outcome, {{QStringLiteral("firmware"), st.firmware},
                                   {QStringLiteral("mode"), ModeValue(st.outcome.mode)},
                                   {QStringLiteral("running"), Numbers(st.running)},
                                   {QStringLiteral("diagnosis"), Numbers(st.diagnosis)}});
}

int CmdMode(Invocation &inv)
{
    const QString m = inv.args[0].toLower();
    Session bus(inv);
    BusOutcome out = bus.connect();
    if (out) {
        if (m == QLatin1String("halt-go"))
            out = bus.ops.F1_Halt_Click();
        else
            out = bus.ops.SetMode(m == QLatin1String("stop")    ? iface::BusMode::Stop
                                  : m == QLatin1String("clear") ? iface::BusMode::Clear
                                                                : iface::BusMode::Operate);
    }
    if (out && !inv.json)
        inv.out << "mode: " << (out.mode ? iface::BusModeText(*out.mode) : QStringLiteral("unknown")) << Qt::endl;
    return inv.finish(out, BusFacts(out));
}

int CmdGc(Invocation &inv)
{
    const auto control = ParseHexByte(inv.args[0]);
    const auto group = ParseHexByte(inv.args[1]);
    if (!control)
        return inv.usage(QStringLiteral("CONTROL is a hexadecimal byte, 0..FF (with or without 0x), not ") + inv.args[0]);
    if (!group)
        return inv.usage(QStringLiteral("GROUP is a hexadecimal byte, 0..FF (with or without 0x), not ") + inv.args[1]);
    Session bus(inv);
    BusOutcome out = bus.connect();
    if (out) {
        bus.panel.gcControl = *control;
        bus.panel.gcGroup = *group;
        out = bus.ops.Command1_Click();
    }
    if (out && !inv.json)
        inv.out << "Global Control sent: control " << HexUpper(*control, 2) << " group " << HexUpper(*group, 2) << Qt::endl;
    return inv.finish(out, {{QStringLiteral("control"), int(*control)}, {QStringLiteral("group"), int(*group)}});
}

namespace {

// One station's diagnosis as JSON: the bytes and what they say.
QJsonObject DiagnosisJson(int station, const std::vector<uint8_t> &bytes, const QStringList &explanation)
{
    QJsonObject o{{QStringLiteral("station"), station}};
    QJsonArray raw;
    for (const uint8_t b : bytes)
        raw.append(int(b));
    o[QStringLiteral("bytes")] = raw;
    if (bytes.size() >= 6) {
        QJsonArray status;
        for (int i = 0; i < 3; ++i) {
            QJsonArray set;
            for (int b = 7; b >= 0; --b)
                if ((bytes[std::size_t(i)] >> b) & 1)
                    set.append(DiagBitName(i, b));
            status.append(set);
        }
        o[QStringLiteral("station_status")] = status;
        o[QStringLiteral("master_address")] = int(bytes[3]);
        o[QStringLiteral("ident")] = HexUpper(be16(bytes, 4), 4);
        QJsonArray ext;
        for (std::size_t i = 6; i < bytes.size(); ++i)
            ext.append(int(bytes[i]));
        o[QStringLiteral("ext_diag")] = ext;
    }
    if (!explanation.isEmpty())
        o[QStringLiteral("explanation")] = QJsonArray::fromStringList(explanation);
    return o;
}

} // namespace

int CmdDiag(Invocation &inv)
{
    const bool all = inv.isSet(QStringLiteral("all"));
    const bool explain = inv.isSet(QStringLiteral("explain"));
    const auto config = inv.value(QStringLiteral("config"));
    if (all == !inv.args.isEmpty())
        return inv.usage(all ? QStringLiteral("--all or stations, not both") : QStringLiteral("name the STATION (1..125), or --all"));
    if (config && !explain)
        return inv.usage(QStringLiteral("--config goes with --explain"));
    QList<int> stations;
    for (const QString &a : inv.args) {
        const auto s = ParseNumber(a, 1, 125);
        if (!s)
            return inv.usage(RangeText(QStringLiteral("STATION"), 1, 125, a));
        stations << int(*s);
    }
    if (explain && !AutoLoad(inv.ctx, config.value_or(QString())))
        return inv.finish(Outcome::Fail(Failure::BadInput, QStringLiteral("--explain needs the configuration, %1 cannot be read")
                                                               .arg(inv.ctx.st.configFileName)));
    Session bus(inv);
    BusOutcome out = bus.connect();
    if (!out)
        return inv.finish(out);
    if (all) {
        const Commissioning::Status st = bus.ops.ReadStatus(kAliveWaitMs);
        if (!st.outcome)
            return inv.finish(st.outcome);
        // Every station the master knows of: in data exchange or with diagnosis.
        stations = st.running + st.diagnosis;
        std::sort(stations.begin(), stations.end());
        stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    }
    QJsonArray list;
    for (int station : stations) {
        const Commissioning::Diagnosis d = bus.ops.FetchDiagnosis(station, kReplyWaitMs);
        if (!d.outcome) {
            out = d.outcome;
            out.why = QStringLiteral("station %1: %2").arg(station).arg(d.outcome.why);
            break;
        }
        const QStringList explanation = explain ? ExplainDiagnosisMessage(inv.ctx) : QStringList();
        list.append(DiagnosisJson(station, d.bytes, explanation));
        if (!inv.json) {
            if (list.size() > 1)
                inv.out << '\n';
            for (const QString &line : DiagnosisText(inv.ctx.st) + explanation)
                inv.out << line << '\n';
            inv.out.flush();
        }
    }
    return inv.finish(out, {{QStringLiteral("stations"), list}});
}

namespace {
int EepromStartStop(Invocation &inv, bool start)
{
    Session bus(inv);
    BusOutcome out = bus.connect();
    if (out)
        out = start ? bus.ops.EEStart_Click() : bus.ops.EEStop_Click();
    if (out && !inv.json)
        inv.out << "mode: " << (out.mode ? iface::BusModeText(*out.mode) : QStringLiteral("unknown")) << Qt::endl;
    return inv.finish(out, BusFacts(out));
}
} // namespace

int CmdEepromStart(Invocation &inv) { return EepromStartStop(inv, true); }
int CmdEepromStop(Invocation &inv) { return EepromStartStop(inv, false); }

int CmdDemoConfig(Invocation &inv)
{
    const QString path = inv.args.isEmpty() ? inv.ctx.root.path(QStringLiteral("setup/AutoLoad.dp1")) : inv.ctx.root.mapPath(inv.args[0]);
    if (QFileInfo(path).isDir())
        return inv.finish(Outcome::Fail(Failure::BadInput, path + QStringLiteral(" is a folder")));
    if (QFileInfo::exists(path) && !inv.isSet(QStringLiteral("force"))) {
        if (!inv.json)
            inv.out << "kept " << path << Qt::endl;
        return inv.finish({}, {{QStringLiteral("kept"), path}});
    }
    inv.ctx.root.ensureLayout();
    if (!WriteDemoConfiguration(inv.ctx, path))
        return inv.finish(Outcome::Fail(Failure::Refused, inv.ctx.st.melde1));
    if (!inv.json)
        inv.out << "wrote " << path << Qt::endl;
    Outcome done;
    done.written << path;
    return inv.finish(done);
}

} // namespace meridan::cli
