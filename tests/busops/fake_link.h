// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted board for the bus-command tests: a link that keeps every job it
// was handed, answers from a queue or by a rule, and can refuse jobs. The
// test owns the FakeBoard; the Connection owns the link that speaks for it.
#include "busops/connection.h"
#include "support/fixture.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace meridan::test {

struct FakeBoard {
    std::vector<std::vector<uint8_t>> jobs;   // bytes 0..7+n of each job taken
    std::deque<std::vector<uint8_t>> replies; // messages waiting for getMessage
    int refuse = 0;                            // refuse this many jobs first
    int putCalls = 0;
    // Called for each job taken: a rule can queue the reply a board would give.
    std::function<void(const std::vector<uint8_t> &)> onJob;
    std::map<uint32_t, uint8_t> ram;
    std::vector<std::pair<uint32_t, uint8_t>> writes;
    bool run[128]{};
    bool diag[128]{};
    bool timeout = false; // the board stopped answering
    bool replyMissing = false; // the last request's answer never came
    bool ready = true;    // "R" in the start byte once stopped
    double version = 5.3;
    bool variant = false;
    int quietWaited = 0;
    std::vector<int> closes; // 1 for each close with goodbye, 0 without
    std::vector<int> listReads; // list * 100 + byte index of every list byte read

    // The EEPROM a serial Ravelin's monitor reaches byte by byte.
    std::vector<uint8_t> eeprom = std::vector<uint8_t>(0x8000, 0xFF);
    std::vector<int> eeReads;                     // every address read, in order
    std::vector<std::pair<int, uint8_t>> eeWrites; // every write, in order
    int eeAnswers = -1;                            // EEPROM commands answered before the line dies; -1: all
    // The network board's configuration file transfer (burn, read back).
    std::function<int32_t(const QString &)> burnFile;
    std::function<int32_t(const QString &)> readConfigFile;

    // A board that confirms every job the way a DP master does.
    void answerLikeABoard()
    {
        onJob = [this](const std::vector<uint8_t> &j) {
            switch (j[0]) {
            case 0x27: replies.push_back({0xE7, 0, 0, j[3], 0, 0, 0, 0}); ram[0x3FF6] = uint8_t(j[3] >> 6); break;
            case 0x24: replies.push_back({0xE4, 0, 0, 0, 0, 0, 0, 0}); break;
            case 0x25: replies.push_back({0xE5, 0, 0, j[3], 0, 0, 0, 0}); break;
            case 0x22: replies.push_back({0xE2, 0, 0, 0, 0, 0, 0, 0}); break;
            default: break;
            }
        };
    }

    // A master holding `records` (station -> bytes 0 .. L + 7) that answers
    // the read-back jobs, leaving junk in the header bytes it does not use,
    // and the EEPROM job with `eepromCode`.
    void masterHolds(std::map<int, std::vector<uint8_t>> records, uint8_t eepromCode = 0)
    {
        onJob = [this, records, eepromCode](const std::vector<uint8_t> &j) {
            if (j[0] == 0x3F)
                replies.push_back({0xFF, 0, eepromCode, eepromCode, 0, 0, 0, 0});
            if (j[0] != 0x22 && j[0] != 0x23)
                return;
            const int s = j[0] == 0x22 ? 0 : j[3];
            std::vector<uint8_t> m = {uint8_t(j[0] + 0xC0), 0x5A, 0, uint8_t(s), 0x5A, 0x5A, 0x5A, 0};
            if (const auto next = records.upper_bound(s); s > 0)
                m[2] = next == records.end() ? 127 : uint8_t(next->first);
            if (const auto it = records.find(s); it != records.end()) {
                m[7] = it->second[7];
                m.insert(m.end(), it->second.begin() + 8, it->second.end());
            }
            replies.push_back(m);
        };
    }

    // Opens a link to this board for any Hardware item, with the item's own
    // traits and the Tessel card's DP-RAM map.
    LinkOpener opener();
};

