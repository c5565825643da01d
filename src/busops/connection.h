// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The connection to the master board: owns the link of the chosen Hardware
// item (or the stand-in for no board), turns what the link reports into the
// main window's live status, and holds the few rules every bus command
// follows around it: the status timer is stopped for the length of a command
// (DisableTimer) and the commands are locked meanwhile (LockCommands).
#include "busops/bus_outcome.h"
#include "busops/panel.h"
#include "core/context.h"
#include "iface/hardware.h"

#include <functional>
#include <memory>
#include <optional>

namespace meridan {

// Opens a link for a Hardware item; the link factory, or a test's stand-in.
using LinkOpener = std::function<iface::OpenResult(const iface::HwChoice &, iface::LinkEnv &, int16_t,
                                                   const std::function<void(const QString &)> &)>;

class Connection {
public:
    Connection(Context &ctx, Panel &panel, LinkOpener opener = iface::OpenLink);
    ~Connection();

    Panel &panel() { return panel_; }
    iface::Link &link() { return *link_; }
    const iface::Link &link() const { return *link_; }
    bool connected() const { return link_->connected(); }
    // The item that connected the board, for the menu's check mark.
    const std::optional<iface::HwChoice> &item() const { return item_; }
    // Where links get their serial ports; tests hand in scripted ones.
    iface::LinkEnv &env() { return env_; }
    // Called before a board that still answers is given back (another
    // Hardware item, no hardware, exit): the I/O test releases forced outputs.
    std::function<void()> beforeClose;
    // How many boards were connected so far: a new number is a new link.
    int linkCount() const { return linkCount_; }

    // A Hardware item: closes the previous link, opens the new one, shows
    // what it found. Done when a master answered (or for "no Hardware"); the
    // outcome carries the mode the board reported.
    BusOutcome ConnectItem(const iface::HwChoice &choice);
    // The "no Hardware" item.
    void NoHardwareItem();
    // Leaving the program. `exitButton`: the Exit button also says goodbye to
    // a Dromon's or Corvet's serial monitor.
    void CloseForExit(bool exitButton);
    // The status poll's check: a link that stopped answering is reported in
    // the message line, closed, and replaced by no board. True when it was.
    bool CheckLost();
    // The connection text the status poll shows.
    QString hwText() const;

    // The mode the board's bus-state byte gives; nullopt when no board is
    // connected or the byte holds no mode.
    std::optional<iface::BusMode> BoardMode();
    // Whether the master answers a job within `ms`: what a DP-RAM left
    // behind by a board that died cannot do, however alive its bytes look.
    // The job reads the master record back: it changes nothing on the board.
    bool MasterAnswers(int ms);
    // The outcome for a link that is gone or stopped answering: a line fault
    // with the reason the link gives (or what the message line said when the
    // poll closed it); for a wait that the deadline cut short, no answer.
    Outcome LinkFailure(const QString &what);
    // Whether the deadline of this operation (LinkEnv::deadlineMs) has passed.
    bool PastDeadline() const;

    // Restarts the master before a download: stops it, loads a Tessel card's
    // firmware, waits for it to be ready. True when the start byte reads
    // nonzero at the end (also after a ready time-out, which is shown). Every
    // wait ends at the operation's deadline.
    bool StartUp();

    // Stops the status timer after any running tick; returns whether it ran.
    bool DisableTimer();
    void RestoreTimer(bool wasEnabled);
    void LockCommands();
    void UnlockCommands();
    // `count` times: let events through, then sleep 1 ms.
    void PauseWithEvents(int count);

private:
    void closeLink(bool goodbye);
    void clearBoardState();
    void keepPolling();

    Context &ctx_;
    Panel &panel_;
    LinkOpener opener_;
    iface::LinkEnv env_;
    std::unique_ptr<iface::Link> link_;
    std::optional<iface::HwChoice> item_;
    bool timeoutShown_ = false; // the link's first command time-out was shown
    int linkCount_ = 0;
};

} // namespace meridan
