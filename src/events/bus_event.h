// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One thing that happened on the bus, as the event log keeps it: when (wall
// clock, milliseconds), which station, and the facts. The words a person
// reads are made from the facts when shown, in the language then in force;
// the stable words (`KindWord`, `WhatWord`) are what scripts read.
#include "iface/codes.h"

#include <QJsonObject>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <optional>
#include <vector>

namespace meridan {

enum class EventKind : uint8_t { Mode, Exchange, Diagnosis, Message, Link, Line };

enum class EventWhat : uint8_t {
    ModeChanged,  // the bus mode the board reports changed
    Entered,      // a station is in data exchange (again)
    Left,         // a station left the data exchange
    DiagAppeared, // a station's diagnosis bit came on (with the diagnosis, when it arrived)
    DiagChanged,  // the diagnosis of a station with diagnosis changed
    DiagCleared,  // the diagnosis bit went off
    Message,      // a master message other than a station diagnosis
    Connected,    // a board was connected
    Lost,         // the board stopped answering; the link was closed
    Back,         // a board was connected again after a loss
    Disconnected, // the board was given up on purpose ("no Hardware", another item)
    Line,         // a text of the message line
};

// A mode report's cause (message byte 4).
constexpr uint8_t kCauseAutoClear = 1;
constexpr uint8_t kCauseEepromStart = 2;

// One byte of a diagnosis that differs from the one before; a byte that only
// one of them has counts as absent (-1) in the other.
struct ByteChange {
    int index = 0; // 0-based: byte index + 1 is the diagnosis byte number
    int before = -1;
    int after = -1;
};

struct BusEvent {
    qint64 timeMs = 0; // wall clock, milliseconds since the epoch
    EventWhat what = EventWhat::Line;
    int station = -1;  // -1: the bus, the connection or the message line
    // ModeChanged: the mode now and before (none: the first the log saw),
    // and the mode report's cause (0: none).
    std::optional<iface::BusMode> mode;
    std::optional<iface::BusMode> previous;
    uint8_t cause = 0;
    // Left: while the bus kept running, i.e. a drop-out.
    bool dropOut = false;
    // Left (drop-out): the station's drop-outs so far; Diag*: its diagnosis
    // changes so far.
    int count = 0;
    // Entered after a drop-out: how long the station was out (-1: not after one).
    qint64 outMs = -1;
    // Diag*: the diagnosis (empty: none arrived); Message: header and data.
    std::vector<uint8_t> bytes;
    std::vector<ByteChange> changes; // DiagChanged
    QString text; // Line: the text; Lost: why; Connected, Back: the board
};

EventKind KindOf(EventWhat what);
// "mode", "exchange", "diagnosis", "message", "link", "line".
QString KindWord(EventKind kind);
// "changed", "entered", "left", "appeared", "cleared", "message", "connected",
// "lost", "back", "disconnected", "line".
QString WhatWord(EventWhat what);
// The kind as the window names it.
QString KindName(EventKind kind, int16_t language);

// What the event says, in words, without time and station.
QString EventText(const BusEvent &e, int16_t language);
// "2026-03-04 03:12:45.123" in `zone`.
QString EventTimeText(qint64 ms, const QTimeZone &zone);
// One line: time, station (or "-"), text.
QString EventLine(const BusEvent &e, int16_t language, const QTimeZone &zone);
// The event as JSON (docs/cli-json.md, watch).
QJsonObject EventJson(const BusEvent &e, int16_t language, const QTimeZone &zone);

// A diagnosis in a few words: the status bits set, master, ident, extended bytes.
QString DiagnosisSummary(const std::vector<uint8_t> &d);
// The bytes that differ between two diagnoses.
std::vector<ByteChange> DiagnosisChanges(const std::vector<uint8_t> &before, const std::vector<uint8_t> &after);
// One changed byte, decoded: "byte 1 00->08 +Ext. Diagnose".
QString ChangeText(const ByteChange &c, int16_t language);

// Seconds with milliseconds, "0.700".
QString SecondsText(qint64 ms);

} // namespace meridan
