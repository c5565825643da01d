// SPDX-License-Identifier: GPL-3.0-or-later
// The bus event log on a scripted board in virtual time: a sequence of
// status ticks gives exactly the expected events, with their times and the
// counts per station.
#include "busops/commissioning.h"
#include "events/bus_watch.h"
#include "events/event_list.h"
#include "fake_link.h"
#include "support/golden.h"

#include <QDateTime>

using namespace meridan;
using namespace meridan::test;

namespace {

// 2026-03-04 03:00:00 UTC, then the pump's clock.
constexpr qint64 kBase = 1772593200000;

struct Watched : BoardBench<Commissioning> {
    BusWatch watch{ctx, ops, [this] { return kBase + pump.nowMs(); }};
    std::vector<BusEvent> events;
    std::map<int, std::vector<uint8_t>> diag; // what the board answers a diagnosis request with

    Watched()
    {
        watch.zone = QTimeZone::utc();
        watch.onEvent = [this](const BusEvent &e) { events.push_back(e); };
        board.onJob = [this](const std::vector<uint8_t> &j) {
            if (j[0] != 0x21)
                return;
            std::vector<uint8_t> m{0xE1, 0, 0, j[3], 0, 0, 0, uint8_t(diag[j[3]].size())};
            m.insert(m.end(), diag[j[3]].begin(), diag[j[3]].end());
            board.replies.push_back(m);
        };
        board.ram[0x3FF6] = 3; // Operate
        plug("tessel");
        panel.timerEnabled = false; // ticked by hand, one every 100 ms
        panel.load = true;
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i) {
            pump.sleepMs(100);
            ops.Timer1_Timer();
        }
    }
    // The events since `from` as "ms station word facts", message-line texts left out.
    std::vector<std::string> trace(std::size_t from = 0) const
    {
        std::vector<std::string> out;
        for (std::size_t i = from; i < events.size(); ++i) {
            const BusEvent &e = events[i];
            if (e.what == EventWhat::Line)
                continue;
            QString s = QStringLiteral("%1 %2 %3").arg(e.timeMs - kBase).arg(e.station).arg(WhatWord(e.what));
            if (e.what == EventWhat::ModeChanged)
                s += QLatin1Char(' ') + EventText(e, kEnglish);
            if (e.what == EventWhat::Left)
                s += e.dropOut ? QStringLiteral(" drop %1").arg(e.count) : QStringLiteral(" stop");
            if (e.outMs >= 0)
                s += QStringLiteral(" out %1").arg(e.outMs);
            if (e.what == EventWhat::DiagChanged || e.what == EventWhat::Message || e.what == EventWhat::Lost)
                s += QStringLiteral(": ") + EventText(e, kEnglish);
            if (e.what == EventWhat::DiagAppeared)
                s += QStringLiteral(" %1 bytes").arg(e.bytes.size());
            out.push_back(s.toStdString());
        }
        return out;
    }
};

} // namespace

