// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes from a network client into the board's protocol.
#include "netprotocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace meridan::sim;
    VectorDpRam ram(mapFor(BoardKind::Net0).size);
    Eeprom eeprom;
    Firmware::Options o;
    o.kind = BoardKind::Net0;
    static const SimBus demo = SimBus::demo(); // parsed once, not per input
    Firmware fw(ram, eeprom, demo, o);
    fw.powerUp(0);
    NetProtocol proto(fw, ram, "fuzz", 0);
    std::int64_t now = 0;
    for (std::size_t i = 0; i < size; i += 32) {
        const Bytes out = proto.feed(data + i, std::min<std::size_t>(32, size - i), now).bytes;
        // Whatever came in, only whole frames of known reply types go out.
        for (std::size_t pos = 0; pos < out.size();) {
            const std::size_t L = pos + 4 <= out.size() ? (std::size_t(out[pos]) << 24 | out[pos + 1] << 16 | out[pos + 2] << 8 | out[pos + 3]) : 0;
            const std::uint8_t type = L ? out[pos + 4] : 0;
            if (L == 0 || pos + 4 + L > out.size() || !(type == 0xFF || (type >= 0x81 && type <= 0x8A)))
                __builtin_trap();
            pos += 4 + L;
        }
        now += 3;
        fw.poll(now);
    }
    proto.tick(now + 20000);
    return 0;
}
