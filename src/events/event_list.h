// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The events a window keeps: the newest up to a limit, the oldest dropped
// beyond it with a note of how many went (the counts per station live in the
// BusWatch, so nothing of them is lost), a filter by station and kind, and
// the list as CSV.
#include "core/outcome.h"
#include "events/bus_event.h"

#include <QByteArray>
#include <deque>
#include <functional>

namespace meridan {

struct EventFilter {
    static constexpr int kAnyStation = -2;
    int station = kAnyStation;     // kAnyStation, -1 (the bus, no station) or a station
    std::optional<EventKind> kind; // none: every kind
    bool accepts(const BusEvent &e) const
    {
        return (station == kAnyStation || e.station == station) && (!kind || KindOf(e.what) == *kind);
    }
};

class EventList {
public:
    // About 125 bytes an event with what it holds on the heap, 6.2 MB when
    // full (bench/events measures it).
    static constexpr std::size_t kDefaultLimit = 50000;
    explicit EventList(std::size_t limit = kDefaultLimit);

    // Adds an event; beyond the limit the oldest goes.
    void add(BusEvent e);
    void clear();

    std::size_t size() const { return events_.size(); }
    std::size_t limit() const { return limit_; }
    // The events by sequence number: the first ever added is 0; `first()` is
    // the oldest still kept, `end()` the next to come.
    qint64 first() const { return first_; }
    qint64 end() const { return first_ + qint64(events_.size()); }
    const BusEvent &bySeq(qint64 seq) const { return events_[std::size_t(seq - first_)]; }

    // Events dropped so far, and the time of the newest of them.
    qint64 dropped() const { return dropped_; }
    qint64 droppedUntilMs() const { return droppedUntil_; }
    // "1234 older events dropped (until TIME); the counts include them".
    QString DroppedText(int16_t language, const QTimeZone &zone) const;

    // Called after each add with the number of events dropped by it.
    std::function<void(int dropped)> onAdded;

    // The events the filter accepts as CSV (RFC 4180, CR LF, UTF-8): time,
    // station, kind, event (the stable words), description. A first line
    // says what was dropped.
    QByteArray Csv(const EventFilter &filter, int16_t language, const QTimeZone &zone) const;

private:
    std::size_t limit_;
    std::deque<BusEvent> events_;
    qint64 first_ = 0;
    qint64 dropped_ = 0;
    qint64 droppedUntil_ = 0;
};

struct Context;

// "Export CSV": asks where (the prompts' save dialog), then writes what the
// filter accepts. Done with the file in `written`; cancelled; or refused with
// why the file was not written. The message line says which.
Outcome ExportEventsCsv(Context &ctx, const EventList &list, const EventFilter &filter, const QTimeZone &zone);

} // namespace meridan
