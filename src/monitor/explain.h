// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a station reports what its diagnosis says, in plain words: a wrong
// ident with the device file that would fit, the configured modules beside
// what the station reports of them, what to check when nothing answers, and
// the extended diagnosis decoded block by block with the device file's texts.
#include <QStringList>
#include <cstdint>
#include <span>

namespace meridan {

struct Context;

// The explanation of `diag` (station status bytes 1..3, master address,
// ident number, extended diagnosis) from station `station`, against the
// configuration image and the device files of the root folder. Empty for a
// diagnosis shorter than 6 bytes.
QStringList ExplainDiagnosis(const Context &ctx, int station, std::span<const uint8_t> diag);
// The same for the diagnosis message (0xE1) in the message buffer; the
// station is the message's, or the current station when the message names
// none.
QStringList ExplainDiagnosisMessage(const Context &ctx);

} // namespace meridan
