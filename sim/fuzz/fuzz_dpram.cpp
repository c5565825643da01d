// SPDX-License-Identifier: GPL-3.0-or-later
// A host writing anything anywhere in the DP-RAM: pairs of (address, value), with the
// firmware running between them.
#include "firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace meridan::sim;
    if (size < 1)
        return 0;
    const BoardKind kinds[] = {BoardKind::Tessel, BoardKind::CorvetDpram, BoardKind::Ketch};
    BoardKind kind = kinds[data[0] % 3];
    BoardMap map = mapFor(kind);
    VectorDpRam ram(map.size);
    Eeprom eeprom;
    Firmware::Options o;
    o.kind = kind;
    // Short boot and loader times: the recovery below then takes a few polls.
    o.bootDelayMs = 10;
    o.loaderTimeoutMs = 100;
    static const SimBus demo = SimBus::demo(); // parsed once, not per input
    Firmware fw(ram, eeprom, demo, o);
    fw.powerUp(0);
    // Addresses relative to the interesting spots, so short inputs reach the mailbox.
    const std::uint32_t bases[] = {map.jobArea, map.jobToggle, map.startByte, loader::Cmd - 2,
                                   loader::Window, map.messageArea, map.masterToggle, 0};
    std::int64_t now = 0;
    for (std::size_t i = 1; i + 2 < size; i += 3) {
        std::uint32_t a = bases[data[i] & 7] + (static_cast<std::uint32_t>(data[i] >> 3) | (data[i + 1] & 0x0F) << 5);
        ram.set(a % map.size, data[i + 2]);
        now += (data[i + 1] >> 4) * 50;
        fw.poll(now);
        if (fw.queuedMessages() > Firmware::MaxQueue)
            __builtin_trap();
    }
    // Whatever the host wrote, a stop and a restart bring back a board that takes a job.
    ram.set(map.startByte, 1);
    for (int ms = 0; ms < 4 * (o.loaderTimeoutMs + o.bootDelayMs); ms += 5)
        fw.poll(now += 5);
    ram.set(map.jobToggle, 0);
    ram.set(map.masterToggle, 0);
    const Bytes stop{0x27, 0, 0, 0x40, 0, 0, 0, 0};
    MailboxHost host(ram, map);
    fw.poll(++now);
    if (ram.get(map.startByte) != 0x52 || !host.putJob(stop))
        __builtin_trap();
    // Replies to jobs left over from before the stop may come first.
    for (std::size_t n = 0; n <= Firmware::MaxQueue + 1; ++n) {
        fw.poll(++now);
        const auto reply = host.getMessage();
        if (reply && (*reply)[0] == 0xE7 && (*reply)[3] == 0x40)
            return 0;
    }
    __builtin_trap();
}
