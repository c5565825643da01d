// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The soft-PLC project's global variables file: VAR_GLOBAL blocks of IEC
// 61131-3 declarations, some of them BOOL and INT variables placed on a DP
// slave's I/O channels,
//
//   Motor_On                           AT %QX3.5 :BOOL ;  (* #S12M3K5 *)
//
// The comment names the channel (station S, module M, channel K) so the
// address can be regenerated whenever the configuration changes. Only
// one-line BOOL and INT declarations are editable entries; every other line
// of the file is kept byte for byte. The file is handled as bytes
// (Windows-1252 text, CR LF line ends).
#include "iec/iomap.h"
#include "iec/ioconfig.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace meridan {
struct Context;
}

namespace meridan::iec {

constexpr int kVarNameWidth = 32; // names are padded to this, never cut
constexpr int kDeleted = 65534;   // state of a deleted entry
constexpr int kBool = 1;
constexpr int kInt = 2;

// One declaration line as read.
struct VarDecl {
    QByteArray name;
    int type = 0;             // kBool, kInt, 0 for any other type
    bool located = false;     // has an AT clause
    QByteArray location;      // its direct address as written ("%IW18")
    std::optional<Dir> dir;   // %I or %Q of the AT clause
    bool marked = false;      // carries the channel comment
    int station = 0, module = 0, channel = 0;
    QByteArray init;          // the initial value's text after ":="
    QByteArray comments;      // the line's other comments, as written
    QByteArray indent;        // the blanks before the name
};

// What one line holds, read outside comments.
struct VarLine {
    bool opens = false;          // a VAR... keyword: a declaration block begins
    bool global = false;         // ... and it is VAR_GLOBAL
    QByteArray qualifier;        // RETAIN, CONSTANT, ... after VAR_GLOBAL
    bool closes = false;         // END_VAR
    bool closesFirst = false;    // END_VAR is the line's first word
    QList<QByteArray> names;     // names a declaration on the line declares
    std::optional<VarDecl> decl; // the line is exactly one declaration
};

// ParseVarLine: reads one line (without its line end). `inComment` carries
// an open "(* ..." comment from line to line. `decl` is set only for a line
// that is one whole declaration "name [AT %location] : TYPE [:= init] ;"
// with nothing but comments around it.
VarLine ParseVarLine(QByteArrayView line, bool &inComment);

// An entry of the variable table.
struct VarEntry {
    QString name;
    int line = -1;       // line of its declaration (from 1); -1: a new variable
    int station = 0;
    int module = -1;     // M; negative: not attached to a channel
    int channel = 0;     // K: bit number of a bit channel, word number of a word channel
    std::optional<Dir> dir;
    int state = 0;       // non-zero: changed; kDeleted: deleted
    int type = kBool;
    QByteArray init;     // kept while the type is the one read
    QByteArray locationRead; // the AT address the file gave it ("%IW18")
    int typeRead = 0;
    QByteArray comments;
    QByteArray indent;   // kept when the line is rewritten

    bool attached() const { return module >= 0; }
    bool deleted() const { return state == kDeleted; }
};

struct VarTable {
    std::vector<VarEntry> entries;
    QList<QByteArray> otherNames; // declared by lines that are not entries

    int live() const;
    bool changed() const;
    // The live entry called `name`, in any case; -1 when none.
    int find(const QString &name) const;
    // True when `name` is declared anywhere in the file or the table.
    bool declared(const QString &name) const;
};

// The entries of a whole variables file: BOOL and INT declarations of
// VAR_GLOBAL blocks that are not CONSTANT.
VarTable ParseVars(const QByteArray &text);

// A letter or "_" first, then letters, digits and single "_", not ending in
// "_", not a keyword or elementary type name.
bool IsIecIdentifier(const QString &name);

// The channel an entry is attached to, when it still exists.
std::optional<Channel> EntryChannel(const VarEntry &e, const IoMap &map);

// FormatVarLine: the declaration line of an entry (without line end); an
// empty line for a deleted entry. An entry whose channel is gone, or whose
// type no longer fits it, is detached first and `notes` says so.
QByteArray FormatVarLine(VarEntry &e, const IoMap &map, int inputBase, int outputBase,
                         QStringList *notes = nullptr);

// The new file: changed and attached entries in place of their lines, new
// ones before the END_VAR of the first plain VAR_GLOBAL block (a new block
// at the end when there is none). Pure; `table` gets the line numbers.
QByteArray MergeVars(const QByteArray &old, VarTable &table, const IoMap &map, int inputBase,
                     int outputBase, QStringList *notes = nullptr);

// The editing rules, shared by the variable editor and the CLI. Each gives
// the message to show, empty when the change was made.
QString AddVariable(const Context &ctx, VarTable &t, const QString &name, int type);
QString AttachVariable(VarTable &t, int index, const SlaveIo &slave, int module, const Channel &c);
QString DetachVariable(VarTable &t, int index);
QString DeleteVariable(VarTable &t, int index);
QString SetVariableType(VarTable &t, int index, int type, const IoMap &map);
QString DatatypeMismatch();
// The same, saying which kind of channel a variable of `type` needs.
QString DatatypeMismatch(int type);

// ReadVars: the table from the project's variables file (none: empty);
// the status text "Read n Vars from PATH".
QString ReadVars(Context &ctx, VarTable &table);

struct VarSave {
    QString error;   // empty when the variables were saved
    QString box;     // the "Can´t write Variables !" text, when that is what happened
    QString status;  // the status line afterwards
    QStringList notes;
    IoRewrite io;
};
// SaveVars: regenerates the I/O configuration, then writes the variables
// file (backup NAME.old beside it; unchanged content is not rewritten).
// When the file cannot be replaced the new content goes to meridan.vb and
// `box` holds the "Can´t write Variables !" text for the caller to show.
VarSave SaveVars(Context &ctx, VarTable &table);

// The project packing tool named in the settings file, run as
// "TOOL UNPACK folder" / "TOOL PACK folder"; none configured: nothing to do.
// Empty when it ran well, else what went wrong.
QString RunVarTool(Context &ctx, const QString &verb);

} // namespace meridan::iec
