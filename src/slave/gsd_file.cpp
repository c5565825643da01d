// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_file.h"

#include "core/readfile.h"
#include "core/slave_work.h"
#include "slave/prm_type.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace meridan {

namespace {

constexpr qint64 kMin32 = INT32_MIN; // the 32-bit signed and unsigned ranges together
constexpr qint64 kMax32 = UINT32_MAX;
constexpr int kMaxBlockLen = kMaxUserPrm;     // parameter bytes a block can have
constexpr int kMaxGsdNumberInFile = 65535;    // PrmText and ExtUserPrmData numbers are 16 bits

// Windows-1252 differs from Latin-1 in 0x80..0x9F; undefined codes stay as
// their Latin-1 control characters.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsBlank(char c) { return uint8_t(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return uint8_t(c) <= 32 || c == ','; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    if (a == b) // files mostly write keywords as they are defined
        return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool StartsNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && SameNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && SameNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Blanks, and "," which separates like a blank outside quoted text.
std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSeparator(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSeparator(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class Num { Ok, NotNumber, Beyond };

// A whole text as a number: decimal, or hexadecimal after "0x"; at most 32 bits.
Num WholeNumber(std::string_view s, qint64 &v)
{
    v = 0;
    if (s.empty())
        return Num::NotNumber;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (std::size_t k = 2; k < s.size(); ++k) {
            const int d = Hex(s[k]);
            if (d < 0)
                return Num::NotNumber;
            v = v * 16 + d;
            if (v > kMax32)
                return Num::Beyond;
        }
        return Num::Ok;
    }
    for (const char c : s) {
        if (!IsDigit(c))
            return Num::NotNumber;
        v = v * 10 + (c - '0');
        if (v > kMax32)
            return Num::Beyond;
    }
    return Num::Ok;
}

[[noreturn]] void Beyond32() { throw GsdError("number beyond 32 bits", true); }

// A key index: optional sign, then a number, in the 32-bit ranges.
Num IndexNumber(std::string_view s, qint64 &value)
{
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    qint64 v = 0;
    const Num n = WholeNumber(s, v);
    if (n != Num::Ok)
        return n;
    if (negative && -v < kMin32)
        return Num::Beyond;
    value = negative ? -v : v;
    return Num::Ok;
}

QString DecodeBytes(const char *data, qsizetype size, bool utf8)
{
    if (utf8)
        return QString::fromUtf8(data, size);
    // Texts are mostly ASCII: the bytes 0x80..0x9F that differ from Latin-1
    // are looked for only when a byte above 0x7F is there.
    uint8_t any = 0;
    for (qsizetype i = 0; i < size; ++i)
        any |= uint8_t(data[i]);
    bool latin1 = any < 0x80;
    if (!latin1) {
        latin1 = true;
        for (qsizetype i = 0; i < size && latin1; ++i)
            latin1 = uint8_t(data[i]) < 0x80 || uint8_t(data[i]) > 0x9F;
    }
    if (latin1)
        return QString::fromLatin1(data, size);
    QString s(size, Qt::Uninitialized);
    QChar *out = s.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = uint8_t(data[i]);
        *out++ = QChar(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return s;
}

// What ends or cuts a line, or changes what does.
struct LineMarks {
    bool is[256] = {};
    constexpr LineMarks()
    {
        for (const unsigned char c : {'\r', '\n', '"', ';', '\\'})
            is[c] = true;
    }
};
constexpr LineMarks kLineMark;

// The first byte from `q` on that ends or cuts a line, or changes what does;
// `end` when there is none. Sixteen bytes at a time where the processor can.
const char *NextMark(const char *q, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), quote = _mm_set1_epi8('"');
    const __m128i semicolon = _mm_set1_epi8(';'), backslash = _mm_set1_epi8('\\');
    while (end - q >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, quote),
                                                      _mm_or_si128(_mm_cmpeq_epi8(v, semicolon), _mm_cmpeq_epi8(v, backslash))));
        if (const int bits = _mm_movemask_epi8(hit))
            return q + __builtin_ctz(unsigned(bits));
        q += 16;
    }
#endif
    while (q < end && !kLineMark.is[uint8_t(*q)])
        ++q;
    return q;
}

// The line end (CR or LF) from `q` on, or `end`.
const char *LineEnd(const char *q, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (end - q >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
        if (const int bits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))))
            return q + __builtin_ctz(unsigned(bits));
        q += 16;
    }
#endif
    while (q < end && *q != '\r' && *q != '\n')
        ++q;
    return q;
}

// The physical line at `p` starts with `word`, in any case.
bool LineStartsWith(const char *p, const char *end, std::string_view word)
{
    return end - p >= qsizetype(word.size()) && SameNoCase(std::string_view(p, word.size()), word);
}

} // namespace

QString DecodeGsdText(std::string_view bytes, bool utf8)
{
    return DecodeBytes(bytes.data(), qsizetype(bytes.size()), utf8);
}

GsdLineReader::GsdLineReader(const QByteArray &bytes) : bytes_(bytes)
{
    p_ = bytes_.constData();
    end_ = p_ + bytes_.size();
    if (bytes_.startsWith("\xEF\xBB\xBF")) {
        utf8_ = true;
        p_ += 3;
    }
}

