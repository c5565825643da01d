// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values kept beside the record buffer while a slave record is edited,
// as plain data: the lengths, the offsets and the byte buffers that the
// record model moves into and out of the record.
#include "core/image.h"

#include <array>
#include <cstdint>

namespace meridan {

constexpr int kMaxUserPrm = 240;   // User_Prm_Data bytes a record can hold
constexpr int kMaxCfg = 64;        // identifier bytes a record can hold

// A byte buffer whose every index is checked: an index outside it ends the
// running operation (RangeError) instead of writing next to it.
template <int N>
struct CheckedBytes {
    std::array<uint8_t, N> bytes{};
    uint8_t &operator[](int i) { return bytes[check(i)]; }
    uint8_t operator[](int i) const { return bytes[check(i)]; }
    static constexpr int size() { return N; }
    static std::size_t check(int i)
    {
        if (i < 0 || i >= N)
            throw RangeError("buffer index out of range");
        return std::size_t(i);
    }
};

// The values the slave editor, the GSD reader and the exporters keep beside
// the record buffer. Recomputed from the record before they are used.
struct SlaveWork {
    int u = 0;               // user-parameter length
    int c = 0;               // configuration length
    int d = 0;               // user-data length
    int inputOffset = 0;     // Add_Tab word 0: first input byte in the I/O area
    int outputOffset = 0;    // Add_Tab word 1
    int inputLength = 0;     // 0..255 in the editor's field
    int outputLength = 0;
    CheckedBytes<kMaxUserPrm> prm; // bytes InsertUserPrm puts into the record
    CheckedBytes<kMaxCfg> cfg;     // bytes InsertCfg puts into the record
    bool gsdLoaded = false;        // a GSD file has been read into this record
};

} // namespace meridan
