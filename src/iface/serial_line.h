// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial line to a master's monitor (COM1/COM2): ASCII commands with
// short replies for DP-RAM and EEPROM bytes ("R", "W", "L", "P"), and with
// firmware above 5.2 binary "D" frames for jobs, message requests and the
// live list, answered by NAK frames (serial_frame.h).
//
// Every wait is bounded: a command's reply by 1000 polls of at most 5 ms
// (2000 for an EEPROM write), a frame's bytes by 500 ms without a byte, and
// all of them by the deadline of the operation the line works for, when it
// has one. Waits for bytes follow the board's pace: they go on while bytes
// keep coming, and take in what came while this program was not scheduled
// before they give up.
#include "iface/serialio.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace meridan {
class Pump;
class Record;
} // namespace meridan

namespace meridan::iface {

constexpr int kReplyPolls = 1000;
constexpr int kEepromWritePolls = 2000;
constexpr int kPollMs = 5;
constexpr int kFrameWaitMs = 100 * kPollMs;
constexpr int kResyncQuietMs = kPollMs;
constexpr int kModeAnswer = 4;       // "!" CR LF and the mode letter
constexpr int kModeAnswerMs = 2000; // a loaded board may be slow; a prompt one ends the wait at once

class SerialLine {
public:
    SerialLine(std::unique_ptr<SerialIo> io, Pump &pump, std::array<uint8_t, 512> &mbuf);

    bool open(const QString &device, int baud)
    {
        baud_ = baud;
        return io_->open(device, baud);
    }
    int baud() const { return baud_; }
    void close() { io_->close(); }
    bool isOpen() const { return io_->isOpen(); }
    QString errorText() const { return io_->errorText(); }

    // The monitor's commands. A reply that does not come in time sets
    // timedOut and calls onTimeout (the read and write commands only).
    uint8_t read(uint16_t address);                  // "R"
    void write(uint16_t address, uint8_t value);     // "W"
    uint8_t eepromRead(uint16_t address);            // "L"
    void eepromWrite(uint16_t address, uint8_t value); // "P"

    // Frame mode. True when a message is in the message buffer: one taken in
    // while a command waited, or one that arrives now.
    bool receiveMessage();
    void sendJob(const Record &job);       // the job as a "D" frame
    void orderMessage(uint8_t parameter);  // asks for the next message
    void orderLiveList(uint8_t byteIndex); // asks for two bytes of each list

    // Waits `ms` with the line quiet, discarding whatever the master sends.
    void quietWait(int ms);
    // Puts a Dromon's or Corvet's monitor into host mode "P".
    void modeCheck();
    // Brings the monitor and the host in step before the first command: a
    // CR ends whatever command an earlier session left half-sent, then the
    // line must stay quiet for a poll (longer while the monitor still talks),
    // and what came meanwhile is dropped.
    void resync();
    // Raw bytes out (nothing when the port is closed).
    void send(const QByteArray &bytes);
    // Waits until at least `count` bytes are waiting; false when `ms` pass
    // without a new byte (or the deadline passes).
    bool waitForBytes(qint64 count, int ms);
    // Everything waiting, each byte one character.
    QByteArray readString();
    void discardInput() { io_->discardInput(); }

    bool timedOut = false;              // the last command's reply did not come in time
    std::function<void()> onTimeout;    // called once per read or write that timed out
    // A reply that cannot be the answer came (a line fault): the line is not
    // believed any more, whatever follows. `fault` says why the line was last
    // given up (a time-out or a line fault).
    bool lineFaulted = false;
    QString fault;
    // The end of the operation's time on the pump's clock (unset: none). No
    // command is sent after it, and no wait goes past it.
    const qint64 *deadline = nullptr;
    std::array<uint8_t, 17> runList{};  // the live lists as the frames bring them
    std::array<uint8_t, 17> diaList{};
    int msgRequestCounter = 0;          // polls until the message request is repeated
    int liveRequestCounter = 0;         // rounds until the live-list request is repeated
    int liveMissCounter = 0;            // live-list requests that went unanswered

private:
    bool takeIn(QByteArray &reply);
    void takeLiveList(QByteArrayView frame);
    void lineFault(const QString &what);
    void drain(bool keepMessages);
    bool exchange(const QByteArray &command, int need, int polls, bool keepMessages);
    bool checkReply(const QByteArray &command, bool withValue);
    uint8_t readCommand(char letter, uint16_t address, bool keepMessages);
    void finishCommand(bool ok, const QByteArray &command, bool withValue, bool tellTimeout);
    bool pastDeadline() const;
    qint64 until(qint64 wanted) const;
    void takePending();
    void collect(int ms);

    std::unique_ptr<SerialIo> io_;
    Pump &pump_;
    std::array<uint8_t, 512> &mbuf_;
    int baud_ = 0;
    uint32_t liveAsked_ = 0;  // live-list indexes asked for and not yet answered, a bit each
    bool msgPending_ = false; // a message was taken in while a command waited
    QByteArray reply_;        // reply text of the current command
};

} // namespace meridan::iface
