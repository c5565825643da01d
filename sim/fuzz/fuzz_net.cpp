// Bytes from a network client into the board's protocol.
#include "netprotocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace meridan::sim;
    VectorDpRam ram(mapFor(BoardKind::Net0).size);
    Eeprom eeprom;
    Firmware::Options o;
    o.kind = BoardKind::Net0;
    Firmware fw(ram, eeprom, SimBus::demo(), o);
    fw.powerUp(0);
    NetProtocol proto(fw, ram, "fuzz", 0);
    std::int64_t now = 0;
    for (std::size_t i = 0; i < size; i += 32) {
        proto.feed(data + i, std::min<std::size_t>(32, size - i), now);
        now += 3;
        fw.poll(now);
    }
    proto.tick(now + 20000);
    return 0;
}
