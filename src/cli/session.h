// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A board command's connection: the board --hw names, the status poll
// ticking while the command waits (as in the window), and --timeout as the
// deadline of every wait on the line.
#include "busops/commissioning.h"
#include "busops/status_poll.h"
#include "cli/commands.h"

#include <memory>

namespace meridan::cli {

class Session {
public:
    // `ticking`: the status poll runs while the command waits; peek and poke
    // read and write bytes only.
    explicit Session(Invocation &inv, bool ticking = true);
    ~Session();

    // Connects as the Hardware menu item does.
    BusOutcome connect();
    // When the command must end on the pump's clock: --timeout from the
    // command's start, else `fallbackMs` from now. Every wait of the link
    // ends there too.
    qint64 deadline(qint64 fallbackMs);

    Invocation &inv;
    Panel panel;
    Connection conn;
    Commissioning ops;

private:
    std::unique_ptr<StatusPoll> poll_;
    qint64 start_ = 0;
};

} // namespace meridan::cli
