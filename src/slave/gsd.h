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
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace meridan {

struct Context;

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

// Item n (from 1) of a list separated by blanks, TABs or ",": a decimal or
// "0x" hexadecimal number. A missing item or one that does not start with a
// digit sets `error` and gives 0; letters in a decimal number throw GsdError.
qint64 GetParameterValue(const QString &text, int n, int &error);
// A number at `pos` of a data-type line, after blanks: decimal or "0x" hex,
// with an optional sign. A character that starts no number gives 0 and stays
// put; a position past the end of the line throws GsdError.
int32_t GetNum(const QString &line, int &pos);

// Where the reader finds `fileName`: ROOT/GSD when a file of that name (any
// case) is there with more than 10 bytes, else the folder of the
// configuration file name. Empty when neither has it.
QString FindGsdFile(const Context &ctx, const QString &fileName);

// Reads `fileName` (no folder) as found by FindGsdFile into the tables and
// the record buffer, which must hold a slave record. Every line read and
// every error text goes to `meldung`; errors pause one second on ctx.pump.
// The device's default user parameters are written only into a record whose
// ident number is still 0 and whose GsdLoaded is clear.
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
