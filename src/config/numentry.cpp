// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/numentry.h"

#include "core/context.h"
#include "core/texts.h"

#include <QLocale>
#include <cmath>

namespace meridan {

void EntryMessage(Context &ctx, EntryProblem problem, const QString &rangeTitle)
{
    QString text;
    switch (problem) {
    case EntryProblem::TooHigh: text = ctx.tr(QStringLiteral("value too high"), QStringLiteral("Wert zu groß")); break;
    case EntryProblem::TooLow: text = ctx.tr(QStringLiteral("value too low"), QStringLiteral("Wert zu klein")); break;
    case EntryProblem::WrongInput: text = ctx.tr(QStringLiteral("wrong input"), QStringLiteral("Ungültige Eingabe")); break;
    }
    ctx.ui.message(text + QLatin1Char('\n') + rangeTitle, rangeTitle);
}

namespace {

// Too high first, then too low: with the lower limit above the upper one the
// user sees both messages and gets the lower limit.
template <typename T>
T Clamp(Context &ctx, T value, T lower, T upper, const QString &title)
{
    if (value > upper) {
        EntryMessage(ctx, EntryProblem::TooHigh, title);
        value = upper;
    }
    if (value < lower) {
        EntryMessage(ctx, EntryProblem::TooLow, title);
        value = lower;
    }
    return value;
}

} // namespace

std::optional<int32_t> CheckRangeEntry(Context &ctx, const QString &text, double lower, int32_t upper, double scale)
{
    const QString title = ctx.tr(QStringLiteral("range "), QStringLiteral("Bereich ")) + NumTextReal(lower / scale)
        + ctx.tr(QStringLiteral(" to "), QStringLiteral(" bis ")) + NumTextReal(double(upper) / scale);
    bool ok = false;
    const QString trimmed = text.trimmed();
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok) {
        // Accept a leading "+" the locale conversion may not.
        if (trimmed.startsWith(QLatin1Char('+')))
            value = QLocale().toDouble(trimmed.mid(1).trimmed(), &ok);
    }
    if (ok)
        value *= scale;
    if (!ok || !std::isfinite(value)) {
        EntryMessage(ctx, EntryProblem::WrongInput, title);
        return std::nullopt;
    }
    return int32_t(std::nearbyint(Clamp(ctx, value, lower, double(upper), title))); // ties go to the even neighbour
}

int32_t CheckRange(Context &ctx, const QString &text, double lower, int32_t upper, double scale)
{
    return CheckRangeEntry(ctx, text, lower, upper, scale).value_or(int32_t(std::nearbyint(lower)));
}

QString HexRangeTitle(const Context &ctx, long long lower, long long upper)
{
    return ctx.tr(QStringLiteral("range hex "), QStringLiteral("Bereich Hex ")) + HexUpper(qMax(0LL, lower))
        + ctx.tr(QStringLiteral(" to "), QStringLiteral(" bis ")) + HexUpper(qMax(0LL, upper));
}

std::optional<int32_t> CheckHexEntry(Context &ctx, const QString &text, const QString &lowerText, const QString &upperText)
{
    const long long lower = std::llround(lowerText.trimmed().toDouble());
    const long long upper = std::llround(upperText.trimmed().toDouble());
    const QString title = HexRangeTitle(ctx, lower, upper);
    QString t = text.isEmpty() ? QStringLiteral("0") : text;
    if (t.size() > upperText.size())
        t.truncate(upperText.size());
    t = t.toUpper();
    bool ok = !t.isEmpty();
    for (const QChar c : t)
        ok = ok && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F')));
    long long value = 0;
    if (ok)
        value = t.toLongLong(&ok, 16);
    if (!ok) {
        EntryMessage(ctx, EntryProblem::WrongInput, title);
        return std::nullopt;
    }
    return int32_t(Clamp(ctx, value, lower, upper, title));
}

int32_t CheckHex(Context &ctx, const QString &text, const QString &lowerText, const QString &upperText)
{
    return CheckHexEntry(ctx, text, lowerText, upperText).value_or(int32_t(std::llround(lowerText.trimmed().toDouble())));
}

} // namespace meridan
