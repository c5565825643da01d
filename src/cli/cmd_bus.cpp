// SPDX-License-Identifier: GPL-3.0-or-later
// The commissioning commands: run, status, mode, gc, diag, eeprom-start,
// eeprom-stop, and demo-config.
#include "busops/run_budget.h"
#include "cli/bus_session.h"
#include "config/configfile.h"
#include "config/demo.h"
#include "core/numbers.h"
#include "core/texts.h"
#include "monitor/diagnosis.h"
#include "monitor/explain.h"

#include <QFileInfo>

namespace meridan::cli {

namespace {

constexpr int kReplyWaitMs = 3000;
// A master answers a job at once; a serial line at 9600 baud takes about a
// second to carry the reply that reads the master record back.
constexpr int kAliveWaitMs = 5000;

// Takes "--timeout S" out of the arguments.
std::optional<int> TakeTimeout(QStringList &args, int fallback)
{
    const auto value = TakeOption(args, QStringLiteral("timeout"));
    if (!value)
        return fallback;
    bool ok = false;
    const int s = value->toInt(&ok);
    if (!ok || s <= 0 || s > 24 * 3600)
        return std::nullopt;
    return s;
}

// The CLI always takes the master's messages in, also on a Tessel card where
// the window waits for "Run" before it ticks "Firmware Load".
void TakeMessages(BusSession &bus)
{
    bus.panel.load = true;
}

} // namespace

namespace {
// What a time-out left in the master when it cut the download short.
QString HalfWay(BusSession &bus)
{
    const int step = bus.ops.startupStep;
    if (step != 2 && step != 3)
        return {};
    const ConfigImage &image = bus.env.ctx.st.image;
    int loaded = 0;
    for (int s = 1; step == 3 && s < bus.ops.downloadStation && s < kSlots; ++s)
        loaded += image.hasSlave(s) ? 1 : 0;
    return QStringLiteral("the time-out ended the download half-way: %1 of %2 slave records loaded; "
                          "the master holds an incomplete configuration")
        .arg(loaded)
        .arg(DownloadSlaves(image));
}
} // namespace

int CmdRun(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "run", why);
    const auto given = TakeTimeout(args, 0); // 0: from the configuration and the link
    // The next job goes out as soon as the board has answered, unless the
    // download is to be paced by the status poll as in the window.
    const bool tick = args.removeAll(QStringLiteral("--tick")) > 0;
    if (!given || args.size() != 1) {
        env.err << "usage: meridan-cli run --hw HW FILE.dp1 [--timeout SECONDS] [--tick]" << Qt::endl;
        return kUsage;
    }
    const QString file = ResolveNoCase(env.ctx.root.mapPath(args[0]));
    if (!QFileInfo(file).isFile()) {
        env.err << "meridan-cli: cannot read " << args[0] << Qt::endl;
        return kUsage;
    }
    if (LoadConfigFile(env.ctx, file) < 0) {
        env.err << "meridan-cli: " << args[0] << " holds no usable configuration" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    env.ctx.st.fastDownload = !tick;
    // A time-out the user gave bounds the whole command, every wait in it;
    // the derived one starts once the link is known.
    const qint64 start = env.ctx.pump.nowMs();
    if (*given > 0)
        bus.setDeadline(*given * 1000);
    bus.echoStatus(true);
    if (!bus.connect(*hw))
        return kFailed;
    const int seconds = *given > 0 ? *given : RunTimeoutSeconds(env.ctx.st.image, bus.link());
    if (*given == 0)
        bus.setDeadline(seconds * 1000);
    const qint64 end = (*given > 0 ? start : env.ctx.pump.nowMs()) + qint64(seconds) * 1000;
    bus.ops.F1_Run_Click();
    // Ends at Operate, or as soon as the connection is lost.
    bus.waitFor([&] { return bus.panel.operating() || !bus.conn.connected(); }, int(std::max<qint64>(0, end - env.ctx.pump.nowMs())));
    const bool operate = bus.panel.operating() && bus.conn.connected();
    bus.echoStatus(false);
    if (!bus.conn.connected()) {
        env.err << "meridan-cli run: connection lost: " << env.ctx.st.melde1 << Qt::endl;
        return kFailed;
    }
    if (!operate) {
        env.err << "meridan-cli run: no Operate within " << seconds << " s (mode: "
                << (bus.panel.mode ? bus.panel.betriebsart() : QStringLiteral("unknown")) << ")" << Qt::endl;
        if (const QString half = HalfWay(bus); !half.isEmpty())
            env.err << "meridan-cli run: " << half << Qt::endl;
        return kFailed;
    }
    env.out << "Operate" << Qt::endl;
    return kOk;
}

int CmdStatus(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "status", why);
    if (!args.isEmpty()) {
        env.err << "usage: meridan-cli status --hw HW" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    if (!bus.connect(*hw))
        return kFailed;
    // The link goes when it is lost (the poll replaces it): ask for it anew
    // after every wait, and say why rather than print what it last showed.
    const auto lost = [&](const QString &what) {
        const QString detail = bus.conn.connected() ? bus.link().faultText() : env.ctx.st.melde1;
        env.err << "meridan-cli status: " << what << (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail) << Qt::endl;
        return kFailed;
    };
    if (!bus.masterAnswers(kAliveWaitMs))
        return lost(QStringLiteral("no answer from the master"));
    TakeMessages(bus);
    // A board that sends its lists when asked gets asked for every part of
    // them (two bytes of each list a frame); the others are read directly.
    bool asked = false;
    for (int i = 0; i <= 16 && bus.conn.connected(); i += 2) {
        if (bus.link().orderLiveList(i)) {
            asked = true;
            bus.waitFor([] { return false; }, 250);
        }
    }
    if (!asked)
        bus.waitFor([] { return false; }, 200); // the tick takes waiting messages in
    if (!bus.conn.connected() || bus.link().lost())
        return lost(QStringLiteral("the master stopped answering"));
    iface::Link &link = bus.link();
    QList<int> running, diagnosis;
    for (int i = 0; i < 16; ++i) {
        const uint8_t run = link.listByte(0, i);
        const uint8_t dia = link.listByte(1, i);
        for (int s = 8 * i; s < 8 * i + 8 && s <= 125; ++s) {
            if ((run >> (s % 8)) & 1)
                running << s;
            if ((dia >> (s % 8)) & 1)
                diagnosis << s;
        }
    }
    QString mode = bus.panel.betriebsart();
    if (mode.isEmpty())
        if (const auto m = iface::BusModeOfState(link.getByte(link.map().busState)))
            mode = iface::BusModeText(*m);
    if (link.lost())
        return lost(QStringLiteral("the master stopped answering"));
    const auto list = [](const QList<int> &l) {
        QStringList t;
        for (int s : l)
            t << QString::number(s);
        return t.isEmpty() ? QStringLiteral("-") : t.join(QLatin1Char(' '));
    };
    env.out << "firmware: " << link.versionText << "\n"
            << "mode: " << (mode.isEmpty() ? QStringLiteral("unknown") : mode) << "\n"
            << "running: " << list(running) << "\n"
            << "diagnosis: " << list(diagnosis) << Qt::endl;
    return kOk;
}

int CmdMode(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "mode", why);
    static const QStringList kModes = {QStringLiteral("stop"), QStringLiteral("clear"), QStringLiteral("operate"), QStringLiteral("halt-go")};
    if (args.size() != 1 || !kModes.contains(args[0].toLower())) {
        env.err << "usage: meridan-cli mode --hw HW stop|clear|operate|halt-go" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    bus.echoStatus(true);
    if (!bus.connect(*hw))
        return kFailed;
    TakeMessages(bus);
    const QString m = args[0].toLower();
    if (m == QLatin1String("halt-go"))
        bus.ops.F1_Halt_Click();
    else
        bus.ops.SetMode(m == QLatin1String("stop")    ? iface::BusMode::Stop
                        : m == QLatin1String("clear") ? iface::BusMode::Clear
                                                      : iface::BusMode::Operate);
    env.out << "mode: " << bus.panel.betriebsart() << Qt::endl;
    return env.ctx.st.melde1 == QLatin1String("Changing profibus state: OK") ? kOk : kFailed;
}

int CmdGc(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "gc", why);
    if (args.size() != 2) {
        env.err << "usage: meridan-cli gc --hw HW CONTROL GROUP   (hexadecimal bytes, 0..FF)" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    const QString control = bus.ops.Text4_LostFocus(args[0]);
    const QString group = bus.ops.Text5_LostFocus(args[1]);
    if (control != args[0] || group != args[1])
        return kUsage; // refused entry: the message is on stderr
    if (!bus.connect(*hw))
        return kFailed;
    bus.ops.Command1_Click();
    env.out << env.ctx.st.melde1 << Qt::endl;
    return env.ctx.st.melde1 == QLatin1String("Changing profibus state: OK") ? kOk : kFailed;
}

int CmdDiag(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, "diag", why);
    // --explain says why, against the start-up configuration or --config FILE.
    const bool explain = args.removeAll(QStringLiteral("--explain")) > 0;
    const QString config = TakeOption(args, QStringLiteral("config")).value_or(QString());
    const auto station = args.size() == 1 ? ParseNumberArg(args[0], 125) : std::nullopt;
    if (!station || *station < 1 || (!config.isEmpty() && !explain)) {
        env.err << "usage: meridan-cli diag --hw HW STATION [--explain [--config FILE.dp1]]   (1..125)" << Qt::endl;
        return kUsage;
    }
    if (explain && !AutoLoad(env.ctx, config)) {
        env.err << "meridan-cli diag: --explain needs the configuration, " << env.ctx.st.configFileName << " cannot be read" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    if (!bus.connect(*hw))
        return kFailed;
    TakeMessages(bus);
    bool got = false;
    bus.ops.onDiagnosis = [&] { got = true; };
    State &st = env.ctx.st;
    st.currentStation = int(*station);
    // The request goes whether or not this configuration holds the slave.
    iface::SetJob(st.record, iface::JobCode::StationDiagnosis, uint8_t(*station));
    const bool taken = bus.waitFor([&] { return bus.link().putJob(st.record); }, kReplyWaitMs);
    if (!taken || !bus.waitFor([&] { return got; }, kReplyWaitMs)) {
        env.err << "meridan-cli diag: no diagnosis from the master" << Qt::endl;
        return kFailed;
    }
    QStringList lines = DiagnosisText(st);
    if (explain)
        lines << ExplainDiagnosisMessage(env.ctx);
    for (const QString &line : lines)
        env.out << line << '\n';
    env.out.flush();
    return kOk;
}

namespace {
int EepromStartStop(Env &env, const QStringList &argv, bool start)
{
    const char *name = start ? "eeprom-start" : "eeprom-stop";
    QStringList args = argv;
    QString why;
    const auto hw = TakeHwOption(args, &why);
    if (!hw)
        return HwUsageError(env, name, why);
    if (!args.isEmpty()) {
        env.err << "usage: meridan-cli " << name << " --hw HW" << Qt::endl;
        return kUsage;
    }
    BusSession bus(env);
    bus.echoStatus(true);
    if (!bus.connect(*hw))
        return kFailed;
    if (start)
        bus.ops.EEStart_Click();
    else
        bus.ops.EEStop_Click();
    env.out << "mode: " << bus.panel.betriebsart() << Qt::endl;
    return env.ctx.st.melde1 == QLatin1String("Only Ravelin or TCP/IP Connection") ? kFailed : kOk;
}
} // namespace

int CmdEepromStart(Env &env, const QStringList &args) { return EepromStartStop(env, args, true); }
int CmdEepromStop(Env &env, const QStringList &args) { return EepromStartStop(env, args, false); }

int CmdDemoConfig(Env &env, const QStringList &argv)
{
    QStringList args = argv;
    const bool force = args.removeAll(QStringLiteral("--force")) > 0;
    if (args.size() > 1) {
        env.err << "usage: meridan-cli demo-config [--force] [FILE.dp1]" << Qt::endl;
        return kUsage;
    }
    const QString path = args.isEmpty() ? env.ctx.root.path(QStringLiteral("setup/AutoLoad.dp1")) : env.ctx.root.mapPath(args[0]);
    if (QFileInfo::exists(path) && !force) {
        env.out << "kept " << path << Qt::endl;
        return kOk;
    }
    env.ctx.root.ensureLayout();
    if (!WriteDemoConfiguration(env.ctx, path)) {
        env.err << "meridan-cli: " << env.ctx.st.melde1 << Qt::endl;
        return kFailed;
    }
    env.out << "wrote " << path << Qt::endl;
    return kOk;
}

} // namespace meridan::cli
