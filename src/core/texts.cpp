// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/texts.h"

#include <QLocale>
#include <cmath>

namespace meridan {

QString NumText(long long value)
{
    return value >= 0 ? QStringLiteral(" ") + QString::number(value) : QString::number(value);
}

QString NumTextReal(double value)
{
    const QString digits = QString::number(value, 'g', 15);
    return value >= 0 ? QStringLiteral(" ") + digits : digits;
}

QString EchoText(QStringView text, int most)
{
    QString out;
    qsizetype used = 0;
    for (; used < text.size() && out.size() < most; ++used) {
        const char16_t c = text[used].unicode();
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
            out += QStringLiteral("\\x") + HexUpper(c, 2);
        else
            out += text[used];
    }
    if (used < text.size())
        out += QStringLiteral("... (%1 characters in all)").arg(text.size());
    return out;
}

QString HexByteText(uint8_t b)
{
    return HexUpper(b, 2) + QLatin1Char(' ');
}

QString HexUpper(unsigned long long value)
{
    return QString::number(value, 16).toUpper();
}

QString HexUpper(unsigned long long value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

QString Fixed3(double value)
{
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'f', 3);
}

} // namespace meridan