TEST(BusWatch, scriptedTicks_giveExactlyTheEventsAndCounts)
{
    Watched t;
    t.board.run[12] = true;
    t.board.run[30] = t.board.diag[30] = true;
    t.diag[30] = {0x08, 0x0C, 0x00, 0x01, 0x42, 0x24, 0x02, 0x01};
    t.diag[12] = {0x01, 0x00, 0x00, 0xFF, 0x00, 0x00};
    // The first round reads all 16 list bytes, one a tick; 30's diagnosis is
    // asked for when its bit is seen and told when it arrives.
    t.ticks(16);
    EXPECT_EQ(t.trace(), (std::vector<std::string>{"100 -1 connected", "100 -1 changed bus mode Operate", "200 12 entered",
                                                   "400 30 entered", "500 30 appeared 8 bytes"}));
    // Then a round is the known bytes (1 and 3) and one other.
    std::size_t mark = t.events.size();
    t.board.run[12] = false;
    t.board.diag[12] = true;
    t.ticks(3);
    t.board.run[12] = true;
    t.board.diag[12] = false;
    t.ticks(3);
    EXPECT_EQ(t.trace(mark), (std::vector<std::string>{"1700 12 left drop 1", "1800 12 appeared 6 bytes", "2000 12 entered out 300",
                                                       "2000 12 cleared"}));
    // Station 30's diagnosis is asked for again every two seconds: a change shows byte by byte.
    mark = t.events.size();
    t.diag[30] = {0x08, 0x0C, 0x00, 0x01, 0x42, 0x24, 0x02, 0x03, 0x81};
    t.ticks(20);
    EXPECT_EQ(t.trace(mark), (std::vector<std::string>{
                                 "2600 30 changed: diagnosis changed: byte 8 01->03 (extended diagnosis); byte 9 --->81 (extended diagnosis)"}));
    // Auto-clear: the mode report, then the mode the board reports, with its cause.
    mark = t.events.size();
    t.board.ram[0x3FF6] = 2;
    t.board.replies.push_back({0xA8, 0, 0, 0x80, 1, 2, 0, 0});
    t.ticks(1);
    EXPECT_EQ(t.trace(mark), (std::vector<std::string>{"4300 -1 message: message A8: mode report Clear (auto-clear)",
                                                       "4300 -1 changed bus mode Operate -> Clear (auto-clear)"}));
    // The board stops answering: lost; connected again: back, and seen afresh.
    mark = t.events.size();
    t.board.timeout = true;
    t.ticks(1);
    t.plug("tessel");
    t.panel.timerEnabled = false;
    t.panel.load = true;
    t.ticks(5);
    EXPECT_EQ(t.trace(mark), (std::vector<std::string>{"4400 -1 lost: connection lost: Communicationtimeout from Tessel", "4500 -1 back",
                                                       "4500 -1 changed bus mode Clear", "4600 12 entered", "4800 30 entered",
                                                       "4900 30 appeared 9 bytes"}));
    EXPECT_FALSE(t.watch.linkDown());

    const auto &s = t.watch.stations();
    EXPECT_EQ(s.at(12).dropOuts, 1);
    EXPECT_EQ(s.at(12).diagnosisChanges, 2);
    EXPECT_EQ(t.watch.outOfExchangeMs(12), 300);
    EXPECT_EQ(s.at(30).dropOuts, 0);
    EXPECT_EQ(s.at(30).diagnosisChanges, 3);
    // What the message line showed is in the log too, in order.
    std::vector<QString> lines;
    for (const BusEvent &e : t.events)
        if (e.what == EventWhat::Line)
            lines.push_back(e.text);
    const auto shown = [&](const char *text) { return std::count(lines.begin(), lines.end(), QString::fromUtf8(text)); };
    EXPECT_EQ(shown("connected"), 2); // both connections
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith("Diagnosis"); }), 0);
    EXPECT_EQ(shown("Message : A8->0"), 1);
    EXPECT_EQ(shown("Communicationtimeout from Tessel"), 1);
    EXPECT_EQ(lines.back(), "connected");
}

// A station that leaves because the bus was stopped did not drop out; the
// time out of data exchange runs from a drop-out until the station is back
// or the bus stops.
TEST(BusWatch, stoppedBus_isNoDropOut_andEndsTheOutTime)
{
    Watched t;
    t.board.run[12] = true;
    t.ticks(16);
    t.board.run[12] = false;
    t.ticks(2); // dropped out at 1700
    t.board.ram[0x3FF6] = 1;
    t.ticks(1); // the round's mode read sees Stop at 1900
    EXPECT_EQ(t.watch.outOfExchangeMs(12), 200);
    t.ticks(10);
    EXPECT_EQ(t.watch.outOfExchangeMs(12), 200);
    t.board.ram[0x3FF6] = 3;
    t.board.run[12] = true;
    t.ticks(4);
    const std::size_t mark = t.events.size();
    t.board.ram[0x3FF6] = 1;
    t.board.run[12] = false;
    t.ticks(4);
    EXPECT_EQ(t.trace(mark), (std::vector<std::string>{"3500 -1 changed bus mode Operate -> Stop", "3500 12 left stop"}));
    EXPECT_EQ(t.watch.stations().at(12).dropOuts, 1);
    EXPECT_EQ(t.watch.outOfExchangeMs(12), 200);
}

