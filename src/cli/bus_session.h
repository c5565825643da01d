// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every board command of the CLI shares: a connection to the board, the
// bus commands on it, and the status timer ticking while commands wait, as
// it does in the window.
#include "busops/commissioning.h"
#include "cli/commands.h"

#include <QTimer>
#include <functional>

namespace meridan::cli {

class BusSession {
public:
    // `ticking`: the status poll runs while the session waits, as in the
    // window; peek and poke read and write bytes only.
    explicit BusSession(Env &env, bool ticking = true);
    ~BusSession();

    // Connects as the Hardware menu item does; false (with the reason on
    // stderr) when no master answered.
    bool connect(const iface::HwChoice &hw);
    // Lets the timer and the line work until `done` or `ms` have passed.
    bool waitFor(const std::function<bool()> &done, int ms);
    // Prints each new status line text on stdout.
    void echoStatus(bool on);
    // Whether the master answers a job within `ms`: what a DP-RAM left behind
    // by a board that died cannot do, however alive its bytes look.
    bool masterAnswers(int ms);
    // From now on every wait of the link ends `ms` from now at the latest.
    void setDeadline(int ms);
    iface::Link &link() { return conn.link(); }

    Env &env;
    Panel panel;
    Connection conn;
    Commissioning ops;

private:
    void syncTimer();
    QTimer timer_;
    bool ticking_;
};

} // namespace meridan::cli
