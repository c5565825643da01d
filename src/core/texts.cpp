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