bool GsdLineReader::next(std::string_view &line)
{
    if (p_ >= end_)
        return false;
    startLine_ = physLine_;
    endedInside_ = false;
    // Most lines are taken as they stand in the file, cut at a comment; only
    // a continued line is copied together.
    const char *start = p_;
    const char *q = p_;
    const char *const end = end_;
    bool inQuote = false;
    for (;;) {
        q = NextMark(q, end);
        if (q >= end) {
            p_ = q;
            endedInside_ = inQuote;
            line = current_ = std::string_view(start, std::size_t(q - start));
            return true;
        }
        const char ch = *q;
        if (ch == '"' || (ch == ';' && inQuote)) {
            inQuote = ch == '"' ? !inQuote : inQuote;
            ++q;
            continue;
        }
        if (ch == '\\') {
            p_ = q;
            line = current_ = joined(start, inQuote);
            return true;
        }
        const std::string_view text(start, std::size_t(q - start));
        // A comment runs to the line end; a "\" in it continues nothing.
        if (ch == ';')
            q = LineEnd(q, end);
        // CR LF, CR and LF each end a line.
        if (q < end) {
            q += *q == '\r' && q + 1 < end && q[1] == '\n' ? 2 : 1;
            ++physLine_;
        }
        p_ = q;
        line = current_ = text;
        return true;
    }
}

void GsdLineReader::endLine()
{
    // CR LF, CR and LF each end a line.
    if (p_ >= end_)
        return;
    if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n')
        ++p_;
    ++p_;
    ++physLine_;
}

std::string_view GsdLineReader::joined(const char *start, bool inQuote)
{
    buf_.assign(start, std::size_t(p_ - start));
    while (p_ < end_) {
        const char *run = p_;
        p_ = NextMark(p_, end_);
        buf_.append(run, std::size_t(p_ - run));
        if (p_ >= end_)
            break;
        const char ch = *p_;
        if (ch == '\r' || ch == '\n') {
            endLine();
            current_ = buf_;
            return current_;
        }
        ++p_;
        if (ch == '"') {
            inQuote = !inQuote;
            buf_.push_back(ch);
        } else if (ch == ';' && !inQuote) {
            while (p_ < end_ && *p_ != '\r' && *p_ != '\n')
                ++p_;
        } else if (ch == '\\') {
            // Continuation: the rest of this physical line is skipped, then
            // line ends and indentation; the joint reads as one blank.
            while (p_ < end_ && *p_ != '\r' && *p_ != '\n')
                ++p_;
            while (p_ < end_ && (*p_ == '\r' || *p_ == '\n' || *p_ == ' ' || *p_ == '\t')) {
                if (*p_ == '\n' || (*p_ == '\r' && (p_ + 1 >= end_ || p_[1] != '\n')))
                    ++physLine_;
                ++p_;
            }
            if (p_ >= end_)
                endedInside_ = true; // the line was to go on
            // (a "," before the mark already reads as that blank)
            if (!buf_.empty() && buf_.back() != ' ' && (buf_.back() != ',' || inQuote))
                buf_.push_back(' ');
        } else {
            buf_.push_back(ch);
        }
    }
    if (inQuote)
        endedInside_ = true;
    current_ = buf_;
    return current_;
}

bool GsdLineReader::GetLine(QString &line)
{
    std::string_view bytes;
    if (!next(bytes))
        return false;
    line = GsdLineText(bytes, utf8_);
    return true;
}

