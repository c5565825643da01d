// SPDX-License-Identifier: GPL-3.0-or-later
// What the host side does, written from the protocol documents, to drive the board in
// tests: the mailbox handshake on a DP-RAM, and records built the way the editors do.
#pragma once

#include "firmware.h"

#include <optional>

namespace meridan::sim::test {

// The host's PutKomm/GetMeld over a DP-RAM.
struct Host {
    DpRam &ram;
    BoardMap map;

    bool putKomm(const Bytes &job)
    {
        std::uint8_t a = ram.get(map.jobToggle), b = ram.get(map.masterToggle);
        if ((a ^ b) & 1)
            return false;
        for (std::size_t i = 0; i < 8u + job[7]; ++i)
            ram.set(map.jobArea + static_cast<std::uint32_t>(i), job[i]);
        ram.set(map.jobToggle, static_cast<std::uint8_t>((a & 0xFE) + ((a + 1) & 1)));
        return true;
    }
    std::optional<Bytes> getMeld()
    {
        std::uint8_t a = ram.get(map.jobToggle), b = ram.get(map.masterToggle);
        if (((a ^ b) & 2) == 0)
            return std::nullopt;
        std::uint8_t n = ram.get(map.messageArea + 7);
        Bytes m(8u + n);
        for (std::size_t i = 0; i < m.size(); ++i)
            m[i] = ram.get(map.messageArea + static_cast<std::uint32_t>(i));
        ram.set(map.jobToggle, static_cast<std::uint8_t>((a & 0xFD) + (b & 2)));
        return m;
    }
};

inline Bytes jobOf(std::uint8_t code, std::uint8_t param = 0)
{
    return Bytes{code, 0, 0, param, 0, 0, 0, 0};
}

inline Bytes masterRecord(std::uint8_t flags = 0, std::uint8_t address = 1)
{
    Bytes r(74, 0);
    r[0] = '$';
    r[7] = 66;
    r[9] = 66;
    r[10] = address;
    r[11] = 6; // 1.5 Mbit/s
    r[24] = 100;
    r[25] = 9;
    r[26] = 1;
    r[27] = flags;
    return r;
}

// A slave record laid out as the slave editor builds it (88 bytes of user data).
inline Bytes slaveRecord(int station, std::uint16_t ident, const Bytes &cfg,
                         std::uint16_t inOffset = 0, std::uint16_t outOffset = 0,
                         std::size_t userPrm = 0)
{
    std::size_t U = userPrm, C = cfg.size(), D = 88;
    std::size_t spl = 35 + U + C + D;
    Bytes r(8 + spl, 0);
    r[0] = '%';
    r[3] = static_cast<std::uint8_t>(station);
    r[7] = static_cast<std::uint8_t>(std::min<std::size_t>(spl, 244));
    r[8] = static_cast<std::uint8_t>(spl >> 8);
    r[9] = static_cast<std::uint8_t>(spl & 0xFF);
    r[10] = 0x80;
    r[25] = static_cast<std::uint8_t>(9 + U);
    r[26] = 0x88;
    r[27] = 20;
    r[28] = 5;
    r[29] = 40;
    r[30] = static_cast<std::uint8_t>(ident >> 8);
    r[31] = static_cast<std::uint8_t>(ident & 0xFF);
    r[32] = 1;
    std::size_t p = 33 + U;
    r[p + 1] = static_cast<std::uint8_t>(2 + C);
    std::copy(cfg.begin(), cfg.end(), r.begin() + static_cast<long>(p + 2));
    p += 2 + C;
    r[p + 1] = 6;
    r[p + 2] = static_cast<std::uint8_t>(inOffset >> 8);
    r[p + 3] = static_cast<std::uint8_t>(inOffset & 0xFF);
    r[p + 4] = static_cast<std::uint8_t>(outOffset >> 8);
    r[p + 5] = static_cast<std::uint8_t>(outOffset & 0xFF);
    p += 6;
    r[p + 1] = static_cast<std::uint8_t>(2 + D);
    return r;
}

// The job a record makes: its bytes 0 .. 7 + byte 7.
inline Bytes recordJob(const Bytes &record)
{
    return Bytes(record.begin(), record.begin() + 8 + record[7]);
}

// The demo configuration of docs/simulated-bus.md: three matching slaves, station 40
// configured with ident 4224 (the bus has 4225).
inline std::vector<Bytes> demoSlaves()
{
    return {slaveRecord(12, 0x4711, {0x31}, 0, 0), slaveRecord(20, 0xC0DE, {0x11, 0x13}, 2, 0),
            slaveRecord(30, 0x4224, {0x10, 0x20}, 8, 2), slaveRecord(40, 0x4224, {0x10}, 9, 0),
            slaveRecord(50, 0x5A50, {0x20, 0x10, 0xC0, 0x40, 0x40}, 10, 3)};
}

// A board core on plain memory, driven in virtual time.
struct Rig {
    explicit Rig(BoardKind kind = BoardKind::Tessel, SimBus bus = SimBus::demo(), std::vector<Flap> flaps = {})
        : ram(mapFor(kind).size), fw(ram, eeprom, std::move(bus), options(kind, std::move(flaps))),
          host{ram, mapFor(kind)}
    {
        fw.powerUp(now);
    }
    static Firmware::Options options(BoardKind kind, std::vector<Flap> flaps = {})
    {
        Firmware::Options o;
        o.kind = kind;
        o.version = defaultVersion(kind);
        o.flaps = std::move(flaps);
        return o;
    }
    void advance(std::int64_t ms)
    {
        for (std::int64_t i = 0; i < ms; ++i) {
            ++now;
            fw.poll(now);
        }
    }
    // Hands the job over, lets the firmware run once and fetches the next message.
    std::optional<Bytes> send(const Bytes &job)
    {
        if (!host.putKomm(job))
            return std::nullopt;
        fw.poll(now);
        return reply();
    }
    std::optional<Bytes> reply()
    {
        fw.poll(now);
        auto m = host.getMeld();
        fw.poll(now);
        return m;
    }
    std::uint8_t status(const Bytes &job)
    {
        auto m = send(job);
        return m ? (*m)[2] : 0xEE;
    }
    // Offline, master, slaves, Stop, Clear, Operate: the download sequence.
    void download(const Bytes &master, const std::vector<Bytes> &slaves)
    {
        send(jobOf(job::SetMode, 0x00));
        send(recordJob(master));
        for (const auto &s : slaves)
            send(recordJob(s));
        send(jobOf(job::SetMode, 0x40));
        send(jobOf(job::SetMode, 0x80));
        send(jobOf(job::SetMode, 0xC0));
    }
    bool running(int s) const { return ram.get(host.map.stationLists + s / 8) & (1 << (s % 8)); }
    bool diag(int s) const
    {
        return ram.get(host.map.stationLists + 0x10 + s / 8) & (1 << (s % 8));
    }

    std::int64_t now = 0;
    VectorDpRam ram;
    Eeprom eeprom;
    Firmware fw;
    Host host;
};

} // namespace meridan::sim::test
