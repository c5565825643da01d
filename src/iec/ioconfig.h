// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The soft-PLC project's I/O configuration (Ioconfig.cnf): program blocks
// that tie an I/O driver to a byte range of the PLC's input or output area,
//
//   PROGRAM in12 : INPUT
//   (
//     VAR_ADR :=  0 ,
//     END_VAR_ADR :=  7 ,
//     DEVICE := DRIVER ,
//     DRIVER_NAME := 'ProfiDP',
//     DRIVER_PAR1 :=  12 ,
//     DRIVER_PAR2 :=  256
//    );
//
// The blocks of the 'ProfiDP' driver belong to this program and are
// regenerated from the configuration; every other line of the file is kept
// byte for byte. The file is Windows-1252 text with CR LF line ends; it is
// handled as bytes throughout, so nothing is ever re-encoded.
#include "iec/iomap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace meridan {
struct Context;
}

namespace meridan::iec {

// One line of the file: where it starts and how long it is with and
// without its own line end.
struct IoLine {
    qsizetype start = 0;
    qsizetype size = 0;     // with the line end
    qsizetype content = 0;  // without it
};

// The lines of a text, each with its own line end ("\r\n", "\n" or a bare
// "\r"; the last line may have none).
std::vector<IoLine> SplitLines(const QByteArray &text);
// True when `text` ends with a line end of any kind.
bool EndsWithLineEnd(const QByteArray &text);

// A program block whose type is INPUT or OUTPUT.
struct IoBlock {
    Dir dir = Dir::In;
    int firstLine = 0;       // the PROGRAM line (0-based)
    int lastLine = 0;        // its last line, inclusive
    bool terminated = false; // ended by a line ending in ");"
    bool separator = false;  // a blank line follows it (lastLine + 1)
    QByteArray name;         // "in12"
    QByteArray header;       // what stands between the name and ": INPUT"
    QByteArray driverName;   // DRIVER_NAME without its quotes
    std::optional<qint64> varAdr, endVarAdr, par1, par2;
};

struct IoText {
    std::vector<IoLine> lines;
    std::vector<IoBlock> blocks;
};

// Splits the file into lines and finds its INPUT and OUTPUT program blocks.
// A block starts at a line "PROGRAM name ... : INPUT" (or OUTPUT) and ends
// at the first line whose text ends with ");", else before the next PROGRAM
// line or at the end of the file. Parameters are read outside comments.
IoText ParseIoBlock(const QByteArray &text);

// The generated text of one block, CR LF line ends and the blank line after it.
QByteArray IoBlockText(Dir dir, int station, const QByteArray &header, int first, int last, int param);

// The new file made from the old one and the map; pure. Planning its own
// result again gives the same text.
struct IoPlan {
    QByteArray text;
    int inputBase = 0, outputBase = 0;
    int written = 0;   // blocks generated
    int removed = 0;   // 'ProfiDP' blocks whose station or direction has no data any more
    QStringList notes; // blocks left alone, and why
};
IoPlan PlanIoConfig(const QByteArray &old, const IoMap &map);

// True when `text` is exactly what PlanIoConfig writes for the 'ProfiDP'
// blocks it holds: the file this program wrote, unchanged since.
bool IsOwnOutput(const QByteArray &text);

struct VarTable;

// The outcome of an export.
struct IoRewrite {
    QString error;       // empty on success: why nothing was replaced
    QString path;        // the I/O configuration file
    QString backup;      // where the previous content is kept; empty when there was none
    bool backupKept = false; // the backup was left as it was: the file was this program's own output
    bool changed = false;
    IoPlan plan;
    // The project's variables file; its located variables follow their
    // channels to the addresses the new blocks give them.
    QString vars;        // empty when the project has none
    bool varsChanged = false;
    QStringList varNotes; // variables moved or detached
    QByteArray varsUnsaved; // the variables file's new text, when it could not be written
};

// RewriteIoConfig: the IEC export. Regenerates the 'ProfiDP' blocks of the
// project's Ioconfig.cnf from `map` and gives every variable placed on a
// channel ("(* #S12M3K5 *)") the address the blocks now give that channel,
// so the two files always agree; both are replaced as a whole or not at all
// (a failure leaves both as they were). The previous Ioconfig.cnf is kept in
// IoConfig.old, unless it was this program's own unchanged output: the
// backup then keeps the file from before. Unchanged files are not written.
IoRewrite RewriteIoConfig(Context &ctx, const IoMap &map);

// The same export with the variable editor's table: its changes are written
// with the new addresses (a project without a variables file gets one), and
// the table is read back from what was written. Should the variables file
// not be replaceable, Ioconfig.cnf keeps its new blocks, `error` says why and
// `varsUnsaved` holds the new variables for the caller to keep elsewhere.
IoRewrite RewriteIoConfig(Context &ctx, const IoMap &map, VarTable &edited);

} // namespace meridan::iec