class FakeLink : public iface::Link {
public:
    FakeLink(iface::LinkEnv &env, FakeBoard &board, iface::LinkTraits traits)
        : Link(env, std::move(traits), iface::MapFor(iface::MapVariant::Tessel)), b_(board)
    {
        firmwareVersion = board.version;
        boardVariant = board.variant;
        versionText = QStringLiteral("5.3");
    }
    uint8_t getByte(uint32_t a) override
    {
        if (a == map().startByte && b_.ready)
            return iface::kReady;
        return b_.ram.count(a) ? b_.ram[a] : 0;
    }
    void setByte(uint32_t a, uint8_t v) override
    {
        b_.ram[a] = v;
        b_.writes.emplace_back(a, v);
    }
    bool putJob(const Record &rec) override
    {
        ++b_.putCalls;
        if (b_.refuse > 0) {
            --b_.refuse;
            return false;
        }
        b_.jobs.emplace_back(rec.bytes.begin(), rec.bytes.begin() + 8 + rec[7]);
        if (b_.onJob)
            b_.onJob(b_.jobs.back());
        return true;
    }
    bool getMessage() override
    {
        if (b_.replies.empty())
            return false;
        const auto m = b_.replies.front();
        b_.replies.pop_front();
        env_.mbuf.fill(0);
        std::copy(m.begin(), m.end(), env_.mbuf.begin());
        return true;
    }
    uint8_t listByte(int list, int index) override
    {
        b_.listReads.push_back(list * 100 + index);
        const bool *stations = list == 0 ? b_.run : b_.diag;
        uint8_t v = 0;
        for (int bit = 0; bit < 8 && index * 8 + bit < 128; ++bit)
            if (stations[index * 8 + bit])
                v = uint8_t(v | (1u << bit));
        return v;
    }
    void quietWait(int ms) override
    {
        b_.quietWaited += ms;
        Link::quietWait(ms);
    }
    uint8_t eepromRead(uint16_t a) override
    {
        if (eepromDead())
            return 0;
        b_.eeReads.push_back(a);
        return b_.eeprom[a];
    }
    void eepromWrite(uint16_t a, uint8_t v) override
    {
        if (eepromDead())
            return;
        b_.eeWrites.emplace_back(a, v);
        b_.eeprom[a] = v;
    }
    int32_t burnFile(const QString &path) override { return b_.burnFile ? b_.burnFile(path) : -1; }
    int32_t readConfigFile(const QString &path) override { return b_.readConfigFile ? b_.readConfigFile(path) : -1; }
    bool lost() const override { return b_.timeout; }
    bool replyMissing() const override { return b_.replyMissing; }
    void close(bool goodbye) override
    {
        b_.closes.push_back(goodbye ? 1 : 0);
        b_.timeout = false;
    }

private:
    bool eepromDead()
    {
        if (b_.eeAnswers == 0)
            b_.timeout = true;
        else if (b_.eeAnswers > 0)
            --b_.eeAnswers;
        return b_.timeout;
    }
    FakeBoard &b_;
};

inline LinkOpener FakeBoard::opener()
{
    return [this](const iface::HwChoice &c, iface::LinkEnv &env, int16_t, const std::function<void(const QString &)> &) {
        iface::OpenResult r;
        r.link = std::make_unique<FakeLink>(env, *this, iface::TraitsFor(c));
        r.eepromMenu = true;
        r.status = QStringLiteral("connected");
        return r;
    };
}

// A bench with a scripted board behind a Connection: `plug` connects it as
// the given Hardware item. The status timer ticks whenever the pump lets time
// pass, as the window's QTimer does in the event loop.
template <typename Ops>
struct BoardBench : Fixture {
    Panel panel;
    FakeBoard board;
    Connection conn{ctx, panel, board.opener()};
    Ops ops{ctx, conn};
    qint64 nextTick = 0;

    BoardBench()
    {
        pump.onPump = [this] {
            if (panel.timerEnabled && pump.nowMs() >= nextTick) {
                nextTick = pump.nowMs() + panel.timerInterval;
                ops.Timer1_Timer();
            }
        };
    }
    // Connects the board as `item` ("tessel", "ravelin-tcp", ...), then forgets
    // what connecting said and showed.
    void plug(const char *item)
    {
        conn.ConnectItem(*iface::ParseHwName(QString::fromLatin1(item)));
        ui.statuses.clear();
        ui.shown.clear();
    }
    void runFor(int ms)
    {
        for (int i = 0; i < ms; ++i)
            pump.sleepMs(1);
    }
    std::vector<std::pair<int, int>> jobCodes() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto &j : board.jobs)
            out.emplace_back(j[0], j[3]);
        return out;
    }
};

// Bytes 0 .. L + 7 of the record at `station`.
inline std::vector<uint8_t> RecordBytes(const ConfigImage &image, int station)
{
    const Record &r = image.slot(station);
    return {r.bytes.begin(), r.bytes.begin() + 8 + r[7]};
}

} // namespace meridan::test
