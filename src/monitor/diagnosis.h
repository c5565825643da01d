// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Station diagnosis: the three station status bytes, the address of the
// master that parameterised the slave, its ident number and the extended
// diagnosis, decoded from a 0xE1 message.
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace meridan {

struct Context;
struct State;

// The label text of bit `bit` (0..7) of diagnosis byte `byte` (0..2).
QString DiagBitName(int byte, int bit);
// The diagnosis window's caption in the language `language`: "Station 12
// Diagnosis" / "Station 12 Diagnose"; station 0: none named yet.
QString DiagCaption(int16_t language, int station);

struct DiagView {
    QString caption = QStringLiteral("Station Diagnose");
    std::array<std::array<bool, 8>, 3> bits{}; // [byte][bit]: label enabled
    QString masterAdr;  // TMasterAdr
    QString identNr;    // TidentNr
    QString extData;    // TExtData
    QStringList explanation; // TExplain: why the station reports this (monitor/explain.h)
};

// Fills the view from the message buffer and the current station; a
// diagnosis shorter than 6 bytes, or no board connected, blanks it.
void UpdateDiagView(const State &st, DiagView &view, bool connected);
// The same with the explanation below the decoded bits (monitor/explain.h),
// and the caption in the language in force.
void UpdateDiagView(const Context &ctx, DiagView &view, bool connected);

// The same decoding as text lines, for the command-line tool.
QStringList DiagnosisText(const State &st);

} // namespace meridan
