// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus event log's eyes: rides on the status poll that already runs and
// turns what it sees into events. The bus mode the board reports, each
// station entering or leaving the data exchange, a station's diagnosis
// appearing, changing or clearing, every master message, the board lost and
// back, and each text of the message line. Counts per station are kept here,
// apart from any list of events, so they survive a list that drops its oldest.
//
// How it sees every station without slowing the poll: it reads one byte of
// the running list and the same byte of the diagnosis list (eight stations)
// per tick on a serial line, where each read costs line time, and one such
// pair per 100 ms of the poll's interval on a mapped DP-RAM or the network
// (four a tick over TCP/IP), in a round over the list bytes that hold
// stations seen so far or configured, plus one byte of the others per round;
// right after a board is connected the first round reads all sixteen. The
// demo bus (stations 12, 20, 30, 40) is seen whole every 0.5 s (1.25 s on a
// serial line): a drop-out shorter than that can pass unseen. On a serial
// line that sends its lists when asked, the tick asks for the byte it reads
// next. The bus-state byte is read once a round, after a mode message and
// when a station leaves the data exchange (to tell a drop-out from a stopped
// bus); on that line, where a byte read waits for its reply among the list
// frames, the mode is what the master's messages said. A diagnosis is asked for when a station's bit comes on, and again for
// one station with diagnosis every two seconds (ten on a serial line), one
// request at a time, so its changes show. The answers are the log's own: the
// message line and the diagnosis window do not show them.
#include "events/bus_event.h"

#include <QTimeZone>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace meridan {

struct Context;
class Commissioning;
namespace iface {
class Link;
}

class BusWatch {
public:
    // Hooks into the status poll of `com` and the message line of `ctx`
    // until destroyed. `wallClock`: milliseconds since the epoch (tests give
    // a virtual one); durations are measured on the pump's clock.
    BusWatch(Context &ctx, Commissioning &com, std::function<qint64()> wallClock = {});
    ~BusWatch();
    BusWatch(const BusWatch &) = delete;
    BusWatch &operator=(const BusWatch &) = delete;

    // Every event as it happens.
    std::function<void(const BusEvent &)> onEvent;

    // A mapped DP-RAM looks alive byte for byte after its board died: with
    // this on, the log asks the master something every few seconds when it
    // heard nothing from it meanwhile (a station's diagnosis), and a request
    // that goes unanswered, or a mailbox the master no longer empties, counts
    // as the board lost. Then `onMasterSilent` is called (after the tick), so
    // the owner can give up the link. Off in the window: its message line
    // shows every master message, and the window keeps its own behaviour.
    bool probeMaster = false;
    std::function<void()> onMasterSilent;
    static constexpr int kProbeMs = 5000;

    struct Station {
        int dropOuts = 0;
        int diagnosisChanges = 0;
        qint64 outMs = 0;     // time out of data exchange after drop-outs that ended
        qint64 outSince = -1; // the pump's clock when the drop-out under way began
        // What the poll last saw.
        bool seen = false;
        bool running = false;
        bool diagnosis = false;
        bool diagnosisShown = false; // the event for its diagnosis went out
        std::vector<uint8_t> bytes;  // the last diagnosis that arrived
    };
    // The stations that ran or had diagnosis since the log began.
    const std::map<int, Station> &stations() const { return stations_; }
    // Time out of data exchange, with a drop-out under way counted up to now.
    qint64 outOfExchangeMs(int station) const;
    // The board was lost and no board has been connected since.
    bool linkDown() const { return lostDown_; }
    // Why it was lost (the message line's text then).
    const QString &lostReason() const { return lostReason_; }
    int events() const { return events_; }

    // Language and zone of the texts it makes (for its users' convenience).
    QTimeZone zone = QTimeZone::systemTimeZone();

    static constexpr int kDiagWaitMs = 3000;    // a diagnosis request's answer
    static constexpr int kDiagRefreshMs = 2000; // one repeated request this often,
    static constexpr int kDiagRefreshSerialMs = 10000; // on a serial line this often

private:
    bool MessageTaken();
    void TickEnd(bool lost);
    void Emit(BusEvent e);
    BusEvent Make(EventWhat what, int station = -1) const;
    void LinkChanged(bool up);
    void Lost();
    void ResetView();
    std::optional<iface::BusMode> BoardMode();
    void WatchMode(bool force);
    void TakeMode(std::optional<iface::BusMode> mode, uint8_t cause);
    bool BusRuns();
    void ReadListByte(iface::Link &link);
    void NewRound();
    void See(int station, bool running, bool diagnosis);
    void Diagnosis(int station, std::vector<uint8_t> bytes);
    void AskDiagnosis(iface::Link &link);
    void StopOutTimes();
    void MasterSilent();

    Context &ctx_;
    Commissioning &com_;
    std::function<qint64()> wall_;
    std::function<void(const QString &)> statusBefore_;

    std::map<int, Station> stations_;
    int events_ = 0;
    int linkCount_ = -1; // the connection's link this log follows; -1 none
    int silentLink_ = -1; // a link whose master stopped answering
    bool framed_ = false; // the link's board sends its lists when asked
    bool lostDown_ = false;
    QString lostReason_;

    std::optional<iface::BusMode> mode_;      // the mode of the last mode event
    bool modeMessage_ = false;                // a mode message came in this tick
    uint8_t cause_ = 0;

    uint16_t knownBytes_ = 0;   // list bytes with a station seen (bit per byte)
    bool firstRound_ = true;    // the next round reads every list byte
    int discover_ = 0;          // the list byte the next round looks at besides
    std::vector<int> round_;    // the list bytes of this round
    std::size_t roundAt_ = 0;
    qint64 nextRead_ = 0;

    std::deque<int> diagWanted_; // stations whose diagnosis is to be asked for
    int asked_ = -1;             // the station asked for; -1 none
    qint64 askedAt_ = 0;
    qint64 nextRefresh_ = 0;
    int refreshAfter_ = -1;      // the station asked for again last
    qint64 heardAt_ = 0;         // the last message from the master
    qint64 refusedSince_ = -1;   // the mailbox has refused the log's job since
};

} // namespace meridan
