#pragma once
// Choosing how the master board is reached: each connection closes the
// previous one, checks that a master answers, reads its firmware version and
// bus state and selects the DP-RAM map of that board. Every failure leaves
// interface kind 0 and a text in the status line.
#include "iface/dpmap.h"

#include <QString>

namespace meridan {
struct Context;
}

namespace meridan::iface {

// How long the monitor may take to answer "V" with its version.
constexpr int kVersionReplyMs = 2000;

// The "no hardware" item (noHardwareItem) and the first step of every connection.
void Disconnect(Context &ctx, bool noHardwareItem = false);

// Tessel card on PCI (vmeSlot 0) or the board in VME slot 1..15.
bool ConnectTessel(Context &ctx, int vmeSlot = 0);
bool ConnectCorvetDpram(Context &ctx);
// COM1 or COM2 with a Ravelin (9600 baud), Dromon or Corvet (19200 baud).
bool ConnectSerial(Context &ctx, int port, BoardModel model);
// TCP/IP: variant 0 (Ravelin or Dromon) or 1 (Ketch), to the board's target
// name (empty: "OS9Target").
bool ConnectNetwork(Context &ctx, int variant, BoardModel model, const QString &target = {});

// "5.3" for the version byte 0x53.
QString VersionText(uint8_t v);
// "Offline", "Stop", "Clear", "Operate" for 0..3; empty otherwise.
QString BusStateText(uint8_t state);

} // namespace meridan::iface