QString GsdLineText(std::string_view bytes, bool utf8)
{
    if (utf8 || std::find(bytes.begin(), bytes.end(), ',') == bytes.end()) {
        if (!utf8)
            return DecodeGsdText(bytes, false);
        std::string text(bytes);
        bool inQuote = false;
        for (char &c : text) {
            if (c == '"')
                inQuote = !inQuote;
            else if (c == ',' && !inQuote)
                c = ' ';
        }
        return DecodeGsdText(text, true);
    }
    // Windows-1252 in one pass; outside quoted text a "," separates like a blank.
    QString s(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *out = s.data();
    bool inQuote = false;
    for (const char c : bytes) {
        const auto b = uint8_t(c);
        if (c == '"')
            inQuote = !inQuote;
        *out++ = c == ',' && !inQuote ? QLatin1Char(' ') : QChar(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return s;
}

GsdItems::Item GsdItems::next(qint64 &value)
{
    const std::size_t len = s_.size();
    while (i_ < len && IsSeparator(s_[i_]))
        ++i_;
    if (i_ >= len)
        return Item::End;
    const std::size_t start = i_;
    std::size_t j = i_;
    while (j < len && (Hex(s_[j]) >= 0 || s_[j] == 'x' || s_[j] == 'X'))
        ++j;
    // The item ends at the next separator; only its leading run is a number.
    i_ = j;
    while (i_ < len && !IsSeparator(s_[i_]))
        ++i_;
    if (j == start)
        return Item::NotNumber;
    switch (WholeNumber(s_.substr(start, j - start), value)) {
    case Num::Ok:
        return Item::Number;
    case Num::Beyond:
        Beyond32();
    case Num::NotNumber:
        break;
    }
    throw GsdError("not a number");
}

bool GsdItems::skip()
{
    const std::size_t len = s_.size();
    while (i_ < len && IsSeparator(s_[i_]))
        ++i_;
    if (i_ >= len)
        return false;
    while (i_ < len && !IsSeparator(s_[i_]))
        ++i_;
    return true;
}

qint64 GetParameterValue(const QString &text, int n, int &error)
{
    const QByteArray bytes = text.toLatin1();
    GsdItems items(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    for (int k = 1; k < n; ++k) {
        if (!items.skip())
            break;
    }
    qint64 v = 0;
    if (n < 1 || items.next(v) != GsdItems::Item::Number) {
        error = 1;
        return 0;
    }
    return v;
}

namespace {

// GetNum on bytes.
int64_t NumberAt(std::string_view line, std::size_t &pos)
{
    const std::size_t n = line.size();
    while (pos < n && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == ','))
        ++pos;
    if (pos >= n)
        throw GsdError("the data type line ends early");
    std::size_t i = pos;
    bool negative = false;
    if (line[i] == '-' && i + 1 < n && IsDigit(line[i + 1])) {
        negative = true;
        ++i;
    }
    if (i >= n || !IsDigit(line[i]))
        return 0;
    qint64 v = 0;
    const auto grow = [&v](int base, int digit) {
        v = v * base + digit;
        if (v > kMax32)
            Beyond32();
    };
    if (line[i] == '0' && i + 2 < n && (line[i + 1] == 'x' || line[i + 1] == 'X') && Hex(line[i + 2]) >= 0) {
        for (i += 2; i < n && Hex(line[i]) >= 0; ++i)
            grow(16, Hex(line[i]));
    } else {
        for (; i < n && IsDigit(line[i]); ++i)
            grow(10, line[i] - '0');
    }
    if (negative && -v < kMin32)
        Beyond32();
    pos = i;
    return negative ? -v : v;
}

} // namespace

int64_t GetNum(const QString &line, int &pos)
{
    const QByteArray bytes = line.toLatin1();
    std::size_t p = std::size_t(std::max(pos, 0));
    const int64_t v = NumberAt(std::string_view(bytes.constData(), std::size_t(bytes.size())), p);
    pos = int(p);
    return v;
}

namespace {

struct CfgBytes {
    std::vector<uint8_t> bytes;
    QString error;
};

// The identifier bytes after a module name's closing quote. Numbers beyond
// 32 bits throw; other faults are kept with the module, which then cannot
// be chosen.
CfgBytes ModuleCfg(std::string_view line)
{
    CfgBytes out;
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    const std::size_t quote = line.find('"', i);
    GsdItems items(quote == std::string_view::npos ? line.substr(i) : line.substr(quote + 1));
    qint64 v = 0;
    out.bytes.reserve(8); // most modules bring a few bytes
    try {
        while (items.next(v) == GsdItems::Item::Number) {
            if (v > 255) {
                out.error = QStringLiteral("an identifier byte is above 255");
                break;
            }
            out.bytes.push_back(uint8_t(v));
        }
    } catch (const GsdError &e) {
        if (e.beyond32)
            throw;
        out.error = QString::fromLatin1(e.what());
    }
    if (!out.error.isEmpty())
        out.bytes.clear();
    return out;
}

} // namespace

std::vector<uint8_t> ModuleConfigBytes(const QString &moduleLine)
{
    const QByteArray bytes = moduleLine.toLatin1();
    const CfgBytes cfg = ModuleCfg(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!cfg.error.isEmpty())
        throw GsdError(cfg.error.toStdString());
    return cfg.bytes;
}

QString GsdQuotedText(QStringView value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value.toString();
    const auto close = value.indexOf(QLatin1Char('"'), 1);
    return (close < 0 ? value.mid(1) : value.mid(1, close - 1)).toString();
}

QString GsdFileModule::name() const
{
    return ModuleName(line);
}

QString ModuleName(const QString &moduleLine)
{
    const int quote = moduleLine.indexOf(QLatin1Char('"'));
    return (quote < 0 ? moduleLine : moduleLine.left(quote)).trimmed();
}

bool LooksLikeGsd(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        p += 3;
    const std::string_view head("#Profibus_DP");
    const std::string_view ident("Ident_Number");
    const auto blanks = [end](const char *q) {
        while (q < end && (*q == ' ' || *q == '\t'))
            ++q;
        return q;
    };
    while (p < end) {
        p = blanks(p);
        if (LineStartsWith(p, end, head)) {
            // The head line holds nothing else (a comment may follow).
            const char *q = blanks(p + head.size());
            if (q >= end || *q == '\r' || *q == '\n' || *q == ';')
                return true;
        } else if (LineStartsWith(p, end, ident)) {
            const char *q = blanks(p + ident.size());
            if (q < end && *q == '=')
                return true;
        }
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        ++p;
    }
    return false;
}

std::optional<QByteArray> ReadGsdBytes(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxGsdFileSize + 1);
    if (!bytes || bytes->size() > kMaxGsdFileSize)
        return std::nullopt;
    return bytes;
}

namespace {

enum class Kw {
    None, VendorName, ModelName, Revision, HardwareRelease, SoftwareRelease, IdentNumber, GsdRevision,
    UserPrmDataLen, UserPrmData, MaxUserPrmDataLen, MaxModule, ModularStation, Module, ExtModulePrmDataLen,
    ExtUserPrmDataConst, ExtUserPrmDataRef, PrmText, Text, ExtUserPrmData, PrmTextRef, MinSlaveIntervall,
    UnitDiagBit, ChannelDiag, UnitDiagArea, Value,
};

struct Keyword {
    std::string_view name;
    Kw kw;
};

Kw FindKeyword(std::string_view key)
{
    // Most lines of a file carry keys of other lengths: they are rejected
    // without a compare.
    const auto is = [key](std::string_view name, Kw kw) { return SameNoCase(key, name) ? kw : Kw::None; };
    switch (key.size()) {
    case 4:
        return is("Text", Kw::Text);
    case 5:
        return is("Value", Kw::Value);
    case 6:
        return is("Module", Kw::Module);
    case 7:
        return is("PrmText", Kw::PrmText);
    case 8:
        return is("Revision", Kw::Revision);
    case 10: {
        const Kw k = is("Model_Name", Kw::ModelName);
        return k != Kw::None ? k : is("Max_Module", Kw::MaxModule);
    }
    case 11:
        return is("Vendor_Name", Kw::VendorName);
    case 12: {
        for (const Keyword &w : {Keyword{"Ident_Number", Kw::IdentNumber}, Keyword{"GSD_Revision", Kw::GsdRevision},
                                 Keyword{"Prm_Text_Ref", Kw::PrmTextRef}, Keyword{"Channel_Diag", Kw::ChannelDiag}})
            if (SameNoCase(key, w.name))
                return w.kw;
        return Kw::None;
    }
    case 13: {
        const Kw k = is("User_Prm_Data", Kw::UserPrmData);
        return k != Kw::None ? k : is("Unit_Diag_Bit", Kw::UnitDiagBit);
    }
    case 14: {
        const Kw k = is("ExtUserPrmData", Kw::ExtUserPrmData);
        return k != Kw::None ? k : is("Unit_Diag_Area", Kw::UnitDiagArea);
    }
    case 15:
        return is("Modular_Station", Kw::ModularStation);
    case 16: {
        const Kw k = is("Hardware_Release", Kw::HardwareRelease);
        return k != Kw::None ? k : is("Software_Release", Kw::SoftwareRelease);
    }
    case 17:
        return is("User_Prm_Data_Len", Kw::UserPrmDataLen);
    case 19:
        return is("Min_Slave_Intervall", Kw::MinSlaveIntervall);
    case 21: {
        const Kw k = is("Max_User_Prm_Data_Len", Kw::MaxUserPrmDataLen);
        return k != Kw::None ? k : is("Ext_User_Prm_Data_Ref", Kw::ExtUserPrmDataRef);
    }
    case 23: {
        const Kw k = is("Ext_Module_Prm_Data_Len", Kw::ExtModulePrmDataLen);
        return k != Kw::None ? k : is("Ext_User_Prm_Data_Const", Kw::ExtUserPrmDataConst);
    }
    default:
        return Kw::None;
    }
}

// GSD key suffixes of every rate a device file may name, slowest first.
constexpr std::string_view kRateKeys[] = {"9.6", "19.2", "31.25", "38.4", "45.45", "93.75", "187.5", "500", "1.5M", "3M", "6M", "12M"};

// "1.5M_supp" -> "1.5M" when `suffix` is "_supp".
std::optional<QString> RateOfKey(std::string_view key, std::string_view prefix, std::string_view suffix)
{
    if (key.size() <= prefix.size() + suffix.size() || !StartsNoCase(key, prefix) || !EndsNoCase(key, suffix))
        return std::nullopt;
    const std::string_view rate = key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
    for (const std::string_view k : kRateKeys)
        if (SameNoCase(rate, k))
            return QString::fromLatin1(k.data(), qsizetype(k.size()));
    return std::nullopt;
}

bool IsPlainKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key) {
        if (!(IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '_' || c == '.'))
            return false;
    }
    return true;
}

bool IsNumberList(std::string_view text)
{
    GsdItems items(text);
    qint64 v = 0;
    try {
        GsdItems::Item it;
        while ((it = items.next(v)) == GsdItems::Item::Number) {
        }
        return it == GsdItems::Item::End;
    } catch (const GsdError &) {
        return false;
    }
}

QString Quoted(const QString &text)
{
    constexpr int kShown = 40;
    const QString t = text.trimmed();
    return QLatin1Char('"') + (t.size() > kShown ? t.left(kShown) + QStringLiteral("...") : t) + QLatin1Char('"');
}

// A logical line of the form key "=" value: the key without blanks and
// without its "(index)", the index text, the value with blanks around it
// removed.
struct KeyLine {
    std::string_view key, index, value;
    bool hasIndex = false;
    Num indexRead = Num::NotNumber; // the index as a number
    qint64 indexValue = 0;
};

std::size_t Find(std::string_view s, char c)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i want = _mm_set1_epi8(c);
    for (; i + 16 <= s.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.data() + i));
        if (const int bits = _mm_movemask_epi8(_mm_cmpeq_epi8(v, want)))
            return i + std::size_t(__builtin_ctz(unsigned(bits)));
    }
