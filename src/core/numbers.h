// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading numbers from text. One decimal reader with the rules the board
// software has always used for typed fields, stored values and the monitor's
// replies, and one hexadecimal reader: nothing else re-does them inline.
#include <QStringView>
#include <cstdint>
#include <optional>

namespace meridan {

// The value of a hexadecimal digit (either case); -1 for any other character.
int HexDigit(QChar c);

// The decimal number at the start of `text`, read like a person would: white
// space before it skipped, an optional sign, digits and an optional "."
// fraction; reading stops at the first character that does not belong to the
// number. No digits read as 0 ("abc" gives 0, "12kg" 12, " -2.5x" -2.5).
double ValNumber(QStringView text);
double ValNumber(QLatin1StringView text);

// The hexadecimal digits at the start of `text`, up to the first character
// that is not one ("1G" gives 1, "G1" gives 0, "" gives 0). nullopt when the
// value exceeds `max`.
std::optional<uint64_t> LeadingHex(QStringView text, uint64_t max = 0xFFFFFFFFu);
std::optional<uint64_t> LeadingHex(QLatin1StringView text, uint64_t max = 0xFFFFFFFFu);

// A number given on a command line: "0x1F" (hexadecimal) or "31" (decimal),
// nothing else around it, at most `max`.
std::optional<uint32_t> ParseNumberArg(QStringView text, uint32_t max);

} // namespace meridan
