// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The numeric entry checks every editor field goes through. They never
// reject: they return a value within the limits and say what they did. The
// *Entry forms refuse text that is not a number at all: they say so and give
// nothing, so the field keeps its value.
#include <QString>
#include <cstdint>
#include <optional>

namespace meridan {

struct Context;

// Decimal entry in display units; internal value = typed value x scale,
// clamped to lower..upper and rounded half to even.
int32_t CheckRange(Context &ctx, const QString &text, double lower, int32_t upper, double scale);
std::optional<int32_t> CheckRangeEntry(Context &ctx, const QString &text, double lower, int32_t upper, double scale);
// Hexadecimal entry without prefix; the limits are given as decimal texts.
int32_t CheckHex(Context &ctx, const QString &text, const QString &lowerText, const QString &upperText);
std::optional<int32_t> CheckHexEntry(Context &ctx, const QString &text, const QString &lowerText, const QString &upperText);

// "range hex 0 to FF" / "Bereich Hex 0 bis FF": the title of hexadecimal range messages.
QString HexRangeTitle(const Context &ctx, long long lower, long long upper);

// The message of a refused or corrected entry. The range is its title and,
// since a narrow box cuts a title short, its second line as well.
enum class EntryProblem { TooHigh, TooLow, WrongInput };
void EntryMessage(Context &ctx, EntryProblem problem, const QString &rangeTitle);

} // namespace meridan
