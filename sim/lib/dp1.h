// SPDX-License-Identifier: GPL-3.0-or-later
// Configuration files (.dp1) to and from the EEPROM pages, for the network burn and
// read-back calls.
#pragma once

#include "eeprom.h"

#include <cstdint>
#include <optional>

namespace meridan::sim {

struct BurnResult {
    std::uint8_t status = 0; // 0 ok
    std::uint8_t code = 0;   // 1 not a configuration, 2 bad slave record, 3 too long, 4 write
    std::uint8_t slaves = 0;
    std::string text;
};

// Checks the whole file first; the EEPROM changes only when every record is sound.
BurnResult burnConfigFile(Eeprom &eeprom, const Bytes &file);

// nullopt when page 0 holds no master record.
std::optional<Bytes> configFileFromEeprom(const Eeprom &eeprom);

} // namespace meridan::sim
