// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data-type words of extended user parameters ("Bit(3)", "Unsigned16",
// ...) and what they mean for the parameter bytes: where the field lies and
// which values it can hold. The GSD reader checks values against it, the
// extended parameter editor reads and writes fields with it.
#include <QString>
#include <cstdint>

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

} // namespace meridan
