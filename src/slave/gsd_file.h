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
//
// A GsdFile keeps the file's bytes and points into them: a text is decoded
// when a view asks for it (GsdFile::text), and the runs of bytes, references
// and values of all blocks share a few arrays. Most of what a file holds is
// never shown, and a file with hundreds of modules is read without a heap
// block for each of them. A GsdFile can be moved, not copied: its runs point
// into its own arrays.
#include "core/gsd_tables.h"
#include "slave/prm_type.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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

// A text of the file: where its bytes lie and how they read. GsdFile::text
// decodes it.
struct GsdSpan {
    enum class Form : uint8_t {
        Raw,         // as the bytes stand (the inside of a quoted text)
        Line,        // as a line reads: "," outside quoted text is a blank
        AfterQuote,  // the same, begun just after an opening quote
        Quoted,      // between the quotes when it starts with one, else as Line
        TypeWord,    // a data-type word, its blanks left out ("BitArea( 0-3 )")
    };
    uint32_t at = 0;
    uint32_t size = 0;
    Form form = Form::Raw;
    bool joined = false; // in the file's copy of continued lines, not in its bytes
    bool empty() const { return size == 0; }
};

// The head keys that name the device, each time one appears, in file order.
struct GsdIdLine {
    enum class Key { VendorName, ModelName, Revision, HardwareRelease, SoftwareRelease, IdentNumber };
    Key key = Key::VendorName;
    GsdSpan value; // after "=", blanks around it removed
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
    std::span<const uint8_t> prmConst; // constant bytes from offset 0, 0 between them
    std::span<const GsdConstLine> consts;
    std::span<const GsdPrmRef> refs;
};

struct GsdFileModule {
    GsdSpan line;      // the Module value without its opening quote: name, closing quote, identifier bytes
    std::span<const uint8_t> cfg; // its identifier bytes
    QString cfgError;  // why they cannot be used (a value above 255, letters); empty when they can
    int at = 0;        // the Module line
    GsdBlock prm;
};

// An ExtUserPrmData definition and where the file gave it.
struct GsdDefinition {
    GsdSpan name;
    GsdSpan type;            // "Unsigned8", "Bit(2)", "BitArea(0-3)", ...
    FieldType field;         // what the type word means for the bytes
    int width = 1;           // bytes its data type takes
    int64_t defaultValue = 0;
    int64_t min = 0;         // lowest of a range, first of a list
    int64_t max = 0;         // highest of a range, last of a list
    std::span<const int64_t> list; // the values of a list, in file order (at most kMaxListValues)
    int values = 0;          // list values written, also those beyond the kept ones
    GsdSpan rest;            // text after the values, not read
    int textRef = 0;         // Prm_Text_Ref, 0 = none
    int line = 0;            // the ExtUserPrmData line
    int typeLine = 0;        // its data-type line
    int textRefLine = 0;
};

struct GsdTextEntry {
    int64_t value = 0;
    GsdSpan text;
};

struct GsdTextList {
    int line = 0; // the PrmText line
    std::span<const GsdTextEntry> entries;
};

// A diagnosis text with its number: Unit_Diag_Bit(n), Channel_Diag(n),
// Value(n) of an area.
struct GsdDiagText {
    int64_t number = 0;
    GsdSpan text;
};

// Unit_Diag_Area first-last with its Value(n) texts, in file order.
struct GsdFileDiagArea {
    int first = 0;
    int last = 0;
    std::span<const GsdDiagText> values;
};

// The same with its texts decoded; a later Value(n) replaces an earlier one.
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

// Definitions and text lists by their number, in number order; where a file
// defines a number twice, the later one counts.
template <typename T>
class GsdNumbered {
public:
    using value_type = std::pair<int, T>;
    using const_iterator = typename std::vector<value_type>::const_iterator;
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const_iterator find(int n) const
    {
        const auto it = std::lower_bound(items_.begin(), items_.end(), n, [](const value_type &v, int k) { return v.first < k; });
        return it != items_.end() && it->first == n ? it : items_.end();
    }
    const T *get(int n) const
    {
        const auto it = find(n);
        return it == items_.end() ? nullptr : &it->second;
    }

private:
    friend class GsdParser;
    std::vector<value_type> items_;
};

// The baud rates a device file may name, slowest first, as its keys write
// them ("1.5M_supp", "MaxTsdr_1.5M").
constexpr std::array<std::string_view, 12> kGsdRates = {"9.6", "19.2", "31.25", "38.4", "45.45", "93.75",
                                                        "187.5", "500", "1.5M", "3M", "6M", "12M"};

// A value for each rate, all "not stated".
template <typename T>
constexpr std::array<T, kGsdRates.size()> GsdRatesUnstated()
{
    std::array<T, kGsdRates.size()> a{};
    a.fill(T(-1));
    return a;
}

class GsdFile {
public:
    GsdFile() = default;
    GsdFile(GsdFile &&) = default;
    GsdFile &operator=(GsdFile &&) = default;
    GsdFile(const GsdFile &) = delete;
    GsdFile &operator=(const GsdFile &) = delete;

    bool utf8 = false; // the text came with a UTF-8 byte-order mark
    std::vector<GsdIdLine> idLines;
    GsdSpan vendor, model, revision, hardwareRelease, softwareRelease; // the last of each, between its quotes
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
    GsdNumbered<GsdDefinition> definitions;
    GsdNumbered<GsdTextList> textLists;
    // What the bus check reads: the rates the device takes and how late it
    // answers, by the index of the rate in kGsdRates.
    std::array<int8_t, kGsdRates.size()> supported = GsdRatesUnstated<int8_t>(); // <rate>_supp: 1 yes, 0 no, -1 not stated
    std::array<int32_t, kGsdRates.size()> maxTsdr = GsdRatesUnstated<int32_t>(); // MaxTsdr_<rate>; -1 when not stated
    int minSlaveInterval = 0;          // Min_Slave_Intervall, 100 us units; 0 = not stated
    // Diagnosis texts, in file order: a later text for the same number
    // replaces an earlier one. Unit_Diag_Bit(n): bit n of the device-related
    // diagnosis, bit 0 being bit 0 of the first byte after the block header.
    std::vector<GsdDiagText> unitDiagBits;
    std::vector<GsdFileDiagArea> unitDiagAreas;
    std::vector<GsdDiagText> channelDiag; // Channel_Diag(n): error types 16..31
    std::vector<GsdRemark> remarks;
    GsdSpan lastLine;     // the last logical line read
    GsdSpan revisionLine; // the GSD_Revision line
    int lines = 0;        // physical lines

    // A text of this file, decoded: Windows-1252, or UTF-8 after a BOM.
    QString text(const GsdSpan &span) const;
    // The bytes of a text as they stand.
    std::string_view bytes(const GsdSpan &span) const;
    // A module's name: the text of its line before the closing quote.
    QString moduleName(const GsdFileModule &m) const;
    // The texts of an area with their numbers, a later one replacing an
    // earlier one of the same number.
    GsdDiagArea diagArea(const GsdFileDiagArea &area) const;

private:
    friend class GsdParser;
    QByteArray source_;           // the file's bytes, shared with the caller's
    std::string joined_;          // continued lines, put together
    // What the runs above point into.
    std::vector<uint8_t> bytes_;  // identifier bytes, constants
    std::vector<GsdConstLine> constLines_;
    std::vector<GsdPrmRef> refs_;
    std::vector<int64_t> values_;
    std::vector<GsdTextEntry> entries_;
    std::vector<GsdDiagText> diagValues_;
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

// What lies between the quotes of a quoted value; an unquoted value whole.
QString GsdQuotedText(QStringView value);

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
