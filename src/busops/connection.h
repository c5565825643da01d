#pragma once
// The Hardware menu's items as one operation each: the commands are locked
// while the connection is made (the Tessel and VME items leave them alone),
// the status poll is held off so no tick reads a half-open connection, and
// afterwards the commands, the EEPROM menu and the poll are given back.
#include "iface/hwname.h"

namespace meridan {

struct Context;
class Commissioning;

// Connects as the menu item of `choice` does; true when a master answered.
bool ConnectItem(Context &ctx, Commissioning &comm, const iface::HwChoice &choice);

// The "no Hardware" item: closes the connection and forgets the board variant.
void NoHardwareItem(Context &ctx, Commissioning &comm);

} // namespace meridan
