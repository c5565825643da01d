// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GSD reader: reads a device description file (lines of key "=" value)
// into the GSD tables and the slave record in the record buffer.
//
// GSD files are Windows-1252 text (a UTF-8 file announces itself with a
// byte-order mark); line ends may be CR LF, CR or LF; ";" starts a comment
// outside quoted text; "\" continues a logical line on the next physical one.
#include "core/gsd_tables.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace meridan {

struct Context;

// GSD files are small; anything far larger is not a device description and
// is refused before it is read into memory.
constexpr qint64 kMaxGsdFileSize = 16 * 1024 * 1024;

// The slave editor's status line (Meldung): every line read and every error
// text goes through it.
using GsdStatus = std::function<void(const QString &)>;

// A value the reader cannot use: ends the read at that line.
struct GsdError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct GsdOutcome {
    enum class Kind {
        Done,     // read to the end of the file
        NotFound, // no such file: tables reset, nothing else read
        Stopped,  // an error ended the read; what was stored so far stays
        NotGsd,   // no "#Profibus_DP" and no Ident_Number: nothing changed
    };
    Kind kind = Kind::Done;
    QString status;  // the last line read, or the error text
    int line = 0;    // physical line at which a stop happened (1-based)
    QString path;    // the file read
    bool ok() const { return kind == Kind::Done; }
};

// Text of one GSD file, decoded: Windows-1252 bytes, or UTF-8 after a BOM.
QString DecodeGsdText(const QByteArray &bytes, bool utf8);

// Reads logical lines from the bytes of a GSD file.
class GsdLineReader {
public:
    explicit GsdLineReader(const QByteArray &bytes);
    // The next logical line (comment removed, "," outside quotes read as a
    // blank, continuations joined); false at the end of the file.
    bool GetLine(QString &line);
    int lineNumber() const { return startLine_; } // physical line the last one began on

private:
    QByteArray bytes_;
    const char *p_ = nullptr;
    const char *end_ = nullptr;
    bool utf8_ = false;
    int physLine_ = 1;
    int startLine_ = 0;
    std::string buf_; // keeps its capacity from line to line
};

// The items of a value, one after the other in a single pass: numbers
// separated by blanks, TABs or ",", decimal or "0x" hexadecimal.
class GsdItems {
public:
    explicit GsdItems(QStringView text) : s_(text) {}
    enum class Item { End, NotNumber, Number };
    // The next item. NotNumber for one that does not start with a digit
    // ("-5", "&", a word); letters in a decimal number, and numbers beyond
    // 32 bits, throw GsdError.
    Item next(qint64 &value);
    // Steps over the next item without reading it; false at the end.
    bool skip();

private:
    QStringView s_;
    qsizetype i_ = 0;
};

// Item n (from 1) of a list separated by blanks, TABs or ",": a decimal or
// "0x" hexadecimal number. A missing item or one that does not start with a
// digit sets `error` and gives 0; letters in a decimal number throw GsdError.
qint64 GetParameterValue(const QString &text, int n, int &error);
// A number at `pos` of a data-type line, after blanks: decimal or "0x" hex,
// with an optional sign, anywhere in the 32-bit signed and unsigned ranges
// (-2147483648 .. 4294967295). A character that starts no number gives 0 and
// stays put; a position past the end of the line, or a number beyond those
// ranges, throws GsdError.
int64_t GetNum(const QString &line, int &pos);

// Item 1 of a value that must be a number within lo..hi; GsdError otherwise.
qint64 GsdNumber(QStringView value, qint64 lo, qint64 hi);

// The line after an ExtUserPrmData line: type word, default, then a range
// "min-max" or a list of values. Values the type cannot hold and a minimum
// above the maximum throw GsdError. `values` counts the list values, also
// those beyond the kept ones; the result is the scan position where reading
// ended (text after it is not read).
int ReadDataTypeLine(const QString &line, GsdExtPrm &p, int *values = nullptr);