#endif
    for (; i < s.size(); ++i)
        if (s[i] == c)
            return i;
    return std::string_view::npos;
}

bool SplitLine(std::string_view line, KeyLine &out)
{
    const std::size_t eq = Find(line, '=');
    if (eq == std::string_view::npos || eq < 1)
        return false;
    std::string_view key = Trim(line.substr(0, eq));
    out.hasIndex = false;
    out.index = {};
    const std::size_t open = Find(key, '(');
    if (open != std::string_view::npos && open > 0) {
        const std::size_t close = key.find(')', open);
        out.index = Trim(close == std::string_view::npos ? key.substr(open + 1) : key.substr(open + 1, close - open - 1));
        out.hasIndex = true;
        key = Trim(key.substr(0, open));
    }
    out.key = key;
    out.value = Trim(line.substr(eq + 1));
    return true;
}

// Item 1 of a value that must be a number within lo..hi.
qint64 NumberIn(std::string_view value, qint64 lo, qint64 hi)
{
    qint64 v = 0;
    if (GsdItems(value).next(v) != GsdItems::Item::Number)
        throw GsdError("not a number");
    if (v < lo || v > hi)
        throw GsdError(QStringLiteral("value %1 out of range %2..%3").arg(v).arg(lo).arg(hi).toStdString());
    return v;
}

