// SPDX-License-Identifier: GPL-3.0-or-later
// The EEPROM commands: upload (read a board's configuration back), burn and
// erase. Each prints the message-line texts as they appear.
#include "busops/eeprom.h"
#include "cli/bus_session.h"
#include "config/configfile.h"

#include <QFileInfo>

namespace meridan::cli {

namespace {

// A download before a burn on the job way: the master burns what it runs.
constexpr int kDownloadMs = 60000;

// What every EEPROM command starts with: the hardware option, the remaining
// arguments checked by `argsOk`, a connection with the master's messages
// taken in (also on a Tessel card, where the window waits for "Run").
struct EepromSession {
    std::optional<iface::HwChoice> hw;
    QStringList args;
    std::unique_ptr<BusSession> bus;
    std::unique_ptr<Eeprom> ee;

    int open(Env &env, const char *name, const QStringList &argv, const char *usage, const std::function<bool(QStringList &)> &argsOk)
    {
        args = argv;
        QString why;
        hw = TakeHwOption(args, &why);
        if (!hw)
            return HwUsageError(env, name, why);
        if (!argsOk(args)) {
            env.err << "usage: meridan-cli " << name << ' ' << usage << Qt::endl;
            return kUsage;
        }
        return -1;
    }
    bool connect(Env &env)
    {
        bus = std::make_unique<BusSession>(env);
        bus->echoStatus(true);
        if (!bus->connect(*hw))
            return false;
        bus->panel.load = true;
        ee = std::make_unique<Eeprom>(env.ctx, bus->ops);
        return true;
    }
    // A board that stopped answering meanwhile is reported as the status
    // poll reports it.
    int finish(bool ok)
    {
        bus->conn.CheckLost();
        bus->echoStatus(false);
        return ok ? kOk : kFailed;
    }
};


} // namespace

int CmdUpload(Env &env, const QStringList &argv)
{
    EepromSession s;
    // The walk over the stations goes as fast as the master answers, unless
    // it is to be paced by the status poll as in the window.
    bool tick = false;
    const auto argsOk = [&](QStringList &args) {
        tick = args.removeAll(QStringLiteral("--tick")) > 0;
        return args.size() == 1;
    };
    if (const int rc = s.open(env, "upload", argv, "--hw HW OUT.dp1 [--tick]", argsOk); rc >= 0)
        return rc;
    env.ctx.st.fastDownload = !tick;
    const QString out = env.ctx.root.mapPath(s.args[0]);
    if (QFileInfo(out).isDir()) {
        env.err << "meridan-cli upload: " << s.args[0] << " is a folder" << Qt::endl;
        return kUsage;
    }
    if (!s.connect(env))
        return kFailed;
    if (!s.ee->Upload_Click())
        return s.finish(false); // nothing valid arrived: no file written
    if (!SaveConfigFile(env.ctx, out)) {
        env.err << "meridan-cli upload: " << env.ctx.st.melde1 << Qt::endl;
        return s.finish(false);
    }
    env.out << "wrote " << out << Qt::endl;
    return s.finish(true);
}

int CmdBurn(Env &env, const QStringList &argv)
{
    EepromSession s;
    bool yes = false;
    const auto argsOk = [&](QStringList &args) {
        yes = args.removeAll(QStringLiteral("--yes")) > 0;
        return args.size() == 1;
    };
    if (const int rc = s.open(env, "burn", argv, "--hw HW FILE.dp1 [--yes]", argsOk); rc >= 0)
        return rc;
    const QString file = ResolveNoCase(env.ctx.root.mapPath(s.args[0]));
    if (!QFileInfo(file).isFile()) {
        env.err << "meridan-cli: cannot read " << s.args[0] << Qt::endl;
        return kUsage;
    }
    if (LoadConfigFile(env.ctx, file) < 0) {
        env.err << "meridan-cli: " << s.args[0] << " holds no usable configuration" << Qt::endl;
        return kUsage;
    }
    if (!s.connect(env))
        return kFailed;
    s.ee->confirm = [&](const QString &question) {
        if (!yes)
            env.err << "meridan-cli burn: " << QString(question).replace(QLatin1Char('\n'), QLatin1Char(' '))
                    << " Give --yes to burn." << Qt::endl;
        return yes;
    };
    BusSession &bus = *s.bus;
    if (bus.link().traits().store == iface::ConfigStore::Job) {
        // The master burns the configuration it runs: download FILE first.
        bus.ops.F1_Run_Click();
        const bool downloaded =
            bus.waitFor([&] { return bus.panel.operating() || bus.ops.startupStep == 0 || !bus.conn.connected(); }, kDownloadMs);
        if (!downloaded || !bus.conn.connected()) {
            env.err << "meridan-cli burn: the download of " << s.args[0] << " did not complete" << Qt::endl;
            return s.finish(false);
        }
    }
    return s.finish(s.ee->Burn_Click());
}

int CmdErase(Env &env, const QStringList &argv)
{
    EepromSession s;
    if (const int rc = s.open(env, "erase", argv, "--hw HW", [](QStringList &a) { return a.isEmpty(); }); rc >= 0)
        return rc;
    if (!s.connect(env))
        return kFailed;
    return s.finish(s.ee->EE_Erase_Click());
}

} // namespace meridan::cli
