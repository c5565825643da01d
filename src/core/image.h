// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration image as plain data: one master record (slot 0) and one
// slot per slave station, each 512 bytes, plus the record buffer's type. The
// file format, the jobs and the EEPROM pages are byte dumps of these.
#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace meridan {

constexpr int kSlots = 126;      // station addresses 0..125
constexpr int kSlotSize = 512;   // bytes 0..511
constexpr uint8_t kMasterMarker = 0x24; // "$"
constexpr uint8_t kSlaveMarker = 0x25;  // "%"

// An index outside the image or a record ends the running operation; the
// operation catches this at its edge. Nothing is ever written out of range.
struct RangeError : std::out_of_range {
    using std::out_of_range::out_of_range;
};

// ReadWord on a high byte above 127: the value does not fit a signed 16-bit word.
struct OverflowError : std::overflow_error {
    using std::overflow_error::overflow_error;
};

class Record {
public:
    std::array<uint8_t, kSlotSize> bytes{};

    uint8_t &operator[](int i) { return bytes[check(i)]; }
    uint8_t operator[](int i) const { return bytes[check(i)]; }
    std::span<uint8_t> span() { return bytes; }
    std::span<const uint8_t> span() const { return bytes; }
    void clear() { bytes.fill(0); }
    bool operator==(const Record &) const = default;

    static std::size_t check(int i)
    {
        if (i < 0 || i >= kSlotSize)
            throw RangeError("record index out of range");
        return std::size_t(i);
    }
};

class ConfigImage {
public:
    Record &slot(int station) { return slots_[check(station)]; }
    const Record &slot(int station) const { return slots_[check(station)]; }
    uint8_t &at(int station, int index) { return slot(station)[index]; }
    uint8_t at(int station, int index) const { return slot(station)[index]; }

    bool hasMaster() const { return slots_[0].bytes[0] == kMasterMarker; }
    bool hasSlave(int station) const { return slot(station).bytes[0] == kSlaveMarker; }

    static std::size_t check(int station)
    {
        if (station < 0 || station >= kSlots)
            throw RangeError("station out of range");
        return std::size_t(station);
    }

private:
    std::array<Record, kSlots> slots_{};
};

} // namespace meridan
