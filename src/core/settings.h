#pragma once
// The settings file ROOT/meridan.cfg: the language flag, and whether the
// download is fast (the section is written only when it is).
//
//   [LANGUAGE]<CR><LF>
//    49<CR><LF>          (German; " 1" English)
//   [FASTDOWNLOAD]<CR><LF>
//    1<CR><LF>
#include <QByteArray>
#include <cstdint>

namespace meridan {

struct Context;

// Reads the flag from the settings file into the state. A missing file, a
// missing "[LANGUAGE]" line or an unreadable value leaves the flag as it is.
void ReadSettings(Context &ctx);
// Writes the two lines; a failure only means the choice lasts for this run.
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

} // namespace meridan
