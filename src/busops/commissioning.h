// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus commands of the main window and the status poll that drives them:
// download and run, Halt/Go, Global Control, EEPROM start and stop, and the
// timer tick. One object for the program's run; the window and the CLI call
// in, the tests drive it with a scripted link and virtual time.
#include "busops/connection.h"

#include <QString>
#include <functional>

namespace meridan {

class Commissioning {
public:
    Commissioning(Context &ctx, Connection &conn);

    Connection &connection() { return conn_; }
    Panel &panel() { return conn_.panel(); }

    // Download and run.
    void F1_Run_Click();
    void StepMachine();
    uint8_t ReplyStatus(iface::MsgCode expected) const;
    int startupStep = 0;
    // Where the download's walk over the slaves stands. Kept apart from the
    // current station, which a click in the station list changes meanwhile.
    int downloadStation = 0;
    // A download is under way: a job is out and its reply awaited.
    bool downloading() const { return startupStep != 0 && !panel_.run; }
    // A walk over the stations with one job each (reading the configuration
    // back from the master) is under way; with fast download it is paced like
    // a download.
    bool walking = false;

    // Fast download (State::fastDownload): while a download is under way the
    // status poll looks for the next reply every millisecond, so the next job
    // goes out as soon as the board has answered, not at the poll's next
    // tick. Everything else keeps the poll's interval, which returns when the
    // download ends (or when the board has kept silent for a second).
    static constexpr int kFastPollMs = 1;
    static constexpr int kFastIdleMs = 1000;

    // Bus state control.
    void F1_Halt_Click();
    // One mode change with Halt/Go's budgets and texts; true when confirmed.
    bool SetMode(iface::BusMode mode);
    void Command1_Click();
    // Text4 / Text5: hexadecimal; an entry above FF is refused and the old
    // value kept. Returns the text the field should show afterwards.
    QString Text4_LostFocus(const QString &text);
    QString Text5_LostFocus(const QString &text);
    void EEStart_Click();
    void EEStop_Click();

    // The status poll: one tick.
    void Timer1_Timer();
    // Called by the tick for each station diagnosis message (the diagnosis window).
    std::function<void()> onDiagnosis;
    // Called by the tick for every master message, as soon as it is taken in.
    std::function<void()> onMessage;

    // A command's start and end: the busy cursor and the locked controls. A
    // command started from inside another one's wait is turned away (false).
    bool BusyGuard();
    void EndBusy();

    // Asks the master for the diagnosis of `station`, when it is configured
    // and a board is connected.
    void RequestDiagnosis(int station);

private:
    // The configuration has what a download needs (a master record and a
    // slave); says what is missing when not.
    bool Downloadable();
    bool NextDownloadSlave();
    bool SendWithBudget(int budget);
    bool ModeChange(iface::BusMode mode);
    QString GcEntry(const QString &text, uint8_t &target);
    void TakeMessage();
    void PaintMarks();
    void PaceDownload(bool progress);

    Context &ctx_;
    Connection &conn_;
    Panel &panel_;
    int normalInterval_ = 0;   // the poll's interval while it runs fast; 0: not fast
    qint64 lastProgress_ = 0;  // when the download last moved on
};

} // namespace meridan