// The keywords the reader and the checks know; keys are case-insensitive.
enum class GsdKey {
    VendorName, HardwareRelease, SoftwareRelease, ModelName, IdentNumber, UserPrmDataLen,
    UserPrmData, Module, ModularStation, PrmText, Text, ExtUserPrmData, PrmTextRef,
    ExtModulePrmDataLen, ExtUserPrmDataConst, ExtUserPrmDataRef, GsdRevision,
    // read by the catalogue and the checks only
    Revision, MaxUserPrmDataLen, MaxModule,
};
std::optional<GsdKey> FindGsdKey(QStringView key);

// A logical line of the form key "=" value, split as the reader splits it:
// the key without blanks and without its "(index)", the index text, the
// value with blanks around it removed. Views into `line`.
struct GsdKeyLine {
    QStringView key;
    QStringView index;
    bool hasIndex = false;
    QStringView value;
};
// False for a line without "=" after its first character.
bool SplitGsdLine(const QString &line, GsdKeyLine &out);
// A key index: optional sign, decimal or "0x" hexadecimal, 32 bits signed or
// unsigned. False when it is none.
bool ParseGsdIndex(QStringView text, qint64 &value);
// What lies between the quotes of a quoted value; an unquoted value whole.
QString GsdQuotedText(QStringView value);
// A line that closes a module block.
bool IsEndModuleLine(const QString &line);

// The bytes look like a device description: a "#Profibus_DP" line or an
// Ident_Number line. Anything else (a README, random bytes, text without
// line ends) is refused before the record is touched.
bool LooksLikeGsd(const QByteArray &bytes);

// The folders device files are looked up in: ROOT/GSD, then the folder of
// the configuration file name (set to where the user last chose a file).
QStringList GsdSearchFolders(const Context &ctx);
// A file in ROOT/GSD counts only with more than this many bytes.
constexpr qint64 kMinGsdSize = 10;
// Where the reader finds `fileName`: ROOT/GSD when a file of that name (any
// case) is there with more than 10 bytes, else the folder of the
// configuration file name. Empty when neither has it.
QString FindGsdFile(const Context &ctx, const QString &fileName);

// Reads `fileName` (no folder) as found by FindGsdFile into the tables and
// the record buffer, which must hold a slave record. Every line read and
// every error text goes to `meldung`; errors pause one second on ctx.pump.
// The device's default user parameters, and a compact device's identifier
// bytes, are written only into a record whose ident number is still 0 and
// whose GsdLoaded is clear: reading a stored station's file again leaves its
// bytes as the user set them.
GsdOutcome LoadGSD(Context &ctx, const QString &fileName, const GsdStatus &meldung = {});
// The same for a file whose path is known; `fileName` gives the GSD code.
GsdOutcome LoadGsdFile(Context &ctx, const QString &path, const QString &fileName,
                       const GsdStatus &meldung = {});
// The same for the bytes of a file already in memory.
GsdOutcome LoadGsdBytes(Context &ctx, const QByteArray &bytes, const QString &fileName,
                        const GsdStatus &meldung = {});

// Appends the identifier bytes of a module line (the text after the module
// name's closing quote) to the configuration buffer at `cfgByteCount` and
// rewrites the record's identifier bytes. False when the record was left
// without identifier bytes (too many bytes, or the record would be too long).
// Throws GsdError for an item that is not a byte, RangeError for a damaged
// record; the record is then left without identifier bytes.
bool AddConfig(Context &ctx, const QString &moduleLine, int &cfgByteCount, const GsdStatus &meldung = {});

// The identifier bytes of a module line, as AddConfig takes them.
std::vector<uint8_t> ModuleConfigBytes(const QString &moduleLine);
// The module's name: the text before its closing quote.
QString ModuleName(const QString &moduleLine);

// Resets the tables.
void ClearGsdTables(GsdTables &tables);

} // namespace meridan
