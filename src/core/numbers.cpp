// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numbers.h"

#include <QString>
#include <cmath>

namespace meridan {

namespace {

template <typename View>
double Val(View text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && QChar(text[i]).isSpace())
        ++i;
    QByteArray num;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        num += char(QChar(text[i++]).unicode());
    bool digits = false;
    const auto takeDigits = [&] {
        while (i < n && QChar(text[i]).unicode() >= '0' && QChar(text[i]).unicode() <= '9') {
            num += char(QChar(text[i++]).unicode());
            digits = true;
        }
    };
    takeDigits();
    if (i < n && text[i] == QLatin1Char('.')) {
        num += '.';
        ++i;
        takeDigits();
    }
    if (!digits)
        return 0.0;
    const double v = num.toDouble();
    return std::isfinite(v) ? v : 0.0;
}

template <typename View>
std::optional<uint64_t> Hex(View text, uint64_t max)
{
    uint64_t value = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int d = HexDigit(QChar(text[i]));
        if (d < 0)
            break;
        value = value * 16 + uint64_t(d);
        if (value > max)
            return std::nullopt;
    }
    return value;
}

} // namespace

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

double ValNumber(QStringView text) { return Val(text); }
double ValNumber(QLatin1StringView text) { return Val(text); }

std::optional<uint64_t> LeadingHex(QStringView text, uint64_t max) { return Hex(text, max); }
std::optional<uint64_t> LeadingHex(QLatin1StringView text, uint64_t max) { return Hex(text, max); }

std::optional<uint32_t> ParseNumberArg(QStringView text, uint32_t max)
{
    const QStringView t = text.trimmed();
    bool ok = false;
    const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const uint v = hex ? t.mid(2).toUInt(&ok, 16) : t.toUInt(&ok, 10);
    if (!ok || v > max)
        return std::nullopt;
    return v;
}

} // namespace meridan
