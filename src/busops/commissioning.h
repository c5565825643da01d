// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus commands of the main window and the status poll that drives them:
// download and run, Halt/Go, Global Control, EEPROM start and stop, and the
// timer tick. One object for the program's run; the window and the CLI call
// in, the tests drive it with a scripted link and virtual time.
#include "busops/connection.h"

#include <QList>
#include <QString>
#include <functional>
#include <vector>

namespace meridan {

class Commissioning {
public:
    Commissioning(Context &ctx, Connection &conn);

    Connection &connection() { return conn_; }
    Panel &panel() { return conn_.panel(); }

    // Download and run. The Run button: starts the download, which the
    // status poll then carries on job by job. Done when the first job went
    // out; refused when the configuration cannot be downloaded.
    BusOutcome F1_Run_Click();
    // The whole download, waited for while the status poll runs: done when
    // the board reports Operate by `deadlineMs` (the pump's clock). Otherwise
    // why not, with the slave records the master took (loaded of total) and
    // the mode the board reports.
    BusOutcome RunToOperate(qint64 deadlineMs);
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

    // Bus state control. A mode change is done when the master confirmed it
    // and the board reports the new mode; the outcome names the mode the
    // board reports either way.
    BusOutcome F1_Halt_Click();
    // One mode change with Halt/Go's budgets and texts.
    BusOutcome SetMode(iface::BusMode mode);
    // Global Control with the panel's bytes: done when the master took the job.
    BusOutcome Command1_Click();
    // Text4 / Text5: hexadecimal; an entry above FF is refused and the old
    // value kept. Returns the text the field should show afterwards.
    QString Text4_LostFocus(const QString &text);
    QString Text5_LostFocus(const QString &text);
    // Start the master from its EEPROM (done when the board then reports
    // Operate) or stop it (done when it reports Offline).
    BusOutcome EEStart_Click();
    BusOutcome EEStop_Click();

    // What the board says about itself: firmware, mode, the stations in data
    // exchange and those with diagnosis. Fails when the master does not
    // answer within `aliveMs`.
    struct Status {
        BusOutcome outcome;
        QString firmware;
        QList<int> running;
        QList<int> diagnosis;
    };
    Status ReadStatus(int aliveMs);
    // Waits until the board reports `mode`, by `deadlineMs`.
    BusOutcome WaitForMode(iface::BusMode mode, qint64 deadlineMs);

    // A station's diagnosis, asked for and waited for up to `ms`; the bytes
    // are the message's data (also left in the message buffer for decoding).
    struct Diagnosis {
        BusOutcome outcome;
        std::vector<uint8_t> bytes;
    };
    Diagnosis FetchDiagnosis(int station, int ms);

    // The status poll: one tick.
    void Timer1_Timer();
    // Called by the tick for each station diagnosis message (the diagnosis window).
    std::function<void()> onDiagnosis;
    // Called by the tick for every master message, as soon as it is taken in.
    std::function<void()> onMessage;
    // Called before a command changes the bus mode or restarts the master,
    // while the bus still runs as before (the I/O test gives forced outputs back).
    std::function<void()> beforeModeChange;
    // The bus event log (events/bus_watch.h) follows the poll here: each
    // master message as it is taken in (true: it answers the log's own
    // question, and the tick leaves it to the log: the message line, the
    // diagnosis window and the download never see it), and the end of each
    // tick (`lost`: this tick found the board lost and closed the link).
    std::function<bool()> onPollMessage;
    std::function<void(bool lost)> onTickEnd;

    // A command's start and end: the busy cursor and the locked controls. A
    // command started from inside another one's wait is turned away (false).
    bool BusyGuard();
    void EndBusy();
    // What the message line says when a command needs a board and none is
    // connected, and where to choose one.
    QString NoHardwareText() const;

    // Asks the master for the diagnosis of `station`, when it is configured
    // and a board is connected.
    void RequestDiagnosis(int station);

private:
    // What the configuration lacks for a download (a master record, a slave
    // at stations 2..100); empty when it has what a download needs.
    QString NotDownloadable() const;
    // Records longer than a job carries: refused (the reason, also shown)
    // when the master would miss what it needs, else a warning; empty when
    // the download may go.
    QString CutRecords();
    bool NextDownloadSlave();
    bool SendWithBudget(int budget);
    BusOutcome ModeChange(iface::BusMode mode);
    // Lets the status poll and the line work until `done` or `deadlineMs`.
    bool WaitUntil(const std::function<bool()> &done, qint64 deadlineMs);
    // The outcome when a wait ended without the board doing what was asked.
    BusOutcome NotReached(iface::BusMode wanted, const QString &what);
    // The slave records the master holds after a download that stopped.
    int LoadedSlaves() const;
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
