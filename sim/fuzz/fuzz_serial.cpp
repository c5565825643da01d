// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes on the serial line into the board's monitor, first byte picks the board.
#include "serialmonitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace meridan::sim;
    if (size == 0)
        return 0;
    BoardKind kind = data[0] & 1 ? BoardKind::Dromon : BoardKind::Ravelin;
    VectorDpRam ram(mapFor(kind).size);
    Eeprom eeprom;
    Firmware::Options o;
    o.kind = kind;
    o.version = defaultVersion(kind);
    static const SimBus demo = SimBus::demo(); // parsed once, not per input
    Firmware fw(ram, eeprom, demo, o);
    fw.powerUp(0);
    SerialMonitor mon(fw, ram, {o.version > 0x52, false, 500});
    std::int64_t now = 0;
    for (std::size_t i = 1; i < size; i += 16) {
        mon.feed(data + i, std::min<std::size_t>(16, size - i), now);
        now += 7;
        fw.poll(now);
        mon.tick(now);
    }
    // The line recovers: a half frame expires, a half line ends, the host quits and
    // takes mode "P"; then the version query answers as on a fresh line.
    now += 1000;
    mon.tick(now);
    const std::uint8_t quit[] = {'\r', 'Q', '\r'}, hostMode[] = {'P', '\r'}, version[] = {'V'};
    mon.feed(quit, sizeof quit, now);
    if (mon.modeLetter() == 'O')
        mon.feed(hostMode, sizeof hostMode, now);
    const Bytes v = mon.feed(version, sizeof version, now);
    if (v != Bytes{static_cast<std::uint8_t>('0' + (o.version >> 4)), '.', static_cast<std::uint8_t>('0' + (o.version & 15))})
        __builtin_trap();
    return 0;
}
