// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A GSD device description as one value. ParseGsd reads the bytes of a file
// in one pass into a GsdFile, or stops at the first line it cannot read and
// says which line and why. Whatever reads device files (the slave editor's
// tables, the device view of the bus check and the diagnosis explainer, the
// catalogue, the compatibility check, the printout) reads this value.
//
// GSD files are Windows-1252 text (a UTF-8 file announces itself with a
// byte-order mark); line ends may be CR LF, CR or LF; ";" starts a comment
// outside quoted text; "\" continues a logical line on the next physical one;
// "," outside quoted text separates like a blank. Keywords are
// case-insensitive.
#include "core/gsd_tables.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace meridan {

// GSD files are small; anything far larger is not a device description and
// is refused before it is read into memory.
constexpr qint64 kMaxGsdFileSize = 16 * 1024 * 1024;

// A value that cannot be read: ends the read at its line.
struct GsdError : std::runtime_error {
    explicit GsdError(const std::string &what, bool beyond = false) : std::runtime_error(what), beyond32(beyond) {}
    bool beyond32 = false; // a number beyond 32 bits, which stops a read wherever it stands
};

// The head keys that name the device, each time one appears, in file order.
struct GsdIdLine {
    enum class Key { VendorName, ModelName, Revision, HardwareRelease, SoftwareRelease, IdentNumber };
    Key key = Key::VendorName;
    QString value; // after "=", blanks around it removed
    int line = 0;
};

// Ext_User_Prm_Data_Const(from) with bytes up to `to` (not included).
struct GsdConstLine {
    int from = 0;
    int to = 0;
    int line = 0;
};

// A parameter block: the device's own (the lines outside module blocks) or a
// module's.
struct GsdBlock {
    int declaredLen = -1; // User_Prm_Data_Len or Ext_Module_Prm_Data_Len; -1 when not given
    int declaredLine = 0;
    // The declared length, raised to cover every constant byte and every
    // field referred to: the extended description lays the bytes out.
    int prmLen = 0;
    std::vector<uint8_t> prmConst; // constant bytes from offset 0, 0 between them
    std::vector<GsdConstLine> consts;
    std::vector<GsdPrmRef> refs;
};

struct GsdFileModule {
    QString line;      // the Module value without its opening quote: name, closing quote, identifier bytes
    std::vector<uint8_t> cfg; // its identifier bytes
    QString cfgError;  // why they cannot be used (a value above 255, letters); empty when they can
    int at = 0;        // the Module line
    GsdBlock prm;
    QString name() const; // the text before the closing quote
};

// An ExtUserPrmData definition and where the file gave it.
struct GsdDefinition : GsdExtPrm {
    int width = 1;     // bytes its data type takes
    int line = 0;      // the ExtUserPrmData line
    int typeLine = 0;  // its data-type line
    int values = 0;    // list values written, also those beyond the kept ones
    QString rest;      // text after the values, not read
    int textRefLine = 0;
};

struct GsdTextList {
    int line = 0; // the PrmText line
    std::vector<GsdText> entries;
};

// Unit_Diag_Area first-last with its Value(n) texts.
struct GsdDiagArea {
    int first = 0;
    int last = 0;
    std::map<int64_t, QString> values;
};

// What the read noticed without stopping: lines it does not understand,
// numbers defined twice, values it passes over.
struct GsdRemark {
    enum class Level { Warning, Note };
    Level level = Level::Note;
    int line = 0;
    QString text;
};

struct GsdFile {
    bool utf8 = false; // the text came with a UTF-8 byte-order mark
    std::vector<GsdIdLine> idLines;
    QString vendor, model, revision, hardwareRelease, softwareRelease; // the last of each
    int ident = -1;    // Ident_Number; -1 when the file has none
    int identLine = 0;
    int modular = 0;   // Modular_Station
    qint64 maxModule = -1;          // Max_Module; -1 when not given
    int maxModuleLine = 0;
    qint64 maxUserPrmDataLen = -1;  // Max_User_Prm_Data_Len; -1 when not given
    int maxUserPrmDataLenLine = 0;
    bool hasUserPrmData = false;
    std::vector<uint8_t> userPrmData; // User_Prm_Data of the device
    GsdBlock device;
    std::vector<GsdFileModule> modules;   // modules[m - 1] is module m
    std::map<int, GsdDefinition> definitions;
    std::map<int, GsdTextList> textLists;
    // What the bus check reads: the rates the device takes and how late it answers.
    std::map<QString, bool> supported; // "1.5M" -> 1.5M_supp = 1
    std::map<QString, int> maxTsdr;    // "1.5M" -> MaxTsdr_1.5M
    int minSlaveInterval = 0;          // Min_Slave_Intervall, 100 us units; 0 = not stated
    // Diagnosis texts. Unit_Diag_Bit(n): bit n of the device-related
    // diagnosis, bit 0 being bit 0 of the first byte after the block header.
    std::map<int, QString> unitDiagBits;
    std::vector<GsdDiagArea> unitDiagAreas;
    std::map<int, QString> channelDiag; // Channel_Diag(n): error types 16..31
    std::vector<GsdRemark> remarks;
    QString lastLine;     // the last logical line read
    QString revisionLine; // the GSD_Revision line
    int lines = 0;        // physical lines
};

