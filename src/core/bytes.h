// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Big-endian helpers: every multi-byte value in records, jobs and the DP-RAM
// is stored high byte first.
#include <cstdint>
#include <span>

namespace meridan {

inline uint16_t be16(std::span<const uint8_t> b, std::size_t at)
{
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

inline uint32_t be32(std::span<const uint8_t> b, std::size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8)
        | uint32_t(b[at + 3]);
}

inline void putBe16(std::span<uint8_t> b, std::size_t at, uint16_t v)
{
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}

inline void putBe32(std::span<uint8_t> b, std::size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

} // namespace meridan
