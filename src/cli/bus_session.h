#pragma once
// What every bus command of the CLI shares: a connection to the board, the
// bus commands on it, and the status timer ticking while commands wait, as
// it does in the window.
#include "busops/commissioning.h"
#include "cli/commands.h"
#include "iface/board_port.h"
#include "iface/hwname.h"

#include <QTimer>
#include <functional>

namespace meridan::cli {

class BusSession {
public:
    explicit BusSession(Env &env);
    ~BusSession();

    // Connects as the Hardware menu item does; false (with the reason on
    // stderr) when no master answered.
    bool connect(const iface::HwChoice &hw);
    // Lets the timer and the line work until `done` or `ms` have passed.
    bool waitFor(const std::function<bool()> &done, int ms);
    // Prints each new status line text on stdout.
    void echoStatus(bool on);

    Env &env;
    iface::BoardPort port;
    Commissioning ops;
    Panel &panel;

private:
    void syncTimer();
    QTimer timer_;
};

} // namespace meridan::cli