// Item 1 of a value the editor does not need: nothing when it is no number,
// but a number beyond 32 bits stops the read as anywhere else.
std::optional<qint64> LooseNumber(std::string_view value)
{
    qint64 v = 0;
    try {
        if (GsdItems(value).next(v) == GsdItems::Item::Number)
            return v;
    } catch (const GsdError &e) {
        if (e.beyond32)
            throw;
    }
    return std::nullopt;
}

// What lies between the quotes of a quoted value; an unquoted value whole.
std::string_view QuotedText(std::string_view value)
{
    if (value.empty() || value[0] != '"')
        return value;
    const std::size_t close = value.find('"', 1);
    return close == std::string_view::npos ? value.substr(1) : value.substr(1, close - 1);
}

// The line after an ExtUserPrmData line: type word, default, then a range
// "min-max" or a list of values. Values the type cannot hold and a minimum
// above the maximum throw.
// Texts a file repeats (type words, the texts of lists) are kept once and
// shared.
class Interned {
public:
    explicit Interned(const QByteArray &source) : from_(source.constData()), to_(source.constData() + source.size()) {}
    template <typename Make>
    QString get(std::string_view key, const Make &make)
    {
        // Only views into the file's own bytes stay valid as keys.
        if (key.data() < from_ || key.data() + key.size() > to_)
            return make();
        const auto it = seen_.find(key);
        if (it != seen_.end())
            return it->second;
        return seen_.emplace(key, make()).first->second;
    }

private:
    const char *from_;
    const char *to_;
    std::unordered_map<std::string_view, QString> seen_;
};

void DataTypeLine(std::string_view line, GsdDefinition &p, Interned &types)
{
    if (line.find('=') != std::string_view::npos)
        throw GsdError("the data type line is missing");
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (pos < n && !IsSeparator(line[pos]))
        ++pos;
    // "BitArea( 0-3 )": the parentheses belong to the type word.
    const std::size_t open = line.find('(');
    if (open != std::string_view::npos && open < pos) {
        const std::size_t close = line.find(')', open);
        if (close != std::string_view::npos && close > pos)
            pos = close + 1;
    }
    if (pos >= n)
        throw GsdError("the data type line ends early");
    std::string type;
    for (const char c : line.substr(0, pos))
        if (c != ' ')
            type.push_back(c);
    p.type = types.get(line.substr(0, pos), [&type] { return QString::fromLatin1(type.data(), qsizetype(type.size())); });

    // What the field can hold; a type the editor cannot place is held to 32 bits.
    const FieldType f = ParseFieldType(std::string_view(type));
    p.width = f.width;
    const bool known = f.kind != FieldType::Kind::Other && (f.kind != FieldType::Kind::BitArea || f.writable);
    const qint64 lo = known ? f.lowest : kMin32;
    const qint64 hi = known ? f.highest : kMax32;
    const auto checked = [&](int64_t v) {
        if (v < lo || v > hi)
            throw GsdError(QStringLiteral("value %1 outside %2 (%3..%4)").arg(v).arg(p.type).arg(lo).arg(hi).toStdString());
        return v;
    };

    p.defaultValue = checked(NumberAt(line, pos));
    p.min = checked(NumberAt(line, pos));
    p.list.clear();
    p.values = 0;
    if (pos < n && line[pos] == '-') {
        ++pos;
        p.max = checked(NumberAt(line, pos));
        if (p.min > p.max)
            throw GsdError(QStringLiteral("minimum %1 above maximum %2").arg(p.min).arg(p.max).toStdString());
    } else {
        p.list.push_back(p.min);
        p.max = p.min;
        p.values = 1;
        while (pos < n && IsSeparator(line[pos])) {
            ++pos;
            if (pos >= n)
                break;
            const int64_t v = checked(NumberAt(line, pos));
            p.max = v;
            ++p.values;
            if (int(p.list.size()) < kMaxListValues)
                p.list.push_back(v);
        }
    }
    const std::string_view rest = Trim(line.substr(std::min(pos, n)));
    p.rest = rest.empty() ? QString() : GsdLineText(rest, false);
}

class Parser {
public:
    explicit Parser(const QByteArray &bytes) : bytes_(bytes), lines_(bytes), interned_(bytes) {}

    GsdParse run()
    {
        if (!LooksLikeGsd(bytes_)) {
            out_.error = GsdParseError{GsdParseError::Kind::NotGsd, 0, QStringLiteral("not a GSD file")};
            return std::move(out_);
        }
        f_.utf8 = lines_.utf8();
        // Module lines make up much of a file; room for as many as a file of
        // this size usually has saves moving them while it grows.
        f_.modules.reserve(std::size_t(std::min<qsizetype>(bytes_.size() / 96, 512)));
        std::string_view line;
        try {
            while (lines_.next(line))
                dispatch(line);
            endOfFile();
        } catch (const GsdError &e) {
            fail(GsdParseError::Kind::Fault, QString::fromUtf8(e.what()));
        } catch (const Stop &) {
        }
        extents(f_.device);
        for (GsdFileModule &m : f_.modules)
            extents(m.prm);
        f_.lastLine = GsdLineText(lines_.current(), f_.utf8);
        f_.lines = lines_.physicalLines() - (bytes_.endsWith('\n') || bytes_.endsWith('\r') ? 1 : 0);
        return std::move(out_);
    }

private:
    struct Stop {};

