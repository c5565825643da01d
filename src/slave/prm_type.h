// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data-type words of extended user parameters ("Bit(3)", "Unsigned16",
// ...) and what they mean for the parameter bytes: where the field lies and
// which values it can hold. The GSD reader checks values against it, the
// extended parameter editor reads and writes fields with it.
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace meridan {

// How a field's type word maps onto the parameter bytes.
struct FieldType {
    enum class Kind { Bit, BitArea, Unsigned, Signed, Other };
    Kind kind = Kind::Other;
    int width = 1;     // bytes, big-endian
    int firstBit = 0;  // Bit and BitArea
    int lastBit = 0;
    bool writable = false; // false: shown, never written
    int64_t lowest = 0;    // what the bytes can hold
    int64_t highest = 255;
};
// "Bit(3)", "BitArea(2-4)", "Unsigned8/16/32", "Signed8/16/32"; anything
// else, and bit numbers that cannot be read or lie above 7, is read-only.
FieldType ParseFieldType(const QString &type);

// The field at byte `pos` of a parameter block; nullopt when it does not lie
// wholly inside. A read-only type reads its bytes as one unsigned number.
std::optional<int64_t> ReadField(std::span<const uint8_t> block, const FieldType &f, int pos);
// Writes the field, leaving the other bits of its bytes as they are. False,
// with nothing written, for a read-only type, a value the field cannot hold
// or a field not wholly inside the block.
bool WriteField(std::span<uint8_t> block, const FieldType &f, int pos, int64_t value);

} // namespace meridan
