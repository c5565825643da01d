// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/session.h"

namespace meridan::cli {

Session::Session(Invocation &i, bool ticking) : inv(i), conn(i.ctx, panel), ops(i.ctx, conn), start_(i.ctx.pump.nowMs())
{
    if (ticking)
        poll_ = std::make_unique<StatusPoll>(ops);
    else
        panel.timerEnabled = false;
    if (inv.timeoutSeconds > 0)
        conn.env().deadlineMs = start_ + qint64(inv.timeoutSeconds) * 1000;
}

Session::~Session()
{
    poll_.reset();
    conn.CloseForExit(false);
}

BusOutcome Session::connect()
{
    BusOutcome out = conn.ConnectItem(inv.hw);
    if (!out)
        return out;
    if (!conn.connected())
        return Outcome::Fail(Failure::NoBoard, ops.NoHardwareText());
    // The command takes the master's messages in at once, also on a Tessel
    // card, where the window waits for "Run" before it ticks "Firmware Load".
    panel.load = true;
    return out;
}

qint64 Session::deadline(qint64 fallbackMs)
{
    if (inv.timeoutSeconds > 0)
        return conn.env().deadlineMs;
    const qint64 end = inv.ctx.pump.nowMs() + fallbackMs;
    conn.env().deadlineMs = end;
    return end;
}

} // namespace meridan::cli
