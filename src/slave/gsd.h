// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave editor's reading of a GSD file: the parsed file (gsd_file.h)
// becomes the GSD tables the module drop-down and the extended parameter
// editor read, and a new slave record takes the device from it: its ident
// number, its parameter bytes and, for a compact device, the identifier
// bytes of its one module.
#include "slave/gsd_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace meridan {

struct Context;

// The slave editor's status line (Meldung): the lines read and every error
// text go through it.
using GsdStatus = std::function<void(const QString &)>;

struct GsdOutcome {
    enum class Kind {
        Done,     // read to the end of the file
        NotFound, // no such file: tables reset, nothing else read
        Stopped,  // an error ended the read; what was read before it stays
        NotGsd,   // no "#Profibus_DP" and no Ident_Number: nothing changed
    };
    Kind kind = Kind::Done;
    QString status;  // the last line read, or the error text
    int line = 0;    // physical line at which a stop happened (1-based)
    QString path;    // the file read
    bool ok() const { return kind == Kind::Done; }
};

// A device takes at most this many modules: the module list of its record
// codes numbers up to 510 (255 and a second byte above 254).
constexpr int kMaxRecordModules = kMaxGsdModules;

// The tables from a parsed file. They keep everything the file holds but
// what a record cannot take: modules beyond 510. False when modules were
// left out.
bool FillGsdTables(GsdTables &tables, const GsdFile &file);

// The folders device files are looked up in: ROOT/GSD, then the folder of
// the configuration file name.
QStringList GsdSearchFolders(const Context &ctx);
// A file in ROOT/GSD counts only with more than this many bytes.
constexpr qint64 kMinGsdSize = 10;
// Where `fileName` is: ROOT/GSD when a file of that name (any case) is there
// with more than 10 bytes, else the folder of the configuration file name.
// Empty when neither has it.
QString FindGsdFile(const Context &ctx, const QString &fileName);

// Reads `fileName` (no folder) as found by FindGsdFile into the tables and
// the record buffer, which must hold a slave record. The lines read and
// every error text go to `meldung`; errors pause one second on ctx.pump.
// The device's parameter bytes (each referenced field at its default over
// the constants) and a compact device's identifier bytes are written only
// into a record whose ident number is still 0 and whose GsdLoaded is clear:
// reading a stored station's file again leaves its bytes as they are.
GsdOutcome LoadGSD(Context &ctx, const QString &fileName, const GsdStatus &meldung = {});
// The same for a file whose path is known; `fileName` gives the GSD code.
GsdOutcome LoadGsdFile(Context &ctx, const QString &path, const QString &fileName,
                       const GsdStatus &meldung = {});
// The same for the bytes of a file already in memory.
GsdOutcome LoadGsdBytes(Context &ctx, const QByteArray &bytes, const QString &fileName,
                        const GsdStatus &meldung = {});

// The parameter bytes module m brings when it is added to a station: its
// constants, and each field it refers to at its default.
std::vector<uint8_t> ModulePrmBytes(const GsdTables &tables, int m);
// The device's own parameter bytes for a new station: User_Prm_Data, the
// constants over it, and each field it refers to at its default.
std::vector<uint8_t> DevicePrmBytes(const GsdFile &file);

// Appends the identifier bytes of a module line (the text after the module
// name's closing quote) to the configuration buffer at `cfgByteCount` and
// rewrites the record's identifier bytes. False when the record was left
// without identifier bytes (too many bytes, or the record would be too long).
// Throws GsdError for an item that is not a byte (the record unchanged),
// RangeError for a damaged record (left without identifier bytes).
bool AddConfig(Context &ctx, const QString &moduleLine, int &cfgByteCount, const GsdStatus &meldung = {});

// Resets the tables.
void ClearGsdTables(GsdTables &tables);

} // namespace meridan
