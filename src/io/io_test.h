// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The I/O test of one station: its inputs and outputs read live from the
// master's DP-RAM, and its outputs forced by hand while the bus is in
// Operate, so an engineer can check the wiring channel by channel before the
// PLC program runs.
//
// Reads go through the link's byte access, between the status poll's ticks:
// a read never starts while a tick or a bus command holds the board, and it
// holds the tick's busy flag itself while it runs, so a tick and a command
// wait for it exactly as they wait for a tick. It runs at most half of the
// time: the next read comes after twice what the last one took, or after the
// base interval when that is longer.
//
// Forcing: outputs only, only while the board reports Operate, and the first
// force of a session only after the person in front of the program agreed
// (outputs move the machine). Before the first force the station's output
// bytes are kept; "Release all" writes the forced channels back to what they
// held then. Releasing happens on close, before this program changes the bus
// mode or restarts the master, and before the connection is given back. A
// mode change from elsewhere (auto-clear, another program) is seen by the
// next read: nothing may be written outside Operate, so the old values go
// back as soon as the bus is in Operate again.
#include "busops/commissioning.h"
#include "io/io_station.h"

#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace meridan::io {

class IoTest {
public:
    IoTest(Context &ctx, Commissioning &com, IoStation station);
    // Closes (gives forced outputs back).
    ~IoTest();
    IoTest(const IoTest &) = delete;
    IoTest &operator=(const IoTest &) = delete;

    const IoStation &station() const { return station_; }
    bool boardConnected() const { return conn_.connected(); }

    struct Values {
        std::vector<uint8_t> inputs, outputs; // the station's bytes as last read
        bool valid = false;    // read once at least
        bool stale = false;    // the last read failed: these are the last good values
        bool exchange = false; // the station is in data exchange (its running bit)
        std::optional<iface::BusMode> mode; // what the bus-state byte says
    };
    const Values &values() const { return values_; }
    // A channel's value as last read (0/1, or the word); nullopt before the first read.
    std::optional<int> value(const IoChannel &c) const;

    enum class ReadResult { Done, Skipped, Failed };
    // One read of the bus mode, the station's running bit, its inputs and
    // its outputs. Skipped while a tick or a bus command holds the board;
    // failed when there is no board or it did not answer (the values turn stale).
    ReadResult Read();
    // How long the last read took, on the pump's clock.
    int readMs() const { return readMs_; }
    // The pause before the next read: `baseMs`, or twice the last read's time.
    int nextIntervalMs(int baseMs) const;

    // Forces output channel `c` to `value` (a bit 0/1, a word 0..0xFFFF).
    Outcome Force(const IoChannel &c, int value);
    // Writes every forced channel back to what it held before the first force.
    Outcome ReleaseAll();
    // Releases and unhooks from the bus commands; what the release gave.
    // What could not be given back is dropped, and a message box says so.
    Outcome Close();

    // Leaves the forced outputs as they are, for good: nothing gives them
    // back any more (meridan-cli io --hold).
    void Hold();

    bool forced(const IoChannel &c) const;
    bool anyForced() const { return !forced_.empty(); }
    // Forced outputs wait to be given back until the bus is in Operate again.
    bool restorePending() const { return pending_; }
    // The person agreed to forcing in this session.
    bool confirmed() const { return confirmed_; }

    // Called after every read, force and release.
    std::function<void()> changed;

private:
    using Key = std::tuple<int, bool, int>; // module, word, k (outputs only)
    static Key KeyOf(const IoChannel &c) { return {c.module, c.word, c.k}; }
    const IoChannel *channelOf(const Key &k) const;
    bool readBytes(uint32_t address, int count, std::vector<uint8_t> &into);
    void writeChannel(const IoChannel &c, int value);
    Outcome CannotWrite(const QString &what);
    Outcome RefuseOutsideOperate();
    Outcome OnlyInOperate(Outcome refused) const;
    // Drops forced channels that cannot be given back, and says so.
    void Forget(const Outcome &why);
    void notify() const;

    Context &ctx_;
    Commissioning &com_;
    Connection &conn_;
    Panel &panel_;
    IoStation station_;
    Values values_;
    int readMs_ = 0;
    bool confirmed_ = false;
    bool pending_ = false;
    bool closed_ = false;
    QString reason_; // why the last release could not write
    std::vector<uint8_t> saved_;     // the output bytes before the first force
    std::map<Key, int> forced_;
    std::function<void()> prevModeHook_, prevCloseHook_;
};

// The reads on a timer, paced by IoTest::nextIntervalMs.
class IoPoll {
public:
    IoPoll(IoTest &test, int baseMs = 100);
    void start();
    void stop();
    bool active() const { return timer_.isActive(); }
    int baseMs() const { return base_; }
    void setBaseMs(int ms) { base_ = ms; }

private:
    void tick();
    IoTest &test_;
    int base_;
    QTimer timer_;
};

} // namespace meridan::io
