#pragma once
// DP-RAM access: one byte at a time, whatever the connection. Kind 1 goes
// straight into the mapped DP-RAM, kinds 2 and 3 are one serial command each,
// kind 4 is one network exchange inside the access lock; with no interface
// reads yield 0 and writes are dropped.
#include <cstdint>

namespace meridan {
struct Context;
}

namespace meridan::iface {

// How long a network access waits for another one to give the lock back.
constexpr int kLockWaitMs = 5000;

uint8_t GetByte(Context &ctx, uint32_t address);
void SetByte(Context &ctx, uint32_t address, uint8_t value);
// Takes the access lock, letting events through while another access holds
// it; false when it was not given back within kLockWaitMs.
bool LockGetByte(Context &ctx);
void ReleaseGetByte(Context &ctx);
// `count` times: let events through, then sleep 1 ms.
void PauseWithEvents(Context &ctx, int count);
// Block read over the network into the message buffer from `offset`; always 0.
uint8_t GetMultiByteToMbuf(Context &ctx, uint16_t address, uint16_t count, uint16_t offset);

} // namespace meridan::iface
