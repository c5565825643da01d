// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/status_poll.h"

namespace meridan {

StatusPoll::StatusPoll(Commissioning &com) : com_(com)
{
    QObject::connect(&timer_, &QTimer::timeout, [this] { com_.Timer1_Timer(); });
    com_.panel().changed = [this] { follow(); };
    follow();
}

StatusPoll::~StatusPoll()
{
    timer_.stop();
    com_.panel().changed = nullptr;
}

void StatusPoll::follow()
{
    const Panel &p = com_.panel();
    if (!p.timerEnabled) {
        timer_.stop();
        return;
    }
    if (timer_.interval() != p.timerInterval && p.timerInterval > 0)
        timer_.setInterval(p.timerInterval);
    if (!timer_.isActive())
        timer_.start();
}

} // namespace meridan
