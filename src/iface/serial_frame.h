// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frames a master's serial monitor sends in frame mode (firmware above
// 5.2). Each starts after a NAK (0x15): a code byte and three header bytes,
// then data whose length the header gives. Code 0 carries no message: with
// header byte 1 = 1 it is a live-list frame of four more bytes (two bytes of
// the running list, two of the diagnosis list, from the index in header byte
// 2). Codes 0xA8, 0xAA and 0xB0 are messages without data; any other code is
// a message with header byte 3 data bytes.
//
// A pure decoder: bytes in, frame sizes and message bytes out, so that junk on
// a line can be fed to it alone.
#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

namespace meridan::iface {

constexpr uint8_t kNak = 0x15;
constexpr int kFrameHeader = 4;

// How many bytes the frame starting at `bytes` takes in all, as far as the
// bytes present tell: kFrameHeader until the header is there. A result above
// bytes.size() means more bytes must arrive first.
qsizetype SerialFrameSize(QByteArrayView bytes);

// Writes a complete frame's fields into the message buffer where a message
// keeps them (code at 0, status 2, parameter 3, length 7, data from 8).
// Returns true when the frame is a message.
bool SerialFrameToMessage(QByteArrayView frame, std::array<uint8_t, 512> &mbuf);

// A complete live-list frame: the first of the two list bytes it carries
// (header byte 2), and the bytes themselves.
struct LiveListPart {
    int index = 0;
    uint8_t run[2]{};
    uint8_t dia[2]{};
};
bool IsLiveListFrame(QByteArrayView frame);
LiveListPart LiveListOf(QByteArrayView frame);

} // namespace meridan::iface
