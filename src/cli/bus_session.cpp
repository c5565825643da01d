// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/bus_session.h"

namespace meridan::cli {

BusSession::BusSession(Env &e, bool ticking) : env(e), conn(e.ctx, panel), ops(e.ctx, conn), ticking_(ticking)
{
    QObject::connect(&timer_, &QTimer::timeout, [this] { ops.Timer1_Timer(); });
    panel.changed = [this] { syncTimer(); };
    panel.timerEnabled = false;
}

BusSession::~BusSession()
{
    timer_.stop();
    panel.changed = nullptr;
    if (auto *cli = dynamic_cast<CliPrompts *>(&env.ctx.ui))
        cli->onStatus = nullptr;
    conn.CloseForExit(false);
}

void BusSession::syncTimer()
{
    if (ticking_ && panel.timerEnabled) {
        if (timer_.interval() != panel.timerInterval)
            timer_.setInterval(panel.timerInterval);
        if (!timer_.isActive())
            timer_.start();
    } else {
        timer_.stop();
    }
}

bool BusSession::connect(const iface::HwChoice &hw)
{
    const bool ok = conn.ConnectItem(hw);
    if (!ok || (!conn.connected() && hw.kind != iface::HwChoice::Kind::None)) {
        env.err << "meridan-cli: " << env.ctx.st.melde1 << Qt::endl;
        return false;
    }
    syncTimer();
    return true;
}

bool BusSession::waitFor(const std::function<bool()> &done, int ms)
{
    const qint64 end = env.ctx.pump.nowMs() + ms;
    while (!done()) {
        if (env.ctx.pump.nowMs() >= end)
            return false;
        env.ctx.pump.sleepMs(5);
    }
    return true;
}

bool BusSession::masterAnswers(int ms)
{
    // The job reads the master record back: it changes nothing on the board.
    // The poll is held meanwhile, so it cannot take the reply in first.
    Pump &pump = env.ctx.pump;
    const bool was = conn.DisableTimer();
    Record job;
    iface::SetJob(job, iface::JobCode::ReadMaster, 0);
    const qint64 end = pump.nowMs() + ms;
    bool sent = false;
    bool answered = false;
    while (!answered && conn.connected() && !link().lost() && pump.nowMs() < end) {
        if (!sent)
            sent = link().putJob(job);
        else
            answered = link().getMessage() && iface::IsMessage(env.ctx.st.mbuf, iface::MsgCode::MasterRead);
        if (!answered)
            pump.sleepMs(5);
    }
    conn.RestoreTimer(was);
    return answered;
}

void BusSession::setDeadline(int ms)
{
    conn.env().deadlineMs = env.ctx.pump.nowMs() + ms;
}

void BusSession::echoStatus(bool on)
{
    auto *cli = dynamic_cast<CliPrompts *>(&env.ctx.ui);
    if (!cli)
        return;
    if (!on) {
        cli->onStatus = nullptr;
        return;
    }
    cli->onStatus = [this](const QString &text) {
        if (!text.isEmpty())
            env.out << text << Qt::endl;
    };
}

} // namespace meridan::cli
