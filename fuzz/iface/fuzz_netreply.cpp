// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes from a network board: frames are taken off the stream one
// by one and each HELLO payload is parsed; nothing may read out of bounds.
#include "iface/netproto.h"

using namespace meridan::iface::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray stream(reinterpret_cast<const char *>(data), int(size));
    Frame frame;
    for (int guard = 0; guard < 1000; ++guard) {
        const Take t = TakeFrame(stream, frame);
        if (t != Take::Frame)
            break;
        (void)ParseHello(frame.payload);
    }
    return 0;
}
