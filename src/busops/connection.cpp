#include "busops/connection.h"

#include "core/context.h"
#include "busops/commissioning.h"
#include "iface/board.h"
#include "iface/connect.h"

namespace meridan {

namespace {

// Without a connection the poll keeps running at its last interval: it is
// what shows "no Hardware".
void KeepPolling(Context &ctx, Commissioning &comm)
{
    if (ctx.st.interfaceKind == 0)
        comm.panel().timerEnabled = true;
    comm.panel().notify();
}

} // namespace

bool ConnectItem(Context &ctx, Commissioning &comm, const iface::HwChoice &choice)
{
    using Kind = iface::HwChoice::Kind;
    comm.DisableTimer();
    const bool lock = choice.kind != Kind::Tessel && choice.kind != Kind::Vme;
    if (lock)
        comm.LockCommands();
    const bool ok = iface::ConnectHw(ctx, choice);
    comm.UnlockCommands();
    KeepPolling(ctx, comm);
    return ok;
}

void NoHardwareItem(Context &ctx, Commissioning &comm)
{
    comm.DisableTimer();
    iface::Disconnect(ctx, true);
    KeepPolling(ctx, comm);
}

} // namespace meridan
