// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the values on a command line, one way for every command: numbers
// are decimal or 0x hexadecimal; the bytes the window takes in hexadecimal
// (Global Control) are hexadecimal with or without 0x. Anything else is a
// usage error that names the range.
#include <QString>
#include <cstdint>
#include <optional>

namespace meridan::cli {

// "31" or "0x1F", digits only, within min..max.
std::optional<uint32_t> ParseNumber(const QString &text, uint32_t min, uint32_t max);
// "1F", "0x1F" or "f": a byte in hexadecimal.
std::optional<uint8_t> ParseHexByte(const QString &text);

// "NAME is MIN..MAX (decimal or 0x...), not TEXT".
QString RangeText(const QString &name, uint32_t min, uint32_t max, const QString &text);

// The hardware names for --help, one per line, indented by two blanks.
QString HwNameHelp();

} // namespace meridan::cli
