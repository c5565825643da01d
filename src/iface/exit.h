#pragma once
// Leaving the program: the serial port or the network handle is given back
// before the program ends. The Exit button also tells a Dromon's or Corvet's
// serial monitor that the host is gone ("Q"), so the monitor stops sending
// frames into a port nobody reads; the File menu's Exit and the close box do
// not.
namespace meridan {
struct Context;
}

namespace meridan::iface {

void CloseForExit(Context &ctx, bool exitButton);

} // namespace meridan::iface
