// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The number-to-text forms the program shows. One helper per form; nothing
// re-implements them inline.
#include <QString>
#include <cstdint>

namespace meridan {

// Decimal with one leading blank for non-negative values (" 12", "-3").
QString NumText(long long value);
// The same for a real number, up to 15 significant digits, "." as separator
// (" 65", " 2.5", " 655350").
QString NumTextReal(double value);
// A byte as two upper-case hex digits and a blank ("0A ").
QString HexByteText(uint8_t b);
// Upper-case hexadecimal without leading zeros ("FFFF", "0").
QString HexUpper(unsigned long long value);
// Upper-case hexadecimal padded with zeros to at least `width` digits.
QString HexUpper(unsigned long long value, int width);
// The "###0.000" pattern: no leading zeros, always three decimals, the
// user's decimal separator (QLocale default).
QString Fixed3(double value);

// Text from outside (a line of a file, a board's reply) as it may be echoed
// in a message: control characters shown as \xNN, at most `most` characters
// kept, and what was cut counted. Terminal escape sequences cannot pass.
QString EchoText(QStringView text, int most = 80);

// The language flag: 49 selects German, any other value English.
constexpr int16_t kGerman = 49;
constexpr int16_t kEnglish = 1;
inline bool IsGerman(int16_t flag) { return flag == kGerman; }

// Picks the text for the language in force at the moment it is shown.
inline QString Tr(int16_t flag, const QString &english, const QString &german)
{
    return IsGerman(flag) ? german : english;
}

} // namespace meridan