// The log's own questions are its own: their answers change neither the
// message line nor the diagnosis window; a diagnosis someone else asked for
// goes the usual way. An unanswered question is still told, without bytes.
TEST(BusWatch, ownDiagnosisAnswers_stayOutOfTheMessageLine_anUnansweredOneIsStillTold)
{
    Watched t;
    int window = 0;
    t.ops.onDiagnosis = [&] { ++window; };
    t.board.run[30] = t.board.diag[30] = true;
    t.diag[30] = {0x08, 0x0C, 0x00, 0x01, 0x42, 0x24};
    t.ticks(22); // asked at 400 and (again) at 500
    EXPECT_EQ(std::count_if(t.board.jobs.begin(), t.board.jobs.end(), [](const auto &j) { return j[0] == 0x21; }), 2);
    EXPECT_EQ(window, 0);
    EXPECT_EQ(t.st.melde1, "connected");
    t.board.replies.push_back({0xE1, 0, 0, 30, 0, 0, 0, 6, 0x08, 0x0C, 0x00, 0x01, 0x42, 0x24});
    t.ticks(1);
    EXPECT_EQ(window, 1);
    EXPECT_EQ(t.st.melde1, QString::fromUtf8("Diagnosis  6 Byte´s :08 0C 00 01 42 24 "));

    Watched q;
    q.board.diag[40] = true;
    q.board.onJob = nullptr; // the master never answers
    q.ticks(6 + BusWatch::kDiagWaitMs / 100);
    const auto trace = q.trace();
    EXPECT_EQ(trace.back(), "3600 40 appeared 0 bytes");
    EXPECT_EQ(EventText(q.events.back(), kEnglish), "diagnosis (without its bytes)");
}

// The window's list keeps the newest and says how many went; the CSV of
// what the filter lets through is fixed by a golden file.
TEST(EventList, boundedWithANote_filteredAndExportedAsCsv)
{
    EventList list(4);
    const auto at = [](qint64 ms, EventWhat what, int station) {
        BusEvent e;
        e.timeMs = kBase + ms;
        e.what = what;
        e.station = station;
        return e;
    };
    int droppedNow = 0;
    list.onAdded = [&](int n) { droppedNow += n; };
    BusEvent mode = at(0, EventWhat::ModeChanged, -1);
    mode.mode = iface::BusMode::Operate;
    list.add(mode);
    list.add(at(100, EventWhat::Entered, 12));
    BusEvent left = at(1700, EventWhat::Left, 12);
    left.dropOut = true;
    left.count = 1;
    list.add(left);
    BusEvent diag = at(1800, EventWhat::DiagAppeared, 12);
    diag.bytes = {0x01, 0x00, 0x00, 0xFF, 0x00, 0x00};
    diag.count = 1;
    list.add(diag);
    BusEvent back = at(2000, EventWhat::Entered, 12);
    back.outMs = 300;
    list.add(back);
    BusEvent line = at(2100, EventWhat::Line, -1);
    line.text = "Slave  12 \"Pump\", record loaded";
    list.add(line);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.dropped(), 2);
    EXPECT_EQ(droppedNow, 2);
    EXPECT_EQ(list.bySeq(list.first()).timeMs, kBase + 1700);

    ExpectGolden("events/golden/events.csv", list.Csv({}, kEnglish, QTimeZone::utc()));
    EventFilter only12;
    only12.station = 12;
    only12.kind = EventKind::Exchange;
    const QByteArray csv = list.Csv(only12, kGerman, QTimeZone::utc());
    EXPECT_EQ(csv.count("\r\n"), 4); // header, note, 2 events
    EXPECT_TRUE(csv.contains("2026-03-04 03:00:02.000,12,exchange,entered,wieder im Datenaustausch nach 0.300 s\r\n")) << csv.constData();

    // Export: where the prompts say; nothing when cancelled.
    Fixture f;
    f.ui.files.push_back(f.file("log.csv"));
    const Outcome out = ExportEventsCsv(f.ctx, list, {}, QTimeZone::utc());
    EXPECT_TRUE(out.done());
    EXPECT_EQ(f.read("log.csv"), list.Csv({}, kEnglish, QTimeZone::utc()));
    EXPECT_EQ(ExportEventsCsv(f.ctx, list, {}, QTimeZone::utc()).failure, Failure::Cancelled);
}
