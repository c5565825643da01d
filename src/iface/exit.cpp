#include "iface/exit.h"

#include "core/context.h"
#include "iface/board.h"
#include "iface/serial.h"

namespace meridan::iface {

void CloseForExit(Context &ctx, bool exitButton)
{
    Board *b = BoardOf(ctx);
    if (!b)
        return;
    const uint8_t kind = ctx.st.interfaceKind;
    if ((kind == 2 || kind == 3) && b->serial->isOpen()) {
        if (exitButton && b->boardVariant) {
            SerialSend(ctx, QByteArrayLiteral("Q\r"));
            b->boardVariant = false;
            b->corvetFlag = 0;
        }
        b->serial->close();
    } else if (kind == 4) {
        b->driver.PCI_DeInitEx(b->networkHandle);
    }
    // Given back once: a second way out (the close box after Exit) finds nothing open.
    ctx.st.interfaceKind = 0;
}

} // namespace meridan::iface
