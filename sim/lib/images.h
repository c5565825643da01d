// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware images for the Tessel card's boot loader (docs/boot-protocol.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace meridan::sim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t ImageCpu040 = 0x40;
constexpr std::uint8_t ImageCpu331 = 0x31;

// Header "DPFW", kind, version, flags, length, CRC-32; payload byte i = i * 31 + kind.
Bytes makeImage(std::uint8_t kind, std::uint8_t version, std::uint32_t payloadLength);
Bytes sampleOs9Image();  // OS9PCI.lo
Bytes sampleDpm1Image(); // DPM1.lo

// Writes OS9PCI.lo and DPM1.lo into dir (created when missing). With onlyMissing,
// existing files are kept.
bool writeSampleImages(const std::string &dir, bool onlyMissing, std::string *error);

} // namespace meridan::sim
