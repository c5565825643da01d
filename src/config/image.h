// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Operations on the configuration image: clearing, storing the record
// buffer, walking the slaves, words in records, the master defaults.
#include "core/image.h"

#include <QString>
#include <cstdint>

namespace meridan {

struct State;
struct Context;

// The download walks the slaves from station 1 on (NextSlave moves past it
// first) up to this station; a record at 1 or at 101..125 stays in the image
// but never reaches the master.
constexpr int kFirstDownloaded = 2;
constexpr int kLastDownloaded = 100;
constexpr bool IsDownloaded(int station) { return station >= kFirstDownloaded && station <= kLastDownloaded; }
// Why a station the download never sends stays behind: "the download stops
// at station 100" (or starts at station 2), in the language in force.
QString NeverDownloadedWhy(const Context &ctx, int station);

// Sets every byte of slots 0..100 to 0; slots 101..125 are left alone.
void ClearImage(ConfigImage &image);
// Copies the whole record buffer into slot `station`.
void StoreRecord(State &st, int station);
// Steps the current station to the next slave record (up to station 100) and
// copies it into the record buffer.
bool NextSlave(State &st);
// Big-endian signed word at `offset` of the record; throws OverflowError when
// the high byte is above 127.
int16_t ReadWord(const Record &rec, int offset);
void WriteWord(Record &rec, int offset, int value);
// " 1500": the word high*256+low with the leading blank.
QString WordText(uint8_t high, uint8_t low);
// Writes the default master record into `rec`, using the baud-rate code
// already at byte 11.
void SetMasterDefaults(Record &rec);

// Baud-rate code (master byte 11) tables.
struct BaudInfo {
    const char *shown;     // the text the editor shows for the code
    const char *dropDown;  // the text of the drop-down list item
    double kbits;          // rate in kbit/s
    int defaultTsl;
    int defaultMaxTsdr;
};
const BaudInfo *BaudFor(int code); // nullptr outside 0..9

} // namespace meridan
