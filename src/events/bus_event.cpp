// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/bus_event.h"

#include "core/bytes.h"
#include "core/texts.h"
#include "monitor/diagnosis.h"

#include <QDateTime>
#include <QJsonArray>

namespace meridan {

namespace {

QString Hex2(int v)
{
    return HexUpper(unsigned(v), 2);
}

QString ModeWord(const std::optional<iface::BusMode> &m)
{
    return m ? iface::BusModeText(*m) : QStringLiteral("?");
}

QString CauseText(uint8_t cause, int16_t lang)
{
    switch (cause) {
    case kCauseAutoClear: return Tr(lang, QStringLiteral("auto-clear"), QStringLiteral("Auto-Clear"));
    case kCauseEepromStart: return Tr(lang, QStringLiteral("start from the EEPROM"), QStringLiteral("Start aus dem EEPROM"));
    default: return {};
    }
}

// What a master message says, by its code.
QString MessageText(const std::vector<uint8_t> &m, int16_t lang)
{
    if (m.size() < 8)
        return Tr(lang, QStringLiteral("message"), QStringLiteral("Meldung"));
    const auto T = [lang](const char *en, const char *de) { return Tr(lang, QString::fromUtf8(en), QString::fromUtf8(de)); };
    const int status = m[2];
    const int param = m[3];
    QString what;
    bool statusMatters = true;
    switch (m[0]) {
    case iface::Code(iface::MsgCode::ModeReport): {
        what = T("mode report %1", "Betriebsartmeldung %1").arg(ModeWord(iface::BusModeOf(uint8_t(param))));
        if (const QString c = CauseText(m[4], lang); !c.isEmpty())
            what += QStringLiteral(" (") + c + QLatin1Char(')');
        statusMatters = false;
        break;
    }
    case iface::Code(iface::MsgCode::ModeSet):
        what = T("set-mode job done: %1", "Betriebsartauftrag erledigt: %1").arg(ModeWord(iface::BusModeOf(uint8_t(param))));
        break;
    case iface::Code(iface::MsgCode::MasterLoaded): what = T("master record loaded", "Master Parameter geladen"); break;
    case iface::Code(iface::MsgCode::SlaveLoaded): what = T("slave %1 record loaded", "Slave %1 Parameter geladen").arg(param); break;
    case iface::Code(iface::MsgCode::MasterRead): what = T("master record read back", "Master Parameter zurückgelesen"); break;
    case iface::Code(iface::MsgCode::SlaveRead):
        what = T("slave %1 record read back", "Slave %1 Parameter zurückgelesen").arg(param);
        statusMatters = false; // byte 2 holds the next station
        break;
    case iface::Code(iface::MsgCode::EepromDone): what = T("EEPROM job done", "EEPROM-Auftrag erledigt"); break;
    case 0xE0:
        what = T("job %1 refused", "Auftrag %1 abgelehnt").arg(Hex2(param));
        statusMatters = false;
        break;
    default:
        what = T("status %1, parameter %2", "Status %1, Parameter %2").arg(Hex2(status), Hex2(param));
        statusMatters = false;
        break;
    }
    if (statusMatters && status != 0)
        what += T(", status %1", ", Status %1").arg(status);
    return T("message %1: ", "Meldung %1: ").arg(Hex2(m[0])) + what;
}

} // namespace

QString SecondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

EventKind KindOf(EventWhat what)
{
    switch (what) {
    case EventWhat::ModeChanged: return EventKind::Mode;
    case EventWhat::Entered:
    case EventWhat::Left: return EventKind::Exchange;
    case EventWhat::DiagAppeared:
    case EventWhat::DiagChanged:
    case EventWhat::DiagCleared: return EventKind::Diagnosis;
    case EventWhat::Message: return EventKind::Message;
    case EventWhat::Connected:
    case EventWhat::Lost:
    case EventWhat::Back:
    case EventWhat::Disconnected: return EventKind::Link;
    case EventWhat::Line: break;
    }
    return EventKind::Line;
}

QString KindWord(EventKind kind)
{
    switch (kind) {
    case EventKind::Mode: return QStringLiteral("mode");
    case EventKind::Exchange: return QStringLiteral("exchange");
    case EventKind::Diagnosis: return QStringLiteral("diagnosis");
    case EventKind::Message: return QStringLiteral("message");
    case EventKind::Link: return QStringLiteral("link");
    case EventKind::Line: break;
    }
    return QStringLiteral("line");
}

QString WhatWord(EventWhat what)
{
    switch (what) {
    case EventWhat::ModeChanged:
    case EventWhat::DiagChanged: return QStringLiteral("changed");
    case EventWhat::Entered: return QStringLiteral("entered");
    case EventWhat::Left: return QStringLiteral("left");
    case EventWhat::DiagAppeared: return QStringLiteral("appeared");
    case EventWhat::DiagCleared: return QStringLiteral("cleared");
    case EventWhat::Message: return QStringLiteral("message");
    case EventWhat::Connected: return QStringLiteral("connected");
    case EventWhat::Lost: return QStringLiteral("lost");
    case EventWhat::Back: return QStringLiteral("back");
    case EventWhat::Disconnected: return QStringLiteral("disconnected");
    case EventWhat::Line: break;
    }
    return QStringLiteral("line");
}

QString KindName(EventKind kind, int16_t lang)
{
    switch (kind) {
    case EventKind::Mode: return Tr(lang, QStringLiteral("bus mode"), QStringLiteral("Betriebsart"));
    case EventKind::Exchange: return Tr(lang, QStringLiteral("data exchange"), QStringLiteral("Datenaustausch"));
    case EventKind::Diagnosis: return Tr(lang, QStringLiteral("diagnosis"), QStringLiteral("Diagnose"));
    case EventKind::Message: return Tr(lang, QStringLiteral("master message"), QStringLiteral("Mastermeldung"));
    case EventKind::Link: return Tr(lang, QStringLiteral("connection"), QStringLiteral("Verbindung"));
    case EventKind::Line: break;
    }
    return Tr(lang, QStringLiteral("message line"), QStringLiteral("Meldezeile"));
}

QString DiagnosisSummary(const std::vector<uint8_t> &d)
{
    if (d.size() < 6) {
        QString raw;
        for (const uint8_t b : d)
            raw += HexByteText(b);
        return QStringLiteral("%1 bytes %2").arg(d.size()).arg(raw).trimmed();
    }
    QStringList set;
    for (int i = 0; i < 3; ++i)
        for (int b = 7; b >= 0; --b)
            if ((d[std::size_t(i)] >> b) & 1)
                set << DiagBitName(i, b);
    QString s = set.isEmpty() ? QStringLiteral("-") : set.join(QStringLiteral(", "));
    s += QStringLiteral("; master %1; ident %2").arg(d[3]).arg(HexUpper(be16(d, 4), 4));
    if (d.size() > 6) {
        QString ext;
        for (std::size_t i = 6; i < d.size(); ++i)
            ext += HexByteText(d[i]);
        s += QStringLiteral("; ext. ") + ext.trimmed();
    }
    return s;
}

std::vector<ByteChange> DiagnosisChanges(const std::vector<uint8_t> &before, const std::vector<uint8_t> &after)
{
    std::vector<ByteChange> out;
    const std::size_t n = std::max(before.size(), after.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int b = i < before.size() ? before[i] : -1;
        const int a = i < after.size() ? after[i] : -1;
        if (a != b)
            out.push_back({int(i), b, a});
    }
    return out;
}

QString ChangeText(const ByteChange &c, int16_t lang)
{
    const auto hex = [](int v) { return v < 0 ? QStringLiteral("--") : Hex2(v); };
    QString s = Tr(lang, QStringLiteral("byte %1 %2->%3"), QStringLiteral("Byte %1 %2->%3")).arg(c.index + 1).arg(hex(c.before), hex(c.after));
    if (c.index < 3) {
        // Station status bits that came on (+) and went off (-).
        const int before = std::max(c.before, 0);
        const int after = std::max(c.after, 0);
        for (int b = 7; b >= 0; --b) {
            const int was = (before >> b) & 1;
            const int is = (after >> b) & 1;
            if (was != is)
                s += QStringLiteral(" ") + QLatin1Char(is ? '+' : '-') + DiagBitName(c.index, b);
        }
    } else if (c.index == 3) {
        s += Tr(lang, QStringLiteral(" (master address)"), QStringLiteral(" (Masteradresse)"));
    } else if (c.index < 6) {
        s += Tr(lang, QStringLiteral(" (ident number)"), QStringLiteral(" (Identnummer)"));
    } else {
        s += Tr(lang, QStringLiteral(" (extended diagnosis)"), QStringLiteral(" (erweiterte Diagnose)"));
    }
    return s;
}

QString EventText(const BusEvent &e, int16_t lang)
{
    const auto T = [lang](const char *en, const char *de) { return Tr(lang, QString::fromUtf8(en), QString::fromUtf8(de)); };
    switch (e.what) {
    case EventWhat::ModeChanged: {
        QString s = e.previous ? T("bus mode %1 -> %2", "Betriebsart %1 -> %2").arg(ModeWord(e.previous), ModeWord(e.mode))
                               : T("bus mode %1", "Betriebsart %1").arg(ModeWord(e.mode));
        if (const QString c = CauseText(e.cause, lang); !c.isEmpty())
            s += QStringLiteral(" (") + c + QLatin1Char(')');
        return s;
    }
    case EventWhat::Entered:
        return e.outMs >= 0 ? T("back in data exchange after %1 s", "wieder im Datenaustausch nach %1 s").arg(SecondsText(e.outMs))
                            : T("in data exchange", "im Datenaustausch");
    case EventWhat::Left:
        return e.dropOut ? T("dropped out of data exchange (drop-out %1)", "aus dem Datenaustausch gefallen (Ausfall %1)").arg(e.count)
                         : T("left data exchange: the bus stopped", "verließ den Datenaustausch: der Bus hielt an");
    case EventWhat::DiagAppeared:
        return e.bytes.empty() ? T("diagnosis (without its bytes)", "Diagnose (ohne ihre Bytes)")
                               : T("diagnosis: ", "Diagnose: ") + DiagnosisSummary(e.bytes);
    case EventWhat::DiagChanged: {
        QStringList parts;
        for (const ByteChange &c : e.changes)
            parts << ChangeText(c, lang);
        return T("diagnosis changed: ", "Diagnose geändert: ") + parts.join(QStringLiteral("; "));
    }
    case EventWhat::DiagCleared: return T("diagnosis cleared", "Diagnose aufgehoben");
    case EventWhat::Message: return MessageText(e.bytes, lang);
    case EventWhat::Connected: return T("connected: %1", "verbunden: %1").arg(e.text);
    case EventWhat::Lost: return T("connection lost: %1", "Verbindung verloren: %1").arg(e.text);
    case EventWhat::Back: return T("connection back: %1", "Verbindung wieder da: %1").arg(e.text);
    case EventWhat::Disconnected: return T("disconnected", "getrennt");
    case EventWhat::Line: break;
    }
    return e.text;
}

QString EventTimeText(qint64 ms, const QTimeZone &zone)
{
    return QDateTime::fromMSecsSinceEpoch(ms, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString EventLine(const BusEvent &e, int16_t language, const QTimeZone &zone)
{
    const QString station = e.station >= 0 ? QString::number(e.station) : QStringLiteral("-");
    return EventTimeText(e.timeMs, zone) + QStringLiteral("  ") + station.rightJustified(3) + QStringLiteral("  ") + EventText(e, language);
}

QJsonObject EventJson(const BusEvent &e, int16_t language, const QTimeZone &zone)
{
    QJsonObject o{{QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(e.timeMs, zone).toString(Qt::ISODateWithMs)},
                  {QStringLiteral("kind"), KindWord(KindOf(e.what))},
                  {QStringLiteral("event"), WhatWord(e.what)},
                  {QStringLiteral("text"), EventText(e, language)}};
    if (e.station >= 0)
        o[QStringLiteral("station")] = e.station;
    const auto bytes = [](const std::vector<uint8_t> &b) {
        QJsonArray a;
        for (const uint8_t v : b)
            a.append(int(v));
        return a;
    };
    switch (e.what) {
    case EventWhat::ModeChanged:
        o[QStringLiteral("mode")] = e.mode ? QJsonValue(iface::BusModeText(*e.mode)) : QJsonValue(QJsonValue::Null);
        o[QStringLiteral("previous_mode")] = e.previous ? QJsonValue(iface::BusModeText(*e.previous)) : QJsonValue(QJsonValue::Null);
        if (e.cause == kCauseAutoClear)
            o[QStringLiteral("cause")] = QStringLiteral("auto-clear");
        else if (e.cause == kCauseEepromStart)
            o[QStringLiteral("cause")] = QStringLiteral("eeprom-start");
        break;
    case EventWhat::Entered:
        if (e.outMs >= 0)
            o[QStringLiteral("out_ms")] = e.outMs;
        break;
    case EventWhat::Left:
        o[QStringLiteral("drop_out")] = e.dropOut;
        if (e.dropOut)
            o[QStringLiteral("drop_outs")] = e.count;
        break;
    case EventWhat::DiagAppeared:
    case EventWhat::DiagChanged:
    case EventWhat::DiagCleared:
        o[QStringLiteral("diagnosis_changes")] = e.count;
        if (e.what != EventWhat::DiagCleared)
            o[QStringLiteral("bytes")] = bytes(e.bytes);
        if (e.what == EventWhat::DiagChanged) {
            QJsonArray changes;
            for (const ByteChange &c : e.changes) {
                QJsonObject co{{QStringLiteral("byte"), c.index + 1},
                               {QStringLiteral("old"), c.before < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(c.before)},
                               {QStringLiteral("new"), c.after < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(c.after)},
                               {QStringLiteral("meaning"), ChangeText(c, language)}};
                changes.append(co);
            }
            o[QStringLiteral("changes")] = changes;
        }
        break;
    case EventWhat::Message:
        if (e.bytes.size() >= 8) {
            o[QStringLiteral("code")] = int(e.bytes[0]);
            o[QStringLiteral("status")] = int(e.bytes[2]);
            o[QStringLiteral("parameter")] = int(e.bytes[3]);
        }
        o[QStringLiteral("bytes")] = bytes(e.bytes);
        break;
    case EventWhat::Connected:
    case EventWhat::Back: o[QStringLiteral("hardware")] = e.text; break;
    case EventWhat::Lost: o[QStringLiteral("reason")] = e.text; break;
    case EventWhat::Disconnected: break;
    case EventWhat::Line: break;
    }
    return o;
}

} // namespace meridan
