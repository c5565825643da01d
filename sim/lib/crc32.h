// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

namespace meridan::sim {

// CRC-32 as used by Ethernet and zip: reflected, polynomial 0xEDB88320.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

} // namespace meridan::sim
