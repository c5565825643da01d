// SPDX-License-Identifier: GPL-3.0-or-later
// A day of the bus event log in virtual time: the status poll ticks every
// 100 ms on a board whose station 12 drops out for 500 ms every second (its
// diagnosis comes with each drop-out and is asked for, as on a real bus);
// the log feeds the window's list, which keeps its newest events. Prints the
// events, the list's heap (glibc's count of bytes in use, before and after)
// at 1, 6 and 24 hours, and the time per event and per tick.
//   bench_events [HOURS]   (default 24)
#include "busops/commissioning.h"
#include "events/bus_watch.h"
#include "events/event_list.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <deque>
#include <malloc.h>

using namespace meridan;

namespace {

// A DP-RAM board in memory that answers a diagnosis request at once.
struct MemBoard {
    std::array<uint8_t, 0x4000> ram{};
    std::deque<std::vector<uint8_t>> replies;
};

class MemLink : public iface::Link {
public:
    MemLink(iface::LinkEnv &env, MemBoard &b) : Link(env, iface::TraitsFor(*iface::ParseHwName(QStringLiteral("tessel"))), iface::MapFor(iface::MapVariant::Tessel)), b_(b)
    {
        firmwareVersion = 5.3;
        versionText = QStringLiteral("5.3");
    }
    uint8_t getByte(uint32_t a) override { return a < b_.ram.size() ? b_.ram[a] : 0; }
    void setByte(uint32_t a, uint8_t v) override
    {
        if (a < b_.ram.size())
            b_.ram[a] = v;
    }
    bool putJob(const Record &job) override
    {
        if (job[0] == 0x21) {
            const bool gone = !(b_.ram[0x3000 + 1] & 0x10);
            std::vector<uint8_t> d = gone ? std::vector<uint8_t>{0x01, 0, 0, 0xFF, 0, 0} : std::vector<uint8_t>{0, 0x0C, 0, 1, 0x47, 0x11};
            std::vector<uint8_t> m{0xE1, 0, 0, job[3], 0, 0, 0, uint8_t(d.size())};
            m.insert(m.end(), d.begin(), d.end());
            b_.replies.push_back(m);
        }
        return true;
    }
    bool getMessage() override
    {
        if (b_.replies.empty())
            return false;
        env_.mbuf.fill(0);
        std::copy(b_.replies.front().begin(), b_.replies.front().end(), env_.mbuf.begin());
        b_.replies.pop_front();
        return true;
    }
    void close(bool) override {}

private:
    MemBoard &b_;
};

std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 24;
    State st;
    st.language = kEnglish;
    CliPrompts ui;
    ui.quiet = true;
    VirtualPump pump;
    const Root root(QStringLiteral("/nonexistent"));
    Context ctx{st, ui, pump, root};
    Panel panel;
    MemBoard board;
    board.ram[0x3FF6] = 3; // Operate
    for (int s : {20, 30, 40})
        board.ram[0x3000 + s / 8] |= uint8_t(1u << (s % 8));
    Connection conn(ctx, panel, [&board](const iface::HwChoice &, iface::LinkEnv &env, int16_t, const std::function<void(const QString &)> &) {
        iface::OpenResult r;
        r.link = std::make_unique<MemLink>(env, board);
        r.mode = iface::BusMode::Operate;
        return r;
    });
    Commissioning com(ctx, conn);
    conn.ConnectItem(*iface::ParseHwName(QStringLiteral("tessel")));
    panel.timerEnabled = false;
    panel.load = true;

    const std::size_t heapBefore = HeapInUse();
    EventList list;
    BusWatch watch(ctx, com, [&pump] { return qint64(1772593200000) + pump.nowMs(); });
    qint64 events = 0;
    watch.onEvent = [&](const BusEvent &e) {
        ++events;
        list.add(e);
    };
    std::printf("hours  events     kept  dropped  list heap (bytes)  per kept event\n");
    QElapsedTimer cpu;
    cpu.start();
    const qint64 ticks = qint64(hours) * 3600 * 10;
    for (qint64 t = 1; t <= ticks; ++t) {
        pump.sleepMs(100);
        // Station 12 is gone for the second half of every second (the log's
        // round over the demo's list bytes takes 500 ms).
        const bool gone = pump.nowMs() % 1000 >= 500;
        uint8_t &run = board.ram[0x3000 + 1];
        uint8_t &dia = board.ram[0x3010 + 1];
        run = uint8_t(gone ? run & ~0x10 : run | 0x10);
        dia = uint8_t(gone ? dia | 0x10 : dia & ~0x10);
        com.Timer1_Timer();
        const qint64 h = t / 36000;
        if (t % 36000 == 0 && (h == 1 || h == 6 || h == hours)) {
            const std::size_t heap = HeapInUse() - heapBefore;
            std::printf("%5lld %7lld %8zu %8lld %18zu %15.0f\n", h, events, list.size(), list.dropped(), heap, double(heap) / double(list.size()));
        }
    }
    const double ms = double(cpu.nsecsElapsed()) / 1e6;
    std::printf("drop-outs counted: %d of %lld; out of data exchange %.1f s\n", watch.stations().at(12).dropOuts, qint64(hours) * 3600,
                double(watch.outOfExchangeMs(12)) / 1000.0);
    std::printf("%.0f ms for %lld ticks and %lld events: %.2f us per event, %.2f us per tick\n", ms, ticks, events, ms * 1000.0 / double(events),
                ms * 1000.0 / double(ticks));
    return 0;
}
