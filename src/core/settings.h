// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file ROOT/meridan.cfg: the language flag, whether the download
// is fast (the section is written only when it is), and optionally the tool
// that unpacks and packs the soft-PLC project around the variable editor
// (none unless an administrator adds the section).
//
//   [LANGUAGE]<CR><LF>
//    49<CR><LF>          (German; " 1" English)
//   [FASTDOWNLOAD]<CR><LF> (optional)
//    1<CR><LF>
//   [VARTOOL]<CR><LF>     (optional)
//   /usr/local/bin/mwtvars --quiet<CR><LF>
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace meridan {

struct Context;

// Reads the flag from the settings file into the state. A missing file, a
// missing "[LANGUAGE]" line or an unreadable value leaves the flag as it is.
void ReadSettings(Context &ctx);
// Writes the language lines and keeps every other section of the file; a
// failure only means the choice lasts for this run.
void WriteSettings(Context &ctx);
// The Option menu: makes `flag` the language and stores it. Returns false,
// writing nothing, when that language is already in force.
bool ChooseLanguage(Context &ctx, int16_t flag);

// The value of the line after "[LANGUAGE]" in `text`; false when there is no
// such line or the value does not fit the flag.
bool ParseLanguage(const QByteArray &text, int16_t &flag);
// Whether the file asks for the fast download.
bool ParseFastDownload(const QByteArray &text);
// The Option menu's "Fast download": sets it and stores the settings.
void ChooseFastDownload(Context &ctx, bool on);

// The command line of the project packing tool (the line after "[VARTOOL]"),
// empty when none is named.
QString ReadVarTool(const Context &ctx);
QString ParseVarTool(const QByteArray &text);

} // namespace meridan
