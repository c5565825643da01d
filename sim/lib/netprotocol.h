// SPDX-License-Identifier: GPL-3.0-or-later
// The board side of the driver library's network protocol (docs/driver-protocol.md,
// section 5): length-prefixed frames, one reply per request.
#pragma once

#include "firmware.h"

#include <string>

namespace meridan::sim {

class NetProtocol {
public:
    static constexpr std::uint32_t MaxBody = 65536;
    static constexpr std::uint16_t Version = 1;
    static constexpr int PartialTimeoutMs = 10000;
    // A client that sends nothing for this long is let go: a host program that hung
    // must not keep every other one out of the board.
    static constexpr int IdleTimeoutMs = 20000;

    enum Error : std::uint8_t {
        UnknownType = 0x01,
        BadLength = 0x02,
        BadAddress = 0x03,
        TooLong = 0x04,
        Empty = 0x05,
        Busy = 0x06,
        BadJob = 0x07,
        BadVersion = 0x08,
        Idle = 0x09,
    };

    // `connectedAt`: the board clock when the client connected (its idle time starts there).
    NetProtocol(Firmware &fw, DpRam &ram, std::string boardName, std::uint8_t variant,
                std::int64_t connectedAt = 0);

    struct Output {
        Bytes bytes;
        bool close = false;
    };
    Output feed(const std::uint8_t *data, std::size_t len, std::int64_t now);
    Output feed(const Bytes &b, std::int64_t now) { return feed(b.data(), b.size(), now); }
    // Closes a connection whose frame stalled half-way, or that stayed idle too long.
    Output tick(std::int64_t now);

    std::uint32_t timeoutMs() const { return timeoutMs_; }
    int requests() const { return requests_; }
    int errors() const { return errors_; }

    static Bytes frame(std::uint8_t type, const Bytes &payload);
    static Bytes errorFrame(std::uint8_t request, std::uint8_t code, const std::string &text);

    std::function<void(const std::string &)> log;

private:
    void handle(std::uint8_t type, const Bytes &p, std::int64_t now, Output &out);
    void error(Output &out, std::uint8_t request, std::uint8_t code, const std::string &text);

    Firmware &fw_;
    DpRam &ram_;
    MailboxHost mailbox_;
    std::string name_;
    std::uint8_t variant_;
    Bytes buf_;
    bool closed_ = false;
    std::int64_t partialSince_ = -1;
    std::int64_t lastSeen_ = 0;
    std::uint32_t timeoutMs_ = 0;
    int requests_ = 0;
    int errors_ = 0;
};

} // namespace meridan::sim