    void fail(GsdParseError::Kind kind, const QString &reason, int line = 0)
    {
        out_.error = GsdParseError{kind, line ? line : lines_.lineNumber(), reason};
    }
    [[noreturn]] void stop(GsdParseError::Kind kind, const QString &reason, int line = 0)
    {
        fail(kind, reason, line);
        throw Stop{};
    }

    // A block takes the bytes of every field it refers to, as far as they
    // can be placed: a device without User_Prm_Data_Len whose description
    // names five fields has five parameter bytes.
    void extents(GsdBlock &b) const
    {
        for (const GsdPrmRef &r : b.refs) {
            const auto d = f_.definitions.find(r.number);
            if (d != f_.definitions.end())
                b.prmLen = std::max(b.prmLen, std::min(r.offset + d->second.width, kMaxBlockLen));
        }
    }

    QString text(std::string_view bytes) const { return GsdLineText(bytes, f_.utf8); }
    // A quoted value's text as it stands between the quotes; an unquoted one as a line reads.
    QString quoted(std::string_view value) const
    {
        return !value.empty() && value[0] == '"' ? DecodeGsdText(QuotedText(value), f_.utf8) : text(value);
    }
    int at() const { return lines_.lineNumber(); }
    void remark(GsdRemark::Level level, const QString &text) { f_.remarks.push_back({level, at(), text}); }
    GsdBlock &block() { return inModule_ ? f_.modules.back().prm : f_.device; }

    static int Offset(const KeyLine &k, const char *what)
    {
        if (!k.hasIndex || k.indexRead != Num::Ok)
            throw GsdError("the index in parentheses is not a number");
        if (k.indexValue < 0 || k.indexValue >= kMaxBlockLen)
            throw GsdError(what);
        return int(k.indexValue);
    }

    void dispatch(std::string_view line)
    {
        KeyLine k;
        if (!SplitLine(line, k)) {
            bareLine(line);
            return;
        }
        if (k.hasIndex) {
            // Every index is a number the file states; one beyond 32 bits
            // stops the read whatever its key.
            k.indexRead = IndexNumber(k.index, k.indexValue);
            if (k.indexRead == Num::Beyond)
                throw GsdError("index beyond 32 bits", true);
        }
        const std::string_view v = k.value;
        switch (FindKeyword(k.key)) {
        case Kw::None:
            if (!IsPlainKey(k.key))
                remark(GsdRemark::Level::Note, QStringLiteral("not understood: ") + Quoted(text(line)));
            else
                rateKey(k);
            break;
        case Kw::VendorName:
            f_.vendor = idLine(GsdIdLine::Key::VendorName, v);
            break;
        case Kw::ModelName:
            f_.model = idLine(GsdIdLine::Key::ModelName, v);
            break;
        case Kw::Revision:
            f_.revision = idLine(GsdIdLine::Key::Revision, v);
            break;
        case Kw::HardwareRelease:
            f_.hardwareRelease = idLine(GsdIdLine::Key::HardwareRelease, v);
            break;
        case Kw::SoftwareRelease:
            f_.softwareRelease = idLine(GsdIdLine::Key::SoftwareRelease, v);
            break;
        case Kw::IdentNumber:
            idLine(GsdIdLine::Key::IdentNumber, v);
            f_.ident = int(NumberIn(v, 0, 0xFFFF));
            f_.identLine = at();
            break;
        case Kw::GsdRevision: {
            qint64 r = 0;
            (void)GsdItems(v).next(r); // read, not used
            f_.revisionLine = text(line);
            break;
        }
        case Kw::UserPrmDataLen:
            f_.device.declaredLen = int(NumberIn(v, 0, kMaxBlockLen));
            f_.device.declaredLine = at();
            f_.device.prmLen = std::max(f_.device.prmLen, f_.device.declaredLen);
            break;
        case Kw::UserPrmData:
            if (!inModule_)
                userPrmData(v);
            break;
        case Kw::MaxUserPrmDataLen:
            if (const auto n = loose(v, k.key)) {
                f_.maxUserPrmDataLen = *n;
                f_.maxUserPrmDataLenLine = at();
            }
            break;
        case Kw::MaxModule:
            if (const auto n = loose(v, k.key)) {
                f_.maxModule = *n;
                f_.maxModuleLine = at();
            }
            break;
        case Kw::ModularStation:
            f_.modular = int(NumberIn(v, 0, 0xFFFF));
            break;
        case Kw::Module:
            module(v);
            break;
        case Kw::ExtModulePrmDataLen: {
            const int len = int(NumberIn(v, 0, kMaxBlockLen));
            if (inModule_) {
                GsdBlock &b = f_.modules.back().prm;
                b.declaredLen = len;
                b.declaredLine = at();
                b.prmLen = std::max(b.prmLen, len);
            } else {
                remark(GsdRemark::Level::Note, QStringLiteral("Ext_Module_Prm_Data_Len outside a module block is not used"));
            }
            break;
        }
        case Kw::ExtUserPrmDataConst:
            constBytes(Offset(k, "constant offset out of range"), v);
            break;
        case Kw::ExtUserPrmDataRef: {
            const int offset = Offset(k, "parameter offset out of range");
            const int ref = int(NumberIn(v, 0, kMaxGsdNumberInFile));
            GsdBlock &b = block();
            if (b.refs.empty())
                b.refs.reserve(16); // blocks with references mostly have several
            b.refs.push_back({offset, ref, at()});
            break;
        }
        case Kw::PrmText: {
            const qint64 n = NumberIn(v, 0, kMax32);
            if (n > kMaxGsdNumberInFile)
                stop(GsdParseError::Kind::Limit, QStringLiteral("PrmText > %1").arg(kMaxGsdNumberInFile));
            textList_ = int(n);
            if (const auto it = f_.textLists.find(textList_); it != f_.textLists.end())
                remark(GsdRemark::Level::Warning,
                       QStringLiteral("PrmText %1 is defined again (first at line %2); this one replaces it").arg(n).arg(it->second.line));
            list_ = &f_.textLists.insert_or_assign(textList_, GsdTextList{at(), {}}).first->second;
            open(Open::PrmText, textList_);
            break;
        }
        case Kw::Text: {
            if (!k.hasIndex || k.indexRead != Num::Ok)
                throw GsdError("the index in parentheses is not a number");
            const qint64 value = k.indexValue;
            // A Text line before any PrmText line goes to list 0.
            if (!list_)
                list_ = &f_.textLists.try_emplace(textList_, GsdTextList{at(), {}}).first->second;
            list_->entries.push_back({value, interned_.get(v, [&] { return quoted(v); })});
            break;
        }
        case Kw::ExtUserPrmData:
            extUserPrmData(v);
            break;
        case Kw::PrmTextRef: {
            const int n = int(NumberIn(v, 0, kMaxGsdNumberInFile));
            if (const auto it = f_.definitions.find(def_); it != f_.definitions.end()) {
                it->second.textRef = n;
                it->second.textRefLine = at();
            }
            break;
        }
        case Kw::MinSlaveIntervall:
            if (const auto n = LooseNumber(v); n && *n <= 0xFFFF)
                f_.minSlaveInterval = int(*n);
            break;
        case Kw::UnitDiagBit:
            if (const auto n = diagIndex(k))
                f_.unitDiagBits[*n] = quoted(v);
            break;
        case Kw::ChannelDiag:
            if (const auto n = diagIndex(k))
                f_.channelDiag[*n] = quoted(v);
            break;
        case Kw::UnitDiagArea:
            diagArea(v);
            break;
        case Kw::Value:
            if (area_ >= 0 && k.hasIndex && k.indexRead == Num::Ok)
                f_.unitDiagAreas[std::size_t(area_)].values[k.indexValue] = quoted(v);
            break;
        }
    }

