// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frames of the network driver protocol: a 4-byte big-endian length L
// (1..65536), one type byte, L - 1 payload bytes. Replies carry the request
// type + 0x80; type 0xFF is an error frame.
#include <QByteArray>
#include <cstdint>
#include <optional>

namespace meridan::iface::net {

enum Type : uint8_t {
    Hello = 0x01,
    GetByte = 0x02,
    SetByte = 0x03,
    GetBlock = 0x04,
    PutCommand = 0x05,
    GetMelde = 0x06,
    Burn = 0x07,
    ReadConf = 0x08,
    SetTimeout = 0x09,
    Bye = 0x0A,
    Error = 0xFF,
};

constexpr uint32_t kMaxFrame = 65536;
constexpr uint16_t kProtocolVersion = 1;

// Board error codes after which the board closes the connection.
constexpr uint8_t kErrFrameTooLong = 0x04;
constexpr uint8_t kErrBoardBusy = 0x06;
constexpr uint8_t kErrIdle = 0x09; // no request for the board's idle time

struct Frame {
    uint8_t type = 0;
    QByteArray payload;
};

QByteArray Encode(uint8_t type, const QByteArray &payload);

enum class Take { Frame, NeedMore, Malformed };

// Takes one complete frame off the front of `buffer`. Malformed: a length of
// 0 or above kMaxFrame; the stream cannot be resynchronised after that.
Take TakeFrame(QByteArray &buffer, Frame &frame);

// The fields of a HELLO reply; nullopt when the payload is too short.
struct HelloReply {
    uint16_t version = 0;
    uint8_t mapVariant = 0;
    uint8_t firmware = 0;
    uint32_t dpramSize = 0;
    uint32_t maxFrame = 0;
    QByteArray boardName;
};
std::optional<HelloReply> ParseHello(const QByteArray &payload);

} // namespace meridan::iface::net
