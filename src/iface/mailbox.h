#pragma once
// The master's job and message mailboxes and its station lists.
//
// Jobs go from the record buffer into the job area, messages from the
// message area into the message buffer, each direction guarded by a toggle
// bit: the host flips bit 0 of the job toggle byte to post a job and the
// master copies it into bit 0 of its own toggle byte once it took the job;
// the master flips bit 1 of its toggle byte to post a message and the host
// copies it back into bit 1 of the job toggle byte once it took the message.
#include <cstdint>

namespace meridan {
struct Context;
}

namespace meridan::iface {

constexpr uint32_t kRed = 0xFF;       // station has diagnosis
constexpr uint32_t kBlue = 0xFF0000;  // station without diagnosis
constexpr int kRequestRounds = 200;   // polls before a frame request is repeated
constexpr int kLiveMissLimit = 3;

// 1: the job in the record buffer was handed over; 0: the master has not yet
// taken the previous one.
uint8_t PutKomm(Context &ctx);
// 1: a new message is in the message buffer.
uint8_t GetMeld(Context &ctx);
uint8_t StationRun(Context &ctx, uint8_t station);
uint32_t StationDia(Context &ctx, uint8_t station);
// The status poll found the time-out flag: drop the connection and say so.
void ConnectionLost(Context &ctx);

} // namespace meridan::iface