    QString idLine(GsdIdLine::Key key, std::string_view value)
    {
        f_.idLines.push_back({key, text(value), at()});
        return quoted(value);
    }

    std::optional<qint64> loose(std::string_view value, std::string_view key)
    {
        const std::optional<qint64> n = LooseNumber(value);
        if (!n)
            remark(GsdRemark::Level::Warning, QString::fromLatin1(key.data(), qsizetype(key.size())) + QStringLiteral(": not a number"));
        return n;
    }

    std::optional<int> diagIndex(const KeyLine &k) const
    {
        if (!k.hasIndex || k.indexRead != Num::Ok || k.indexValue < 0 || k.indexValue > 0xFFFF)
            return std::nullopt;
        return int(k.indexValue);
    }

    void rateKey(const KeyLine &k)
    {
        // Only "<rate>_supp" and "MaxTsdr_<rate>" name a rate.
        const std::string_view key = k.key;
        if (key.size() < 5 || (Lower(key.back()) != 'p' && Lower(key[0]) != 'm'))
            return;
        if (const auto rate = RateOfKey(k.key, "", "_supp")) {
            f_.supported[*rate] = LooseNumber(k.value).value_or(0) == 1;
        } else if (const auto r = RateOfKey(k.key, "MaxTsdr_", "")) {
            if (const auto v = LooseNumber(k.value); v && *v <= 0xFFFF)
                f_.maxTsdr[*r] = int(*v);
        }
    }

    void diagArea(std::string_view value)
    {
        area_ = -1;
        open(Open::DiagArea, 0);
        const std::size_t dash = value.find('-');
        if (dash == std::string_view::npos || dash == 0)
            return;
        const auto first = LooseNumber(value.substr(0, dash));
        const auto last = LooseNumber(value.substr(dash + 1));
        // At most 32 bits a value; anything else is no area that can be read.
        if (first && last && *first <= *last && *last - *first < 32 && *last <= 0xFFFF) {
            f_.unitDiagAreas.push_back({int(*first), int(*last), {}});
            area_ = int(f_.unitDiagAreas.size()) - 1;
        }
    }

    void bareLine(std::string_view line)
    {
        const std::string_view t = Trim(line);
        if (t.empty() || SameNoCase(t, "#Profibus_DP"))
            return;
        if (SameNoCase(t, "EndModule")) {
            inModule_ = false;
            return;
        }
        if (SameNoCase(t, "EndPrmText") || SameNoCase(t, "EndExtUserPrmData") || SameNoCase(t, "Unit_Diag_Area_End")) {
            if (SameNoCase(t, "Unit_Diag_Area_End"))
                area_ = -1;
            open_ = Open::None;
            return;
        }
        // Other block words ("SlotDefinition") and a module's reference
        // number stand alone on their lines.
        if (IsPlainKey(t) || (inModule_ && IsNumberList(t)))
            return;
        remark(GsdRemark::Level::Note, QStringLiteral("not understood: ") + Quoted(text(t)));
    }

