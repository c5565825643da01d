// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/bus_watch.h"

#include "busops/commissioning.h"

#include <QDateTime>
#include <algorithm>

namespace meridan {

using iface::BusMode;
using iface::MsgCode;

namespace {
constexpr int kListBytes = 16;
constexpr int kLastStation = 125;
// A master message keeps its header and this many data bytes in the log.
constexpr std::size_t kMessageBytesKept = 8 + 16;

bool BusActive(std::optional<BusMode> m)
{
    return m == BusMode::Clear || m == BusMode::Operate;
}

// Each byte read and each job cost a serial line its time.
bool OnSerialLine(const iface::Link &link)
{
    return link.traits().kind == iface::InterfaceKind::Com1 || link.traits().kind == iface::InterfaceKind::Com2;
}
} // namespace

BusWatch::BusWatch(Context &ctx, Commissioning &com, std::function<qint64()> wallClock)
    : ctx_(ctx), com_(com), wall_(std::move(wallClock))
{
    if (!wall_)
        wall_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
    com_.onPollMessage = [this] { return MessageTaken(); };
    com_.onTickEnd = [this](bool lost) { TickEnd(lost); };
    statusBefore_ = ctx_.statusLog;
    ctx_.statusLog = [this](const QString &text) {
        if (statusBefore_)
            statusBefore_(text);
        if (!text.isEmpty()) {
            BusEvent e = Make(EventWhat::Line);
            e.text = text;
            Emit(std::move(e));
        }
    };
}

BusWatch::~BusWatch()
{
    com_.onPollMessage = nullptr;
    com_.onTickEnd = nullptr;
    ctx_.statusLog = statusBefore_;
}

BusEvent BusWatch::Make(EventWhat what, int station) const
{
    BusEvent e;
    e.timeMs = wall_();
    e.what = what;
    e.station = station;
    return e;
}

void BusWatch::Emit(BusEvent e)
{
    ++events_;
    if (onEvent)
        onEvent(e);
}

qint64 BusWatch::outOfExchangeMs(int station) const
{
    const auto it = stations_.find(station);
    if (it == stations_.end())
        return 0;
    const Station &x = it->second;
    return x.outMs + (x.outSince >= 0 ? std::max<qint64>(ctx_.pump.nowMs() - x.outSince, 0) : 0);
}

// ---- What the poll hands over -------------------------------------------

bool BusWatch::MessageTaken()
{
    const auto &m = ctx_.st.mbuf;
    heardAt_ = ctx_.pump.nowMs();
    if (iface::IsMessage(m, MsgCode::StationDiagnosis)) {
        const int station = m[3];
        const bool own = station == asked_;
        if (own)
            asked_ = -1;
        const std::size_t n = std::min<std::size_t>(m[7], m.size() - 8);
        if (m[2] == 0 && station <= kLastStation)
            Diagnosis(station, std::vector<uint8_t>(m.begin() + 8, m.begin() + 8 + long(n)));
        return own;
    }
    if (iface::IsMessage(m, MsgCode::ModeReport)) {
        modeMessage_ = true;
        cause_ = m[4];
    } else if (iface::IsMessage(m, MsgCode::ModeSet)) {
        modeMessage_ = true;
    }
    BusEvent e = Make(EventWhat::Message);
    e.bytes.assign(m.begin(), m.begin() + long(std::min<std::size_t>(8 + m[7], kMessageBytesKept)));
    Emit(std::move(e));
    return false;
}

void BusWatch::TickEnd(bool lost)
{
    if (lost) {
        Lost();
        return;
    }
    Connection &conn = com_.connection();
    // A link whose master fell silent stays given up, until another one.
    const bool up = conn.connected() && conn.linkCount() != silentLink_;
    if ((up ? conn.linkCount() : -1) != linkCount_)
        LinkChanged(up);
    if (!up)
        return;
    iface::Link &link = conn.link();
    WatchMode(false);
    // A download or a read-back paces the poll by the board's replies: the
    // log keeps out of their way.
    if (com_.downloading() || com_.walking || link.lost())
        return;
    const qint64 now = ctx_.pump.nowMs();
    if (now >= nextRead_) {
        const int pollMs = link.traits().pollMs;
        nextRead_ = now + std::max(1, pollMs * 3 / 4);
        // A list byte a tick on a serial line; a mapped DP-RAM or the network
        // reads one per 100 ms of the poll's interval, so a round takes as
        // long on every such board.
        const int reads = OnSerialLine(link) ? 1 : std::max(1, (pollMs + 99) / 100);
        for (int i = 0; i < reads && !link.lost(); ++i)
            ReadListByte(link);
    }
    if (!link.lost())
        AskDiagnosis(link);
}

// ---- The connection -------------------------------------------------------

void BusWatch::LinkChanged(bool up)
{
    StopOutTimes();
    ResetView();
    if (linkCount_ >= 0)
        Emit(Make(EventWhat::Disconnected));
    if (!up) {
        linkCount_ = -1;
        return;
    }
    Connection &conn = com_.connection();
    BusEvent e = Make(lostDown_ ? EventWhat::Back : EventWhat::Connected);
    e.text = conn.hwText();
    if (!conn.link().versionText.isEmpty())
        e.text += QLatin1Char(' ') + conn.link().versionText;
    linkCount_ = conn.linkCount();
    // The first round's first list byte, asked for now where the board sends
    // its lists when asked.
    framed_ = conn.link().orderLiveList(0);
    lostDown_ = false;
    silentLink_ = -1;
    heardAt_ = ctx_.pump.nowMs();
    Emit(std::move(e));
}

void BusWatch::MasterSilent()
{
    silentLink_ = linkCount_;
    StopOutTimes();
    ResetView();
    linkCount_ = -1;
    lostDown_ = true;
    lostReason_ = ctx_.tr(QStringLiteral("the master does not answer"), QStringLiteral("der Master antwortet nicht"));
    BusEvent e = Make(EventWhat::Lost);
    e.text = lostReason_;
    Emit(std::move(e));
    if (onMasterSilent)
        onMasterSilent();
}

void BusWatch::Lost()
{
    StopOutTimes();
    ResetView();
    linkCount_ = -1;
    lostDown_ = true;
    lostReason_ = ctx_.st.melde1;
    BusEvent e = Make(EventWhat::Lost);
    e.text = lostReason_;
    Emit(std::move(e));
}

// What the log saw of the board is void once it changed or went: the next
// round sees every station afresh. The counts stay.
void BusWatch::ResetView()
{
    for (auto &[station, x] : stations_) {
        x.seen = x.running = x.diagnosis = x.diagnosisShown = false;
    }
    round_.clear();
    roundAt_ = 0;
    firstRound_ = true;
    nextRead_ = 0;
    diagWanted_.clear();
    asked_ = -1;
    refusedSince_ = -1;
    mode_.reset();
    modeMessage_ = false;
    cause_ = 0;
}

void BusWatch::StopOutTimes()
{
    const qint64 now = ctx_.pump.nowMs();
    for (auto &[station, x] : stations_) {
        if (x.outSince >= 0)
            x.outMs += std::max<qint64>(now - x.outSince, 0);
        x.outSince = -1;
    }
}

// ---- The bus mode ---------------------------------------------------------

// The mode the board's bus-state byte gives, read once a round and after a
// mode message; where the byte holds no mode, what the messages said (the
// mode the window shows). A line that sends its lists when asked is left
// to its frames: a byte read there waits for its reply among them.
std::optional<BusMode> BusWatch::BoardMode()
{
    const auto mode = framed_ ? std::nullopt : com_.connection().BoardMode();
    return mode ? mode : com_.panel().mode;
}

void BusWatch::WatchMode(bool force)
{
    if (force || modeMessage_)
        TakeMode(BoardMode(), cause_);
    modeMessage_ = false;
    cause_ = 0;
}

void BusWatch::TakeMode(std::optional<BusMode> mode, uint8_t cause)
{
    if (!mode || mode == mode_)
        return;
    BusEvent e = Make(EventWhat::ModeChanged);
    e.mode = mode;
    e.previous = mode_;
    e.cause = cause;
    mode_ = mode;
    // Out of data exchange counts while the bus runs.
    if (!BusActive(mode))
        StopOutTimes();
    Emit(std::move(e));
}

bool BusWatch::BusRuns()
{
    TakeMode(BoardMode(), 0);
    return BusActive(mode_);
}

// ---- The station lists ----------------------------------------------------

void BusWatch::NewRound()
{
    round_.clear();
    roundAt_ = 0;
    if (firstRound_) {
        firstRound_ = false;
        for (int i = 0; i < kListBytes; ++i)
            round_.push_back(i);
        return;
    }
    uint32_t bytes = knownBytes_;
    for (int s = 1; s <= kLastStation; ++s)
        if (ctx_.st.image.hasSlave(s))
            bytes |= 1u << (s / 8);
    for (int i = 0; i < kListBytes; ++i)
        if (bytes & (1u << i))
            round_.push_back(i);
    // One list byte without a known station, a different one each round: a
    // station that turns up there is seen within sixteen rounds.
    for (int k = 0; k < kListBytes; ++k) {
        const int i = (discover_ + k) % kListBytes;
        if (!(bytes & (1u << i))) {
            round_.push_back(i);
            discover_ = (i + 1) % kListBytes;
            break;
        }
    }
}

void BusWatch::ReadListByte(iface::Link &link)
{
    if (roundAt_ >= round_.size()) {
        NewRound();
        WatchMode(true);
        if (link.lost())
            return;
    }
    const int index = round_[roundAt_++];
    const uint8_t run = link.listByte(0, index);
    const uint8_t dia = link.listByte(1, index);
    if (link.lost())
        return;
    // A line that sends its lists when asked: ask now for the byte read next,
    // so it has arrived by then.
    link.orderLiveList(roundAt_ < round_.size() ? round_[roundAt_] : round_.front());
    for (int bit = 0; bit < 8; ++bit) {
        const int s = index * 8 + bit;
        if (s > kLastStation)
            break;
        const bool r = (run >> bit) & 1;
        const bool d = (dia >> bit) & 1;
        if (r || d)
            knownBytes_ = uint16_t(knownBytes_ | (1u << index));
        if (!r && !d && !stations_.count(s))
            continue;
        See(s, r, d);
    }
}

void BusWatch::See(int station, bool running, bool diagnosis)
{
    Station &x = stations_[station];
    const qint64 now = ctx_.pump.nowMs();
    if (!x.seen) {
        // What the station does when the log first looks is no change.
        x.seen = true;
        x.running = running;
        if (running)
            Emit(Make(EventWhat::Entered, station));
    } else if (running != x.running) {
        x.running = running;
        if (running) {
            BusEvent e = Make(EventWhat::Entered, station);
            if (x.outSince >= 0) {
                e.outMs = std::max<qint64>(now - x.outSince, 0);
                x.outMs += e.outMs;
                x.outSince = -1;
            }
            Emit(std::move(e));
        } else {
            BusEvent e = Make(EventWhat::Left, station);
            e.dropOut = BusRuns();
            if (e.dropOut) {
                e.count = ++x.dropOuts;
                x.outSince = now;
            }
            Emit(std::move(e));
        }
    }
    if (diagnosis == x.diagnosis)
        return;
    x.diagnosis = diagnosis;
    if (diagnosis) {
        // Told when the diagnosis arrives, so the event carries it.
        if (std::find(diagWanted_.begin(), diagWanted_.end(), station) == diagWanted_.end())
            diagWanted_.push_back(station);
        return;
    }
    diagWanted_.erase(std::remove(diagWanted_.begin(), diagWanted_.end(), station), diagWanted_.end());
    if (!x.diagnosisShown) {
        // On and off again before its diagnosis came: both are told.
        BusEvent e = Make(EventWhat::DiagAppeared, station);
        e.count = ++x.diagnosisChanges;
        Emit(std::move(e));
    }
    x.diagnosisShown = false;
    BusEvent e = Make(EventWhat::DiagCleared, station);
    e.count = ++x.diagnosisChanges;
    Emit(std::move(e));
}

// ---- Diagnosis ------------------------------------------------------------

void BusWatch::Diagnosis(int station, std::vector<uint8_t> bytes)
{
    const auto it = stations_.find(station);
    if (it == stations_.end())
        return; // a station the log has not seen run or report
    Station &x = it->second;
    diagWanted_.erase(std::remove(diagWanted_.begin(), diagWanted_.end(), station), diagWanted_.end());
    if (x.diagnosis && !x.diagnosisShown) {
        x.diagnosisShown = true;
        BusEvent e = Make(EventWhat::DiagAppeared, station);
        e.bytes = bytes;
        e.count = ++x.diagnosisChanges;
        x.bytes = std::move(bytes);
        Emit(std::move(e));
    } else if (x.diagnosis && bytes != x.bytes) {
        BusEvent e = Make(EventWhat::DiagChanged, station);
        e.changes = DiagnosisChanges(x.bytes, bytes);
        e.bytes = bytes;
        e.count = ++x.diagnosisChanges;
        x.bytes = std::move(bytes);
        Emit(std::move(e));
    } else {
        x.bytes = std::move(bytes);
    }
}

void BusWatch::AskDiagnosis(iface::Link &link)
{
    const qint64 now = ctx_.pump.nowMs();
    if (asked_ >= 0) {
        if (now - askedAt_ < kDiagWaitMs)
            return;
        if (probeMaster && heardAt_ < askedAt_) {
            MasterSilent();
            return;
        }
        const auto it = stations_.find(asked_);
        asked_ = -1;
        if (it != stations_.end() && it->second.diagnosis && !it->second.diagnosisShown) {
            it->second.diagnosisShown = true;
            BusEvent e = Make(EventWhat::DiagAppeared, it->first);
            e.count = ++it->second.diagnosisChanges;
            Emit(std::move(e));
        }
    }
    // Nobody would take the answer in (a Tessel card before Run): the
    // diagnosis is told without its bytes.
    if (!com_.panel().load) {
        for (const int s : diagWanted_) {
            Station &x = stations_[s];
            if (!x.diagnosis || x.diagnosisShown)
                continue;
            x.diagnosisShown = true;
            BusEvent e = Make(EventWhat::DiagAppeared, s);
            e.count = ++x.diagnosisChanges;
            Emit(std::move(e));
        }
        diagWanted_.clear();
        return;
    }
    // A command of the window may be waiting for the mailbox.
    if (com_.panel().busy)
        return;
    int station = -1;
    while (station < 0 && !diagWanted_.empty()) {
        const int s = diagWanted_.front();
        diagWanted_.pop_front();
        if (const auto it = stations_.find(s); it != stations_.end() && it->second.diagnosis)
            station = s;
    }
    if (station < 0 && now >= nextRefresh_) {
        // The stations with diagnosis in turn, so a change shows.
        const auto next = [&](auto from) {
            return std::find_if(from, stations_.end(), [](const auto &kv) { return kv.second.diagnosis && kv.second.diagnosisShown; });
        };
        auto it = next(stations_.upper_bound(refreshAfter_));
        if (it == stations_.end())
            it = next(stations_.begin());
        if (it != stations_.end()) {
            station = refreshAfter_ = it->first;
            nextRefresh_ = now + (OnSerialLine(link) ? kDiagRefreshSerialMs : kDiagRefreshMs);
        }
    }
    if (station < 0 && probeMaster && now - std::max(heardAt_, askedAt_) >= kProbeMs) {
        // Nothing heard for a while: a question any master answers at once.
        station = stations_.empty() ? 1 : stations_.begin()->first;
    }
    if (station < 0)
        return;
    Record job;
    iface::SetJob(job, iface::JobCode::StationDiagnosis, uint8_t(station));
    if (link.putJob(job)) {
        asked_ = station;
        askedAt_ = now;
        refusedSince_ = -1;
        return;
    }
    diagWanted_.push_front(station); // the master has not taken the last job yet
    if (refusedSince_ < 0)
        refusedSince_ = now;
    if (probeMaster && now - refusedSince_ >= kDiagWaitMs && heardAt_ < refusedSince_)
        MasterSilent();
}

} // namespace meridan
