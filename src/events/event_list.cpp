// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/event_list.h"

#include "core/context.h"
#include "core/savefile.h"
#include "core/texts.h"

#include <QStringList>

namespace meridan {

namespace {
// A field quoted when it holds a separator, a quote or a line break.
QString CsvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString CsvLine(const QStringList &fields)
{
    QStringList out;
    for (const QString &f : fields)
        out << CsvField(f);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}
} // namespace

EventList::EventList(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {}

void EventList::add(BusEvent e)
{
    events_.push_back(std::move(e));
    int gone = 0;
    while (events_.size() > limit_) {
        droppedUntil_ = events_.front().timeMs;
        events_.pop_front();
        ++first_;
        ++dropped_;
        ++gone;
    }
    if (onAdded)
        onAdded(gone);
}

void EventList::clear()
{
    first_ += qint64(events_.size());
    events_.clear();
    dropped_ = 0;
    droppedUntil_ = 0;
}

QString EventList::DroppedText(int16_t lang, const QTimeZone &zone) const
{
    return Tr(lang, QStringLiteral("%1 older events dropped (the last at %2); the counts include them"),
              QString::fromUtf8("%1 ältere Ereignisse verworfen (das letzte um %2); die Zählungen enthalten sie"))
        .arg(dropped_)
        .arg(EventTimeText(droppedUntil_, zone));
}

QByteArray EventList::Csv(const EventFilter &filter, int16_t lang, const QTimeZone &zone) const
{
    QString out = CsvLine({QStringLiteral("time"), QStringLiteral("station"), QStringLiteral("kind"), QStringLiteral("event"),
                           QStringLiteral("description")});
    if (dropped_ > 0)
        out += CsvLine({EventTimeText(droppedUntil_, zone), QString(), QStringLiteral("log"), QStringLiteral("dropped"),
                        DroppedText(lang, zone)});
    for (const BusEvent &e : events_) {
        if (!filter.accepts(e))
            continue;
        out += CsvLine({EventTimeText(e.timeMs, zone), e.station >= 0 ? QString::number(e.station) : QString(), KindWord(KindOf(e.what)),
                        WhatWord(e.what), EventText(e, lang)});
    }
    return out.toUtf8();
}

Outcome ExportEventsCsv(Context &ctx, const EventList &list, const EventFilter &filter, const QTimeZone &zone)
{
    FileDialogSpec spec;
    spec.title = ctx.tr(QStringLiteral("Export the event log"), QStringLiteral("Ereignisprotokoll exportieren"));
    spec.filter = QStringLiteral("CSV (*.csv)|*.csv|all (*.*)|*.*");
    spec.defaultSuffix = QStringLiteral("csv");
    spec.initialDir = ctx.root.setupDir();
    spec.fileName = spec.initialDir + QStringLiteral("/events.csv");
    const std::optional<QString> path = ctx.ui.saveFile(spec);
    if (!path || path->isEmpty())
        return Outcome::Fail(Failure::Cancelled, {});
    const QString error = WriteWholeFile(*path, list.Csv(filter, ctx.st.language, zone));
    if (!error.isEmpty()) {
        const QString why = ctx.tr(QStringLiteral("%1 not written: %2"), QStringLiteral("%1 nicht geschrieben: %2")).arg(*path, error);
        ctx.status(why);
        return Outcome::Fail(Failure::Refused, why);
    }
    ctx.status(ctx.tr(QStringLiteral("%1 written"), QStringLiteral("%1 geschrieben")).arg(*path));
    Outcome done;
    done.written << *path;
    return done;
}

} // namespace meridan
