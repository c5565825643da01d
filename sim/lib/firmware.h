// SPDX-License-Identifier: GPL-3.0-or-later
// The DP master firmware: one core for every board variant, driven through its DP-RAM.
//
// The core knows no clock and no thread: the owner calls poll() with the time in
// milliseconds, often enough to answer within a few milliseconds (the DP-RAM boards
// poll every millisecond while busy). Transports that act as the host's side of the
// mailbox (serial frames, the network library) use MailboxHost on the same DP-RAM.
#pragma once

#include "boardmap.h"
#include "dpram.h"
#include "eeprom.h"
#include "faults.h"
#include "simbus.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace meridan::sim {

enum class Mode : std::uint8_t { Offline = 0x00, Stop = 0x40, Clear = 0x80, Operate = 0xC0 };
std::string modeText(Mode m);

enum class SlaveState { Idle, Running, PrmFault, CfgFault, NonExistent };
std::string slaveStateText(SlaveState s);

namespace msg {
constexpr std::uint8_t Diagnosis = 0xE1;
constexpr std::uint8_t MasterRecord = 0xE2;
constexpr std::uint8_t SlaveRecord = 0xE3;
constexpr std::uint8_t MasterLoaded = 0xE4;
constexpr std::uint8_t SlaveLoaded = 0xE5;
constexpr std::uint8_t ModeDone = 0xE7;
constexpr std::uint8_t Refused = 0xE0;
constexpr std::uint8_t Eeprom = 0xFF;
constexpr std::uint8_t ModeReport = 0xA8;
} // namespace msg

namespace job {
constexpr std::uint8_t Diagnosis = 0x21;
constexpr std::uint8_t ReadMaster = 0x22;
constexpr std::uint8_t ReadSlave = 0x23;
constexpr std::uint8_t MasterRecord = 0x24;
constexpr std::uint8_t SlaveRecord = 0x25;
constexpr std::uint8_t SetMode = 0x27;
constexpr std::uint8_t GlobalControl = 0x2E;
constexpr std::uint8_t Eeprom = 0x3F;
} // namespace job

struct Message {
    std::array<std::uint8_t, 8> head{};
    Bytes data;
    std::uint8_t code() const { return head[0]; }
    Bytes bytes() const;
};

class Firmware {
public:
    struct Options {
        BoardKind kind = BoardKind::Tessel;
        std::uint8_t version = 0x53;
        int bootDelayMs = 200;
        int loaderTimeoutMs = 2000;
        int inputPeriodMs = 100;
        // Slaves that drop out, or whose diagnosis comes and goes, periodically.
        std::vector<Flap> flaps;
    };

    Firmware(DpRam &ram, Eeprom &eeprom, SimBus bus, Options options);

    // Power-up: clears the DP-RAM and writes the fixed bytes; the firmware then runs.
    void powerUp(std::int64_t nowMs);
    // One firmware round. Returns true when it did something (the owner polls faster then).
    bool poll(std::int64_t nowMs);

    bool running() const { return phase_ == Phase::Running; }
    bool inLoader() const { return phase_ == Phase::Loader; }
    Mode mode() const { return mode_; }
    const BoardMap &map() const { return map_; }
    const Options &options() const { return opt_; }
    std::uint8_t version() const { return version_; }
    const Bytes &masterRecord() const { return master_; }
    const std::map<int, Bytes> &slaveRecords() const { return slaves_; }
    SlaveState slaveState(int station) const;
    // The output bytes each slave in data exchange received at the last
    // update: what the host left in the output image in Operate, zeros in Clear.
    const std::map<int, Bytes> &receivedOutputs() const { return received_; }
    const Eeprom &eeprom() const { return eeprom_; }
    Eeprom &eeprom() { return eeprom_; }
    std::size_t queuedMessages() const { return queue_.size(); }

    struct Counts {
        int jobs = 0;
        std::map<int, int> jobsByCode;
        int messages = 0;
        std::map<int, int> messagesByCode;
        int globalControls = 0;
        int stops = 0;
        int eepromStarts = 0;
        int imagesLoaded = 0;
    };
    const Counts &counts() const { return counts_; }
    int lastGlobalControl() const { return lastGc_; }
    std::string lastLoaderError() const { return loaderError_; }

    // Diagnostic bytes of a station as the 0xE1 message carries them.
    Bytes diagnosis(int station) const;

    // -v logging and change notification (state snapshot).
    std::function<void(const std::string &)> log;
    std::function<void()> changed;

    static constexpr std::size_t MaxQueue = 64;
    static constexpr std::uint8_t MaxMessageData = 248;

private:
    enum class Phase { Running, Booting, Loader };

    void writeFixedBytes();
    void stopMaster(std::int64_t now);
    void startFromEeprom();
    void bootDone();
    void takeJob();
    void postMessage();
    void queue(Message m);
    void note(const std::string &text);
    void notify();

    void doSetMode(const Bytes &j);
    void doMasterRecord(const Bytes &j);
    void doSlaveRecord(const Bytes &j);
    void doDiagnosis(const Bytes &j);
    void doReadMaster();
    void doReadSlave(const Bytes &j);
    void doEeprom(const Bytes &j);

    void setMode(Mode m);
    void evaluateBus();
    void autoClear();
    void updateInputs();
    bool anyFailing() const;
    void updateFlaps();
    bool flapOn(int station, Flap::Kind kind) const;
    Bytes extDiag(int station, const BusSlave &slave) const;
    std::uint8_t ownAddress() const { return master_.size() > 10 ? master_[10] : 0; }

    // Boot loader (Tessel).
    void pollLoader(std::int64_t now);
    std::uint8_t loaderCommand(std::uint8_t cmd);

    DpRam &ram_;
    Eeprom &eeprom_;
    SimBus bus_;
    Options opt_;
    BoardMap map_;
    std::uint8_t version_;

    Phase phase_ = Phase::Running;
    std::int64_t phaseUntil_ = 0;
    std::int64_t now_ = 0;
    Mode mode_ = Mode::Offline;
    Bytes master_;
    std::map<int, Bytes> slaves_;
    std::map<int, SlaveState> states_;
    std::map<int, Bytes> received_;
    std::deque<Message> queue_;
    std::int64_t nextInputs_ = 0;
    std::uint32_t inputTick_ = 0;
    Counts counts_;
    int lastGc_ = -1;
    std::int64_t activeSince_ = -1; // when the bus last went to Clear or Operate
    std::vector<bool> flapOn_;
    bool dirty_ = false;

    struct Load {
        bool begun = false;
        std::uint8_t cpu = 0;
        std::uint8_t version = 0;
        std::uint32_t length = 0;
        std::uint32_t crc = 0;
        std::uint16_t nextSeq = 0;
        Bytes payload;
    } load_;
    bool cpu40Loaded_ = false;
    std::string loaderError_;
};

// The host's side of the mailbox handshake, for transports whose "host" lives on the
// board itself (the serial frame monitor and the network library server).
class MailboxHost {
public:
    MailboxHost(DpRam &ram, const BoardMap &map) : ram_(ram), map_(map) {}
    // 1 handed over, 0 the previous job not yet taken.
    bool putJob(const Bytes &job);
    // A waiting message, acknowledged, or nullopt.
    std::optional<Bytes> getMessage();
    bool messageWaiting() const;

private:
    DpRam &ram_;
    const BoardMap &map_;
};

} // namespace meridan::sim
