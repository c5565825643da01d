#pragma once
// A scripted master for the bus-command tests: it keeps every job it was
// handed, answers from a queue or by a rule, and can refuse jobs.
#include "core/state.h"
#include "busops/master_port.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace meridan::test {

class FakeMaster : public MasterPort {
public:
    explicit FakeMaster(State &st) : st_(st) {}

    std::vector<std::vector<uint8_t>> jobs;   // bytes 0..7+n of each job taken
    std::deque<std::vector<uint8_t>> replies; // messages waiting for GetMeld
    int refuse = 0;                            // refuse this many PutKomm calls first
    int putCalls = 0;
    // Called for each job taken: a rule can queue the reply a board would give.
    std::function<void(const std::vector<uint8_t> &)> onJob;
    std::map<uint32_t, uint8_t> ram;
    std::vector<std::pair<uint32_t, uint8_t>> writes;
    uint16_t running[16]{}; // bit per station, as the master's lists
    bool diag[128]{};
    bool run[128]{};
    bool timeout = false;
    bool ready = true;
    int lost = 0;
    double version = 5.3;
    uint16_t type = 0x2000;
    bool variant = false;
    int serialWaited = 0;
    std::vector<int> runQueries;

    uint8_t PutKomm() override
    {
        ++putCalls;
        if (refuse > 0) {
            --refuse;
            return 0;
        }
        const int n = st_.record.bytes[7];
        jobs.emplace_back(st_.record.bytes.begin(), st_.record.bytes.begin() + 8 + n);
        if (onJob)
            onJob(jobs.back());
        return 1;
    }
    uint8_t GetMeld() override
    {
        if (replies.empty())
            return 0;
        const auto m = replies.front();
        replies.pop_front();
        std::fill(st_.mbuf.begin(), st_.mbuf.end(), 0);
        std::copy(m.begin(), m.end(), st_.mbuf.begin());
        return 1;
    }
    uint8_t StationRun(int s) override
    {
        runQueries.push_back(s);
        return s >= 0 && s < 128 && run[s];
    }
    uint32_t StationDia(int s) override { return s >= 0 && s < 128 && diag[s] ? 0xFF : 0xFF0000; }
    uint8_t GetByte(uint32_t a) override { return ram.count(a) ? ram[a] : 0; }
    void SetByte(uint32_t a, uint8_t v) override
    {
        ram[a] = v;
        writes.emplace_back(a, v);
    }
    bool serialTimeout() const override { return timeout; }
    void ConnectionLost() override
    {
        ++lost;
        timeout = false;
    }
    bool StartUp() override { return ready; }
    void SerialWait(int ms) override { serialWaited += ms; }
    void resetLiveListRequest() override {}
    double firmwareVersion() const override { return version; }
    uint16_t boardType() const override { return type; }
    uint32_t busStateAddress() const override { return 0x3FF6; }
    uint32_t startByteAddress() const override { return 0x0400; }
    bool boardVariant() const override { return variant; }

    // A board that confirms every job the way a DP master does.
    void answerLikeABoard()
    {
        onJob = [this](const std::vector<uint8_t> &j) {
            switch (j[0]) {
            case 0x27: replies.push_back({0xE7, 0, 0, j[3], 0, 0, 0, 0}); ram[0x3FF6] = uint8_t(j[3] >> 6); break;
            case 0x24: replies.push_back({0xE4, 0, 0, 0, 0, 0, 0, 0}); break;
            case 0x25: replies.push_back({0xE5, 0, 0, j[3], 0, 0, 0, 0}); break;
            default: break;
            }
        };
    }

private:
    State &st_;
};

} // namespace meridan::test