    // A line is taken whole or, when one of its values cannot be read, not at all.
    void userPrmData(std::string_view value)
    {
        std::vector<uint8_t> bytes;
        GsdItems items(value);
        qint64 v = 0;
        GsdItems::Item it;
        while (int(bytes.size()) < kMaxBlockLen && (it = items.next(v)) != GsdItems::Item::End) {
            if (it != GsdItems::Item::Number)
                v = 0; // what is no number counts as 0
            if (v > 255)
                throw GsdError("a parameter byte is above 255");
            bytes.push_back(uint8_t(v));
        }
        f_.hasUserPrmData = true;
        f_.userPrmData = std::move(bytes);
    }

    void module(std::string_view value)
    {
        GsdFileModule m;
        m.at = at();
        // The opening quote goes after the text is read: "," inside the
        // name stays a ",".
        m.line = text(value);
        if (!value.empty() && value[0] == '"') {
            value.remove_prefix(1);
            m.line.remove(0, 1);
        }
        CfgBytes cfg = ModuleCfg(value);
        m.cfg = std::move(cfg.bytes);
        m.cfgError = std::move(cfg.error);
        f_.modules.push_back(std::move(m));
        inModule_ = true;
        open_ = Open::None; // a text list or definition left open ends here
    }

    void constBytes(int offset, std::string_view value)
    {
        std::vector<uint8_t> bytes;
        GsdItems items(value);
        qint64 v = 0;
        // The end of the list writes nothing: a zero here would wipe a
        // constant that an earlier line put at a higher offset.
        while (items.next(v) == GsdItems::Item::Number) {
            if (offset + int(bytes.size()) >= kMaxBlockLen)
                throw GsdError("constant bytes beyond the parameter block");
            if (v > 255)
                throw GsdError("a constant byte is above 255");
            bytes.push_back(uint8_t(v));
        }
        GsdBlock &b = block();
        const int to = offset + int(bytes.size());
        if (to > int(b.prmConst.size())) {
            b.prmConst.reserve(std::size_t(std::max(to, 16)));
            b.prmConst.resize(std::size_t(to));
        }
        std::copy(bytes.begin(), bytes.end(), b.prmConst.begin() + offset);
        b.consts.push_back({offset, to, at()});
        b.prmLen = std::max(b.prmLen, to);
    }

    void extUserPrmData(std::string_view value)
    {
        const qint64 d = NumberIn(value, 0, kMax32);
        if (d > kMaxGsdNumberInFile)
            stop(GsdParseError::Kind::Limit, QStringLiteral("ExtUserPrmData > %1").arg(kMaxGsdNumberInFile));
        def_ = int(d);
        if (const auto it = f_.definitions.find(def_); it != f_.definitions.end())
            remark(GsdRemark::Level::Warning,
                   QStringLiteral("ExtUserPrmData %1 is defined again (first at line %2); this one replaces it").arg(d).arg(it->second.line));
        GsdDefinition p;
        p.line = at();
        const std::size_t q = value.find('"');
        p.name = q != std::string_view::npos && q > 0 ? DecodeGsdText(QuotedText(value.substr(q)), f_.utf8) : text(value);
        open(Open::ExtPrm, def_);

        // The data-type line follows; comment lines in between are skipped.
        std::string_view typeLine;
        do {
            if (!lines_.next(typeLine))
                stop(GsdParseError::Kind::Fault, QStringLiteral("the file ends before the data type line"), p.line);
            typeLine = Trim(typeLine);
        } while (typeLine.empty());
        p.typeLine = at();
        DataTypeLine(typeLine, p, interned_);
        f_.definitions.insert_or_assign(def_, std::move(p));
    }

    enum class Open { None, PrmText, ExtPrm, DiagArea };
    void open(Open what, int number)
    {
        open_ = what;
        openNumber_ = number;
    }

    void endOfFile()
    {
        QString cut; // a module whose block never ended may have lost its end: it is not used
        if (inModule_) {
            cut = f_.modules.back().name();
            f_.modules.pop_back();
        }
        if (lines_.endedInside())
            throw GsdError("the file ends inside a line");
        if (inModule_)
            throw GsdError(QStringLiteral("the file ends inside module \"%1\"").arg(cut).toUtf8().toStdString());
        switch (open_) {
        case Open::PrmText:
            throw GsdError(QStringLiteral("the file ends inside PrmText %1").arg(openNumber_).toStdString());
        case Open::ExtPrm:
            throw GsdError(QStringLiteral("the file ends inside ExtUserPrmData %1").arg(openNumber_).toStdString());
        case Open::DiagArea:
            throw GsdError("the file ends inside Unit_Diag_Area");
        case Open::None:
            break;
        }
        if (f_.ident < 0)
            throw GsdError("no Ident_Number");
    }

    const QByteArray &bytes_;
    GsdLineReader lines_;
    Interned interned_;
    GsdParse out_;
    GsdFile &f_ = out_.file;
    bool inModule_ = false;
    Open open_ = Open::None;
    int openNumber_ = 0;
    int textList_ = 0;
    GsdTextList *list_ = nullptr; // the list Text lines go to
    int def_ = -1;
    int area_ = -1;
};

} // namespace

GsdParse ParseGsd(const QByteArray &bytes)
{
    return Parser(bytes).run();
}

} // namespace meridan
