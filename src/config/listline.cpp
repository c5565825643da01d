// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/listline.h"

#include "core/state.h"
#include "core/texts.h"
#include "core/bytes.h"

namespace meridan {

QString EmptyListLine(int station)
{
    return NumText(station) + QStringLiteral(". ");
}

void ResetListLines(State &st)
{
    for (int s = kListFirst; s <= kListLast; ++s)
        st.listLines[std::size_t(s - 1)] = EmptyListLine(s);
}

QString ListLineFor(const Record &rec)
{
    // A damaged record may point its blocks beyond the slot: such bytes read
    // as zero, which ends the visible text, instead of ending the operation.
    const auto byteAt = [&](int i) -> uint8_t { return i >= 0 && i < kSlotSize ? rec.bytes[std::size_t(i)] : 0; };
    const int a = int(byteAt(25)) - 9;           // user parameter length
    const int b = int(byteAt(34 + a)) - 2;       // identifier length
    const auto chars = [&](int from, int to) {
        QString out;
        for (int i = from; i <= to; ++i)
            out += QChar(byteAt(i));
        return out;
    };
    QString line = NumText(rec.bytes[3]) + QStringLiteral(". ");
    line += chars(43 + a + b, 46 + a + b);
    line += HexUpper(be16(rec.span(), 30), 4);
    line += QStringLiteral(": ");
    line += chars(48 + a + b, 67 + a + b);
    const auto nul = line.indexOf(QChar(0));
    if (nul >= 0)
        line.truncate(nul);
    return line;
}

void BuildListLine(State &st)
{
    const int station = st.record.bytes[3];
    if (station < 1 || station > 125)
        return;
    st.listLines[std::size_t(station - 1)] = ListLineFor(st.record);
}

QStringList ListeLines(const State &st)
{
    QStringList lines;
    lines.reserve(kListCount);
    for (int s = kListFirst; s <= kListLast; ++s) {
        const QString &l = st.listLines[std::size_t(s - 1)];
        lines << (l.isEmpty() ? EmptyListLine(s) : l);
    }
    return lines;
}

} // namespace meridan
