// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The numbers the host and the master exchange, by name. The values are the
// bytes on the wire: jobs, messages and the EEPROM pages are byte dumps of
// the record buffer and the message buffer.
#include "core/image.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace meridan::iface {

// How the board is reached: the interface kind of the original design.
enum class InterfaceKind : uint8_t {
    None = 0,
    Dpram = 1,   // mapped DP-RAM: Tessel card, VME slot, Corvet
    Com1 = 2,
    Com2 = 3,
    Network = 4,
};

// Job codes (byte 0 of a job in the record buffer).
enum class JobCode : uint8_t {
    StationDiagnosis = 0x21, // byte 3: the station
    ReadMaster = 0x22,
    ReadSlave = 0x23,        // byte 3: the station
    MasterRecord = 0x24,     // "$": the master record is the job
    SlaveRecord = 0x25,      // "%": a slave record is the job
    SetMode = 0x27,          // byte 3: the bus mode
    GlobalControl = 0x2E,    // byte 1: 127 (all), byte 3: control, byte 4: group
    Eeprom = 0x3F,           // byte 3: 1 erase, 2 burn what the master runs
};

// Message codes (byte 0 of a message in the message buffer).
enum class MsgCode : uint8_t {
    ModeReport = 0xA8,       // byte 3: the bus mode
    StationDiagnosis = 0xE1,
    MasterRead = 0xE2,
    SlaveRead = 0xE3,        // byte 2: the next station to ask for
    MasterLoaded = 0xE4,
    SlaveLoaded = 0xE5,
    ModeSet = 0xE7,
    EepromDone = 0xFF,
};

// The bus modes as jobs and messages code them; the DP-RAM bus-state byte
// codes the same modes as 0..3 (the mode shifted down by 6 bits).
enum class BusMode : uint8_t { Offline = 0x00, Stop = 0x40, Clear = 0x80, Operate = 0xC0 };

constexpr uint8_t Code(JobCode c) { return uint8_t(c); }
constexpr uint8_t Code(MsgCode c) { return uint8_t(c); }
constexpr uint8_t Code(BusMode m) { return uint8_t(m); }

// The mode of a job or message byte; nullopt for any other value.
std::optional<BusMode> BusModeOf(uint8_t code);
// The mode of a DP-RAM bus-state byte (0..3); nullopt otherwise.
std::optional<BusMode> BusModeOfState(uint8_t state);
// "Offline", "Stop", "Clear", "Operate".
QString BusModeText(BusMode mode);

// Builds a job without data in the record buffer: byte 0 the code, byte 3 the
// parameter, byte 7 (the data length) 0. The other header bytes are left as
// they are.
void SetJob(Record &rec, JobCode code, uint8_t parameter);

// Whether the message buffer holds a message with this code.
inline bool IsMessage(const std::array<uint8_t, 512> &mbuf, MsgCode code) { return mbuf[0] == Code(code); }

// "5.3" for the version byte 0x53.
QString VersionText(uint8_t v);

} // namespace meridan::iface
