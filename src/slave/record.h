// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave record: header bytes 0..7, then the DP slave parameter set
// (Slave_Para_Len, flags, Prm_Data, Cfg_Data, Add_Tab, Slave_User_Data).
// The variable blocks follow each other without gaps, so every position after
// the user parameters depends on the lengths before it.
#include "config/image.h"
#include "core/slave_work.h"

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace meridan {

struct Context;
struct State;

constexpr int kUserDataLen = 88;   // Slave_User_Data bytes of every record built here
constexpr int kModuleListAt = 25;  // module list position within the user data
constexpr int kModuleListLen = 64;

// U, C and D as the record's own length bytes give them. Valid only right
// after they were read; every routine recomputes before it moves bytes.
struct SlaveLayout {
    int u = 0; // User_Prm_Data length: byte 25 - 9
    int c = 0; // Cfg_Data length: byte (34 + U) - 2
    int d = 0; // Slave_User_Data length: byte (42 + U + C) - 2

    static SlaveLayout of(const Record &rec);
    int cfgStart() const { return 35 + u; }
    int addTab() const { return 37 + u + c; }      // input offset word
    int userData() const { return 43 + u + c; }    // GSD code, name, module list
};

struct IoLengths {
    int inputLength = 0;  // bytes
    int outputLength = 0;
    int inputOffset = 0;
    int outputOffset = 0;
};

// Input and output lengths from the identifier bytes (compact and special
// format), offsets from the address table.
IoLengths DecodeIoLengths(const Record &rec);
// The same, into the work values of the record buffer.
void DecodeIoLengths(State &st);
// The same walk over a plain list of identifier bytes.
void AddIoLengths(const uint8_t *cfg, int count, int &inputLength, int &outputLength);

// One configuration identifier: a compact byte, or a special-format byte
// with the length bytes and manufacturer-specific bytes that belong to it.
struct CfgIdentifier {
    int first = 0;        // index of its first byte in the identifier bytes
    int size = 1;         // bytes it covers there
    uint8_t id = 0;       // its first byte
    int inputBytes = 0;   // data bytes it declares, words counted as 2 bytes
    int outputBytes = 0;
    bool inputWords = false;  // the input data is organised in words
    bool outputWords = false;
};
// The identifiers of a list of identifier bytes, in order. A special-format
// identifier whose bytes run past the end covers what is there.
std::vector<CfgIdentifier> SplitIdentifiers(const uint8_t *cfg, int count);

// The module numbers in the module list (255 + next byte for numbers above
// 254), all 64 bytes walked: an empty byte between two modules is skipped.
std::vector<int> ModuleList(const Record &rec);
// Module list entries of the record in list order: module number and the
// position (1..64) of its first byte in the module list. Empty bytes are
// skipped.
struct ModuleEntry {
    int number = 0;
    int listByte = 0;
};
std::vector<ModuleEntry> ModuleEntries(const Record &rec);
// Appends module `number` (1..510) to the module list of the record buffer,
// after its last module: one byte up to 254, else 255 and number - 255.
// False when the list has no room left or the number cannot be stored;
// nothing is written then.
bool AppendModule(Record &rec, int number);

// U, C and D from the record buffer into the work values.
void RecomputeLengths(State &st);
// Byte 7: the low byte of Slave_Para_Len, but 244 whenever it is above 244.
void SetShortLength(Record &rec);

// An empty slave record for the current station, with the work values'
// input and output offsets. Clears GsdLoaded.
void NewSlaveRecord(State &st);
// Takes User_Prm_Data out of the record; the configuration length value
// becomes 0 and the user-parameter length keeps its content for the caller.
void RemoveUserPrm(State &st);
// Inserts U bytes of the user-parameter buffer into a record that has none.
void InsertUserPrm(State &st);
// Takes Cfg_Data out of the record.
void RemoveCfg(State &st);
// Inserts C bytes of the configuration buffer into a record that has none.
// Refuses (returns 1, record unchanged, message through ctx.ui) when the
// record would reach 511 bytes; 0 when done.
int InsertCfg(Context &ctx);

} // namespace meridan
