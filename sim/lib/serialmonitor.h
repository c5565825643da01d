// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware's serial monitor: ASCII commands for DP-RAM and EEPROM bytes, and (firmware
// above 5.2) binary "D" frames for jobs, messages and the live lists.
//
// Pure byte logic: feed() takes what arrived on the line and returns what the board
// sends back; the pty transport paces it to the line speed.
#pragma once

#include "firmware.h"

#include <deque>
#include <string>

namespace meridan::sim {

class SerialMonitor {
public:
    struct Options {
        bool frames = true;         // firmware above 5.2
        bool terminalMode = false;  // start in mode O (echo)
        int frameTimeoutMs = 500;
    };

    SerialMonitor(Firmware &fw, DpRam &ram, Options options);

    Bytes feed(const std::uint8_t *data, std::size_t len, std::int64_t now);
    Bytes feed(const Bytes &b, std::int64_t now) { return feed(b.data(), b.size(), now); }
    // Hands waiting jobs over, sends an armed message, drops a stalled frame.
    Bytes tick(std::int64_t now);

    char modeLetter() const { return terminal_ ? 'O' : 'P'; }
    bool messageRequested() const { return armed_; }
    int commands() const { return commands_; }
    int junk() const { return junk_; }

    std::function<void(const std::string &)> log;

    static constexpr std::size_t MaxLine = 32;
    static constexpr std::size_t MaxPendingJobs = 16;
    static constexpr std::uint8_t Nak = 0x15;

private:
    enum class State { Idle, Line, Discard, FrameHead, FrameData };

    void handleByte(std::uint8_t b, std::int64_t now, Bytes &out);
    void handleLine(std::int64_t now, Bytes &out);
    void handleFrame(std::int64_t now, Bytes &out);
    void handOverJobs(std::int64_t now);
    void sendArmedMessage(std::int64_t now, Bytes &out);
    void liveList(std::uint8_t index, Bytes &out);
    void note(const std::string &s);

    Firmware &fw_;
    DpRam &ram_;
    MailboxHost mailbox_;
    Options opt_;
    bool terminal_;
    State state_ = State::Idle;
    std::string line_;
    Bytes frame_;
    std::size_t frameNeed_ = 0;
    std::int64_t frameLast_ = 0; // when the frame's last byte came
    bool armed_ = false;
    std::deque<Bytes> pendingJobs_;
    int commands_ = 0;
    int junk_ = 0;
};

} // namespace meridan::sim