struct GsdParseError {
    enum class Kind {
        NotGsd, // no "#Profibus_DP" line and no Ident_Number: nothing was read
        Fault,  // a line that cannot be read, or a file that ends too early
        Limit,  // a PrmText or ExtUserPrmData number beyond 65535
    };
    Kind kind = Kind::Fault;
    int line = 0;
    QString reason;
};

struct GsdParse {
    GsdFile file; // what was read: everything, or what came before the error's line
    std::optional<GsdParseError> error;
    bool ok() const { return !error; }
};

GsdParse ParseGsd(const QByteArray &bytes);

// The bytes of a device file; nullopt when it cannot be read or is larger
// than any device description.
std::optional<QByteArray> ReadGsdBytes(const QString &path);

// The bytes look like a device description: a "#Profibus_DP" line or an
// Ident_Number line. Anything else (a README, random bytes, text without
// line ends) is no GSD file.
bool LooksLikeGsd(const QByteArray &bytes);

// Logical lines of a GSD file: comments removed, "," outside quotes read as
// a blank, continuations joined by one blank.
class GsdLineReader {
public:
    explicit GsdLineReader(const QByteArray &bytes);
    // The next line as bytes, valid until the next call; false at the end.
    bool next(std::string_view &line);
    // The same, decoded.
    bool GetLine(QString &line);
    int lineNumber() const { return startLine_; } // physical line the last one began on
    int physicalLines() const { return physLine_; }
    // The last line read, valid until the next call.
    std::string_view current() const { return current_; }
    bool utf8() const { return utf8_; }
    // The last line ended with the file, inside a continuation or a quoted text.
    bool endedInside() const { return endedInside_; }

private:
    QByteArray bytes_;
    const char *p_ = nullptr;
    const char *end_ = nullptr;
    bool utf8_ = false;
    bool endedInside_ = false;
    int physLine_ = 1;
    int startLine_ = 0;
    std::string_view current_;
    std::string buf_; // a continued line, put together; keeps its capacity
    void endLine();
    std::string_view joined(const char *start, bool inQuote);
};

// A line's text as it reads: decoded, "," outside quoted text as a blank.
QString GsdLineText(std::string_view bytes, bool utf8);

// What lies between the quotes of a quoted value; an unquoted value whole.
QString GsdQuotedText(QStringView value);

// Text of a GSD file, decoded: Windows-1252 bytes, or UTF-8 after a BOM.
QString DecodeGsdText(std::string_view bytes, bool utf8);

// The items of a value, one after the other in a single pass: numbers
// separated by blanks, TABs or ",", decimal or "0x" hexadecimal.
class GsdItems {
public:
    explicit GsdItems(std::string_view text) : s_(text) {}
    enum class Item { End, NotNumber, Number };
    // The next item. NotNumber for one that does not start with a digit
    // ("-5", "&", a word); letters in a decimal number, and numbers beyond
    // 32 bits, throw GsdError.
    Item next(qint64 &value);
    // Steps over the next item without reading it; false at the end.
    bool skip();

private:
    std::string_view s_;
    std::size_t i_ = 0;
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

// The identifier bytes of a module line (the text after the module name's
// closing quote): items up to the first that is not a number. Throws
// GsdError for letters in a number, a byte above 255 or a number beyond 32
// bits.
std::vector<uint8_t> ModuleConfigBytes(const QString &moduleLine);
// The module's name: the text before its closing quote.
QString ModuleName(const QString &moduleLine);

} // namespace meridan
