// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A connected master board, whatever the connection: one class per kind
// (mapped DP-RAM, serial byte-wise, serial frames, network) behind this one
// interface. A link reports results and failures as values and knows nothing
// of windows, prompts or menus; the layers above read what they show from it.
//
// The mailboxes: jobs go from the record buffer into the master's job area,
// messages from its message area into the message buffer, each direction
// guarded by a toggle bit. The host flips bit 0 of the job toggle byte to post
// a job and the master copies it into bit 0 of its own toggle byte once it has
// taken the job; the master flips bit 1 of its toggle byte to post a message
// and the host copies it back into bit 1 of the job toggle byte once it has
// taken the message.
#include "core/image.h"
#include "iface/codes.h"
#include "iface/dpmap.h"
#include "iface/serialio.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace meridan {
class Pump;
class Root;
} // namespace meridan

namespace meridan::iface {

using MessageBuffer = std::array<uint8_t, 512>;

// How a board keeps a configuration to start from, and how it gives it back.
enum class ConfigStore {
    None,        // the Tessel card (and no board): nothing to burn or read
    NetworkFile, // the driver library transfers a configuration file
    Job,         // the master burns what it runs, and answers read jobs
    EepromBytes, // the host writes and reads the EEPROM byte by byte (serial Ravelin)
};

// What differs between the kinds of link beyond the way bytes travel.
struct LinkTraits {
    InterfaceKind kind = InterfaceKind::None;
    QString displayName;     // the connection text the status poll shows
    QString lostText;        // the message line when the board stops answering
    int pollMs = 100;        // the status poll's interval on this link
    bool runsAtConnect = true;      // "Firmware Load" and "Firmware RUN" ticked once connected
    bool lossClosesEeprom = false;  // a lost line also disables the EEPROM menu
    bool liveProcessData = false;   // process data is quick enough to show live
    ConfigStore store = ConfigStore::None;
    QString eepromStartText;        // the message line of "EEPROM Start"
};

// What every link needs from the program around it.
struct LinkEnv {
    const Root &root;
    Pump &pump;
    MessageBuffer &mbuf;           // where messages arrive
    std::function<void()> onCommandTimeout; // a serial command went unanswered
    // The serial port under a serial link; unset: a real QSerialPort.
    std::function<std::unique_ptr<SerialIo>()> makeSerialIo;
    // When the operation under way must end, on the pump's clock; 0: no
    // deadline. A link's waits stop there rather than run their full budget.
    qint64 deadlineMs = 0;
};

class Link {
public:
    Link(LinkEnv &env, LinkTraits traits, DpramMap map);
    virtual ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    const LinkTraits &traits() const { return traits_; }
    const DpramMap &map() const { return map_; }
    // False only for the stand-in when no board is connected.
    virtual bool connected() const { return true; }

    // What the connection found out about the board.
    QString versionText;
    double firmwareVersion = 0;
    bool boardVariant = false; // a Dromon or a Corvet

    // One byte of the master's DP-RAM. Without a board reads give 0 and
    // writes vanish.
    virtual uint8_t getByte(uint32_t address) = 0;
    virtual void setByte(uint32_t address, uint8_t value) = 0;

    // Hands the job in `job` (bytes 0 .. byte 7 + 7) to the master; false
    // when the master has not yet taken the previous one.
    virtual bool putJob(const Record &job);
    // Fetches one master message into the message buffer; true when a new
    // one arrived.
    virtual bool getMessage();

    // The master's running and diagnosis lists, a bit per station. A round
    // over the stations reads each list byte once.
    bool stationRunning(int station);
    bool stationDiagnosis(int station);
    // The next round asks the board for fresh lists at once.
    virtual void restartLiveList() {}
    // One byte of the running (list 0) or diagnosis (list 1) station list,
    // read now (stations 8 * index .. 8 * index + 7).
    virtual uint8_t listByte(int list, int index);
    // Asks the board to send two bytes of each list from `index`; false where
    // the lists are read straight from the DP-RAM.
    virtual bool orderLiveList(int index) { return false; }

    // A wait during which a serial line is kept drained; elsewhere a plain wait.
    virtual void quietWait(int ms);
    // The board stopped answering (a command's time-out, a dead socket, a
    // port that closed underneath).
    virtual bool lost() const { return false; }
    // Why the board was lost, in a few words ("no reply to R400", "line
    // fault: ..."); empty when the link cannot tell.
    virtual QString faultText() const { return {}; }
    // The last request reached the board but its answer did not come back in
    // time: the board may still carry it out.
    virtual bool replyMissing() const { return false; }
    // Roughly how long handing over a job of `n` data bytes and taking in its
    // reply take on this link's wire, beyond the status poll's interval.
    virtual int transferMs(int n) const { return 0; }
    // Gives the connection back. `goodbye`: tell a serial monitor that the
    // host is gone, so it stops sending frames nobody reads.
    virtual void close(bool goodbye = false) = 0;

    // The Tessel card's firmware: whether the card wants its processors
    // loaded before a download, and the loader's results (0 = loaded).
    virtual bool loadsFirmware() const { return false; }
    virtual int32_t loadFirmwareCpu40(const QString &image) { return -1; }
    virtual int32_t loadFirmwareCpu331(const QString &image) { return -1; }

    // Configuration storage (traits().store). EEPROM bytes: the serial
    // Ravelin's monitor; a read or write that timed out sets lost().
    virtual uint8_t eepromRead(uint16_t address) { return 0; }
    virtual void eepromWrite(uint16_t address, uint8_t value) {}
    // Network file transfer: 0 when the board burnt the file; 1 when it wrote
    // its configuration to `path`, 0 when it has none, -1 on failure.
    virtual int32_t burnFile(const QString &path) { return -1; }
    virtual int32_t readConfigFile(const QString &path) { return -1; }

protected:
    // The running list was asked for a byte before the one it last gave: a
    // new round over the stations begins.
    virtual void newRound(int index) {}

    LinkEnv &env_;
    LinkTraits traits_;
    DpramMap map_;

private:
    struct Cache {
        int index = 0;
        uint8_t value = 0;
    };
    Cache lists_[2];
    bool listBit(int list, int station);
};

// No board: reads give 0, writes vanish, every job is "taken" and no message
// ever comes. The program runs on this until a Hardware item connects.
class NoLink : public Link {
public:
    explicit NoLink(LinkEnv &env);
    bool connected() const override { return false; }
    uint8_t getByte(uint32_t) override { return 0; }
    void setByte(uint32_t, uint8_t) override {}
    void close(bool) override {}
};

} // namespace meridan::iface
