// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/diagnosis.h"

#include "core/state.h"
#include "core/texts.h"
#include "core/bytes.h"

namespace meridan {

namespace {
// [byte][bit], bit 7 first in the table of the diagnosis window.
const char *const kNames[3][8] = {
    {"Station Non existent", "Station not ready", "Cfg. Fault", "Ext. Diagnose", "Not supported", "Invalid Slave Response",
     "Prm Fault", "Master Lock"},
    {"Prm. Request", "Stat. Diag", "1", "Watchdog On", "Freeze Mode", "Sync. Mode", "reserved", "Diag. deactivated"},
    {"reserved", "reserved", "reserved", "reserved", "reserved", "reserved", "reserved", "Ext. Diag. Overflow"},
};
} // namespace

QString DiagBitName(int byte, int bit)
{
    if (byte < 0 || byte > 2 || bit < 0 || bit > 7)
        return {};
    return QString::fromLatin1(kNames[byte][bit]);
}

QString DiagCaption(int16_t language, int station)
{
    return QStringLiteral("Station ") + (station > 0 ? QString::number(station) + QLatin1Char(' ') : QString())
        + Tr(language, QStringLiteral("Diagnosis"), QStringLiteral("Diagnose"));
}

void UpdateDiagView(const State &st, DiagView &v, bool connected)
{
    v.caption = QStringLiteral("Station ") + QString::number(st.currentStation) + QStringLiteral(" Diagnose");
    const auto &m = st.mbuf;
    const int n = m[7];
    if (n < 6 || !connected) {
        for (auto &byte : v.bits)
            byte.fill(false);
        v.masterAdr.clear();
        v.identNr.clear();
        v.extData.clear();
        v.explanation.clear();
        return;
    }
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 8; ++b)
            v.bits[std::size_t(i)][std::size_t(b)] = (m[std::size_t(8 + i)] >> b) & 1;
    v.masterAdr = QString::number(m[11]);
    v.identNr = HexUpper(be16(m, 12));
    v.extData.clear();
    for (int i = 14; i <= 7 + n && i < int(m.size()); ++i)
        v.extData += HexByteText(m[std::size_t(i)]);
}

QStringList DiagnosisText(const State &st)
{
    DiagView v;
    UpdateDiagView(st, v, true); // a diagnosis that arrived came from a board
    QStringList out;
    out << v.caption;
    if (st.mbuf[7] < 6) {
        out << QStringLiteral("no diagnosis (%1 bytes)").arg(st.mbuf[7]);
        return out;
    }
    for (int i = 0; i < 3; ++i) {
        QStringList set;
        for (int b = 7; b >= 0; --b)
            if (v.bits[std::size_t(i)][std::size_t(b)])
                set << DiagBitName(i, b);
        out << QStringLiteral("Byte %1: %2").arg(i + 1).arg(set.isEmpty() ? QStringLiteral("-") : set.join(QStringLiteral(", ")));
    }
    out << QStringLiteral("Master Address: ") + v.masterAdr;
    out << QStringLiteral("Ident Number: ") + v.identNr;
    out << QStringLiteral("Extended Data: ") + v.extData.trimmed();
    return out;
}

} // namespace meridan
