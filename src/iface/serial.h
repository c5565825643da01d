#pragma once
// The serial link to the master's monitor (COM1/COM2): ASCII commands with
// short replies for DP-RAM and EEPROM bytes, and with firmware above 5.2
// binary "D" frames for jobs and NAK frames for messages and the live list.
//
// Every wait is bounded: a command reply by 1000 polls of at most 5 ms
// (2000 for an EEPROM write), a frame's bytes by 500 ms.
#include <QByteArray>
#include <cstdint>

namespace meridan {
struct Context;
}

namespace meridan::iface {

constexpr uint8_t kNak = 0x15;
constexpr int kReplyPolls = 1000;
constexpr int kEepromWritePolls = 2000;
constexpr int kPollMs = 5;
constexpr int kFrameWaitMs = 100 * kPollMs;

uint8_t SerRead(Context &ctx, uint16_t address);
void SerWrite(Context &ctx, uint16_t address, uint8_t value);
uint8_t EERead(Context &ctx, uint16_t address);
void EEWrite(Context &ctx, uint16_t address, uint8_t value);
// One received byte; 0 when none is waiting.
uint8_t ReadByte(Context &ctx);
// Everything waiting, each byte one character.
QByteArray ReadString(Context &ctx);
// Takes in reply text (appended to `reply`) and at most one message frame.
// `messageFlag` is 1 when a complete message is in the message buffer.
void ReceiveMeld(Context &ctx, QByteArray &reply, int16_t &messageFlag);
// The job in the record buffer as a "D" frame.
void SendJob(Context &ctx);
uint8_t OrderMeld(Context &ctx, uint8_t parameter);
uint8_t OrderLiveDiag(Context &ctx, uint8_t byteIndex);
// Waits `ms` with the line quiet, discarding whatever the master sends.
void SerialWait(Context &ctx, int32_t ms);
// Puts a Dromon's or Corvet's monitor into host mode "P".
void SerialModeCheck(Context &ctx);

// Sends raw bytes on the line (nothing when the port is closed).
void SerialSend(Context &ctx, const QByteArray &bytes);
// Waits up to `ms` until at least `count` bytes are waiting; true when they are.
bool SerialWaitForBytes(Context &ctx, qint64 count, int ms);
// Lets `ms` pass while the port keeps receiving into its buffer.
void SerialCollect(Context &ctx, int ms);

// The leading decimal number of a text, as the monitor's version reply is
// read ("5.3" gives 5.3, junk gives 0).
double LeadingNumber(const QByteArray &text);
// The hexadecimal number at the start of `digits` (0 when there is none).
uint32_t LeadingHex(const QByteArray &digits);

} // namespace meridan::iface
