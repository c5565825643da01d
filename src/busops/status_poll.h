// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status poll on a timer of its own, for a program without the main
// window: it ticks at the interval the panel asks for and stops while a
// command holds the timer, as the window's Timer1 does.
#include "busops/commissioning.h"

#include <QTimer>

namespace meridan {

class StatusPoll {
public:
    explicit StatusPoll(Commissioning &com);
    ~StatusPoll();
    StatusPoll(const StatusPoll &) = delete;
    StatusPoll &operator=(const StatusPoll &) = delete;

private:
    void follow();
    Commissioning &com_;
    QTimer timer_;
};

} // namespace meridan
