// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/prm_type.h"

#include <optional>

namespace meridan {

namespace {

// A bit number written in the type word: digits only, 0..7.
std::optional<int> BitNumber(QStringView s)
{
    s = s.trimmed();
    if (s.isEmpty() || s.size() > 2)
        return std::nullopt;
    bool ok = false;
    const int b = s.toInt(&ok);
    if (!ok || b < 0 || b > 7 || !s[0].isDigit())
        return std::nullopt;
    return b;
}

} // namespace

FieldType ParseFieldType(const QString &type)
{
    FieldType f;
    const qsizetype paren = type.indexOf(QLatin1Char('('));
    const QString word = (paren < 0 ? type : type.left(paren)).trimmed();
    QStringView inside;
    if (paren >= 0) {
        const qsizetype close = type.indexOf(QLatin1Char(')'), paren);
        inside = QStringView(type).mid(paren + 1, close < 0 ? -1 : close - paren - 1);
    }
    const auto number = [&f](int width, bool isSigned) {
        f.kind = isSigned ? FieldType::Kind::Signed : FieldType::Kind::Unsigned;
        f.width = width;
        f.writable = true;
        const int bits = width * 8;
        f.lowest = isSigned ? -(int64_t(1) << (bits - 1)) : 0;
        f.highest = isSigned ? (int64_t(1) << (bits - 1)) - 1 : (int64_t(1) << bits) - 1;
    };
    if (word == QLatin1String("Bit")) {
        f.kind = FieldType::Kind::Bit;
        f.highest = 1;
        // A bit the window cannot address is shown, never written: writing
        // the wrong bit would corrupt a neighbouring field of the same byte.
        if (const auto b = BitNumber(inside)) {
            f.firstBit = f.lastBit = *b;
            f.writable = true;
        }
    } else if (word == QLatin1String("BitArea")) {
        f.kind = FieldType::Kind::BitArea;
        const qsizetype dash = inside.indexOf(QLatin1Char('-'));
        const auto first = dash < 0 ? std::nullopt : BitNumber(inside.left(dash));
        const auto last = dash < 0 ? std::nullopt : BitNumber(inside.mid(dash + 1));
        if (first && last && *first <= *last) {
            f.firstBit = *first;
            f.lastBit = *last;
            f.highest = (int64_t(1) << (f.lastBit - f.firstBit + 1)) - 1;
            f.writable = true;
        } else {
            f.highest = 255;
        }
    } else if (word == QLatin1String("Unsigned8")) {
        number(1, false);
    } else if (word == QLatin1String("Unsigned16")) {
        number(2, false);
    } else if (word == QLatin1String("Unsigned32")) {
        number(4, false);
    } else if (word == QLatin1String("Signed8")) {
        number(1, true);
    } else if (word == QLatin1String("Signed16")) {
        number(2, true);
    } else if (word == QLatin1String("Signed32")) {
        number(4, true);
    }
    return f;
}

namespace {

bool Inside(std::size_t size, const FieldType &f, int pos)
{
    return pos >= 0 && std::size_t(pos) + std::size_t(f.width) <= size;
}

unsigned BitMask(const FieldType &f)
{
    return ((1u << (f.lastBit - f.firstBit + 1)) - 1u) << f.firstBit;
}

} // namespace

std::optional<int64_t> ReadField(std::span<const uint8_t> block, const FieldType &f, int pos)
{
    if (!Inside(block.size(), f, pos))
        return std::nullopt;
    uint64_t raw = 0;
    for (int i = 0; i < f.width; ++i)
        raw = (raw << 8) | block[std::size_t(pos + i)];
    switch (f.kind) {
    case FieldType::Kind::Bit:
    case FieldType::Kind::BitArea:
        if (!f.writable)
            return int64_t(raw);
        return int64_t((raw & BitMask(f)) >> f.firstBit);
    case FieldType::Kind::Signed: {
        const int bits = f.width * 8;
        const uint64_t sign = uint64_t(1) << (bits - 1);
        return (raw & sign) ? int64_t(raw) - (int64_t(1) << bits) : int64_t(raw);
    }
    case FieldType::Kind::Unsigned:
    case FieldType::Kind::Other:
        break;
    }
    return int64_t(raw);
}

bool WriteField(std::span<uint8_t> block, const FieldType &f, int pos, int64_t value)
{
    if (!f.writable || value < f.lowest || value > f.highest || !Inside(block.size(), f, pos))
        return false;
    if (f.kind == FieldType::Kind::Bit || f.kind == FieldType::Kind::BitArea) {
        const unsigned mask = BitMask(f);
        uint8_t &b = block[std::size_t(pos)];
        b = uint8_t((b & ~mask) | ((unsigned(value) << f.firstBit) & mask));
        return true;
    }
    const uint64_t raw = uint64_t(value);
    for (int i = 0; i < f.width; ++i)
        block[std::size_t(pos + i)] = uint8_t(raw >> (8 * (f.width - 1 - i)));
    return true;
}

} // namespace meridan
