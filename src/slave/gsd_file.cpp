// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_file.h"

#include "core/readfile.h"
#include "core/slave_work.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
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

// Character classes, looked up rather than computed: the parser asks them
// for every byte of every value.
struct CharClasses {
    bool separator[256] = {}; // a blank or control character, or ","
    bool run[256] = {};       // may stand in a number's run: 0-9 a-f A-F x X
    int8_t hex[256] = {};     // the digit's value, -1 for no hexadecimal digit
    bool plain[256] = {};     // may stand in a key: letters, digits, "_", "."
    char lower[256] = {};
    constexpr CharClasses()
    {
        for (int c = 0; c < 256; ++c) {
            separator[c] = c <= 32 || c == ',';
            hex[c] = c >= '0' && c <= '9' ? int8_t(c - '0')
                : c >= 'a' && c <= 'f'    ? int8_t(c - 'a' + 10)
                : c >= 'A' && c <= 'F'    ? int8_t(c - 'A' + 10)
                                          : int8_t(-1);
            run[c] = hex[c] >= 0 || c == 'x' || c == 'X';
            lower[c] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            plain[c] = (c >= '0' && c <= '9') || (lower[c] >= 'a' && lower[c] <= 'z') || c == '_' || c == '.';
        }
    }
};
constexpr CharClasses kChar;

bool IsBlank(char c) { return uint8_t(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return kChar.separator[uint8_t(c)]; }
char Lower(char c) { return kChar.lower[uint8_t(c)]; }
int Hex(char c) { return kChar.hex[uint8_t(c)]; }

bool SameNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size();
    if (n != b.size())
        return false;
    // Files mostly write keywords as they are defined: when the bytes are
    // the same, no case needs folding. Eight (or four) bytes are compared at
    // a time, the last word overlapping the one before.
    const auto same = [&a, &b](std::size_t i, auto word) {
        decltype(word) x, y;
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        return x == y;
    };
    bool exact = n >= 4;
    if (n >= 8) {
        for (std::size_t i = 0; exact && i + 8 <= n; i += 8)
            exact = same(i, uint64_t());
        exact = exact && same(n - 8, uint64_t());
    } else if (n >= 4) {
        exact = same(0, uint32_t()) && same(n - 4, uint32_t());
    }
    if (exact)
        return true;
    for (std::size_t i = 0; i < n; ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

// Blanks, and "," which separates like a blank outside quoted text.
inline std::string_view Trim(std::string_view s)
{
    const char *b = s.data();
    const char *e = b + s.size();
    while (b < e && IsSeparator(*b))
        ++b;
#if defined(__SSE2__)
    // Values padded to a comment column end in long runs of blanks.
    while (e - b >= 16
           && _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(e - 16)), _mm_set1_epi8(' '))) == 0xFFFF)
        e -= 16;
#endif
    while (e > b && IsSeparator(e[-1]))
        --e;
    return std::string_view(b, std::size_t(e - b));
}

enum class Num { Ok, NotNumber, Beyond };

// A number's run (characters of kChar.run) as a number: decimal, or
// hexadecimal after "0x"; at most 32 bits. The first fault from the left
// decides what is wrong with it.
Num RunNumber(std::string_view s, qint64 &v)
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

// A whole text as a number, as RunNumber.
Num WholeNumber(std::string_view s, qint64 &v)
{
    for (const char c : s) {
        if (!kChar.run[uint8_t(c)]) {
            v = 0;
            return Num::NotNumber;
        }
    }
    return RunNumber(s, v);
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

QString DecodeBytes(std::string_view bytes, bool utf8)
{
    const char *data = bytes.data();
    const auto size = qsizetype(bytes.size());
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

// A line's text as it reads: decoded, "," outside quoted text as a blank.
// `inQuote`: the bytes begin inside a quoted text.
QString LineText(std::string_view bytes, bool utf8, bool inQuote)
{
    if (!utf8 && bytes.find(',') == std::string_view::npos)
        return DecodeBytes(bytes, false);
    if (utf8) {
        std::string text(bytes);
        for (char &c : text) {
            if (c == '"')
                inQuote = !inQuote;
            else if (c == ',' && !inQuote)
                c = ' ';
        }
        return DecodeBytes(text, true);
    }
    // Windows-1252 in one pass.
    QString s(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *out = s.data();
    for (const char c : bytes) {
        const auto b = uint8_t(c);
        if (c == '"')
            inQuote = !inQuote;
        *out++ = c == ',' && !inQuote ? QLatin1Char(' ') : QChar(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return s;
}

// What lies between the quotes of a quoted value; an unquoted value whole.
std::string_view QuotedText(std::string_view value)
{
    if (value.empty() || value[0] != '"')
        return value;
    const std::size_t close = value.find('"', 1);
    return close == std::string_view::npos ? value.substr(1) : value.substr(1, close - 1);
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

// Logical lines of a GSD file: comments removed, continuations joined by one
// blank. "," stays as it is; whoever reads a line's text reads it as a blank.
class LineReader {
public:
    explicit LineReader(const QByteArray &bytes) : p_(bytes.constData()), end_(bytes.constData() + bytes.size())
    {
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            utf8_ = true;
            p_ += 3;
        }
    }

    // The next line as bytes, valid until the next call; false at the end.
    // A line that continues on the next physical one is put together in a
    // buffer of the reader's; every other line is a view of the file.
    bool next(std::string_view &line)
    {
        if (p_ >= end_)
            return false;
        ++sequence_;
        startLine_ = physLine_;
        endedInside_ = false;
        const char *const start = p_;
        const char *const end = end_;
        const char *q = p_;
        bool inQuote = false;
        // Where the line stops (a line end, a continuation, a comment outside
        // quoted text) is found sixteen bytes at a time where the processor
        // can: the bytes inside quoted text are those with an odd number of
        // quotes up to them, which a running XOR of the quote bits gives.
#if defined(__SSE2__)
        for (; end - q >= 16; q += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
            const auto bits = [&v](char c) { return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)))); };
            unsigned inside = bits('"');
            inside ^= inside << 1;
            inside ^= inside << 2;
            inside ^= inside << 4;
            inside ^= inside << 8;
            if (inQuote)
                inside = ~inside;
            const unsigned stops = (bits('\r') | bits('\n') | bits('\\') | (bits(';') & ~inside)) & 0xFFFFu;
            if (stops != 0) {
                const int at = __builtin_ctz(stops);
                return lineAt(start, q + at, (inside >> at) & 1u, line);
            }
            inQuote = (inside >> 15) & 1u;
        }
#endif
        for (; q < end; ++q) {
            if (!kLineMark.is[uint8_t(*q)])
                continue;
            if (*q == '"')
                inQuote = !inQuote;
            else if (*q != ';' || !inQuote)
                return lineAt(start, q, inQuote, line);
        }
        p_ = end;
        endedInside_ = inQuote;
        return take(std::string_view(start, std::size_t(end - start)), line);
    }

    int lineNumber() const { return startLine_; } // physical line the last one began on
    int physicalLines() const { return physLine_; }
    // The last line read, valid until the next call.
    std::string_view current() const { return current_; }
    // Counts the lines read: tells one line put together in the buffer from the next.
    unsigned sequence() const { return sequence_; }
    bool utf8() const { return utf8_; }
    // The last line ended with the file, inside a continuation or a quoted text.
    bool endedInside() const { return endedInside_; }

private:
    // The line read. (Both copies are made from the value itself: a copy of
    // current_ just written would wait for the writes to land.)
    bool take(std::string_view text, std::string_view &line)
    {
        current_ = text;
        line = text;
        return true;
    }

    // The line from `start` ends at the mark `m`: a line end, a comment or
    // a continuation.
    bool lineAt(const char *start, const char *m, bool inQuote, std::string_view &line)
    {
        if (*m == '\\') {
            p_ = m;
            return take(joined(start, inQuote), line);
        }
        take(std::string_view(start, std::size_t(m - start)), line);
        // A comment runs to the line end; a "\" in it continues nothing.
        const char *q = *m == ';' ? LineEnd(m, end_) : m;
        // CR LF, CR and LF each end a line.
        if (q < end_) {
            q += *q == '\r' && q + 1 < end_ && q[1] == '\n' ? 2 : 1;
            ++physLine_;
        }
        p_ = q;
        return true;
    }

    void endLine()
    {
        // CR LF, CR and LF each end a line.
        if (p_ >= end_)
            return;
        if (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n')
            ++p_;
        ++p_;
        ++physLine_;
    }

    std::string_view joined(const char *start, bool inQuote)
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

    const char *p_ = nullptr;
    const char *end_ = nullptr;
    bool utf8_ = false;
    bool endedInside_ = false;
    int physLine_ = 1;
    int startLine_ = 0;
    unsigned sequence_ = 0;
    std::string_view current_;
    std::string buf_; // a continued line, put together; keeps its capacity
};

// The items of a value, one after the other in a single pass: numbers
// separated by blanks, TABs or ",", decimal or "0x" hexadecimal.
class Items {
public:
    explicit Items(std::string_view text) : s_(text) {}
    enum class Item { End, NotNumber, Number, Letters, Beyond };

    // The next item without throwing: NotNumber for one that does not start
    // with a digit ("-5", "&", a word), Letters for letters in a decimal
    // number, Beyond for a number beyond 32 bits.
    Item read(qint64 &value)
    {
        const std::size_t len = s_.size();
        std::size_t i = i_;
        while (i < len && IsSeparator(s_[i]))
            ++i;
        if (i >= len) {
            i_ = i;
            return Item::End;
        }
        const std::size_t start = i;
        // Most items are short numbers, decimal or "0x" and a few digits:
        // they are read as their run is found. Anything else in the run (a
        // letter in a decimal number, a second "x", a number too long) is
        // left to RunNumber, which reads the whole run.
        qint64 v = 0;
        if (s_[i] == '0' && i + 2 < len && (s_[i + 1] == 'x' || s_[i + 1] == 'X') && kChar.run[uint8_t(s_[i + 2])]) {
            for (i += 2; i < len && Hex(s_[i]) >= 0 && v <= kMax32; ++i)
                v = v * 16 + Hex(s_[i]);
        } else {
            for (; i < len && IsDigit(s_[i]) && v <= kMax32; ++i)
                v = v * 10 + (s_[i] - '0');
        }
        if (i < len && kChar.run[uint8_t(s_[i])])
            return wholeRun(start, value);
        skipItem(i);
        if (i == start)
            return Item::NotNumber;
        if (v > kMax32)
            return Item::Beyond;
        value = v;
        return Item::Number;
    }

    enum class Thrown { End, NotNumber, Number };
    // The same; letters in a decimal number, and numbers beyond 32 bits,
    // throw GsdError.
    Thrown next(qint64 &value)
    {
        switch (read(value)) {
        case Item::End:
            return Thrown::End;
        case Item::NotNumber:
            return Thrown::NotNumber;
        case Item::Number:
            return Thrown::Number;
        case Item::Beyond:
            Beyond32();
        case Item::Letters:
            break;
        }
        throw GsdError("not a number");
    }

    // Steps over the next item without reading it; false at the end.
    bool skip()
    {
        const std::size_t len = s_.size();
        while (i_ < len && IsSeparator(s_[i_]))
            ++i_;
        if (i_ >= len)
            return false;
        skipItem(i_);
        return true;
    }

private:
    // The run from `start` as RunNumber reads it; kept apart from read(), so
    // that the common case stays small.
    Item wholeRun(std::size_t start, qint64 &value)
    {
        std::size_t i = start;
        while (i < s_.size() && kChar.run[uint8_t(s_[i])])
            ++i;
        const Num n = RunNumber(s_.substr(start, i - start), value);
        skipItem(i);
        return n == Num::Ok ? Item::Number : n == Num::Beyond ? Item::Beyond : Item::Letters;
    }

    // The item ends at the next separator; only its leading run is a number.
    void skipItem(std::size_t i)
    {
        while (i < s_.size() && !IsSeparator(s_[i]))
            ++i;
        i_ = i;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

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

// The identifier bytes after a module name's closing quote, appended to
// `out`. Numbers beyond 32 bits throw; other faults are returned (and
// nothing appended): the module then cannot be chosen.
QString ModuleCfg(std::string_view line, std::vector<uint8_t> &out)
{
    const std::size_t from = out.size();
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    const std::size_t quote = line.find('"', i);
    Items items(quote == std::string_view::npos ? line.substr(i) : line.substr(quote + 1));
    qint64 v = 0;
    QString error;
    for (;;) {
        const Items::Item it = items.read(v);
        if (it == Items::Item::Number) {
            if (v > 255) {
                error = QStringLiteral("an identifier byte is above 255");
                break;
            }
            out.push_back(uint8_t(v));
            continue;
        }
        if (it == Items::Item::Beyond)
            Beyond32();
        if (it == Items::Item::Letters)
            error = QStringLiteral("not a number");
        break;
    }
    if (!error.isEmpty())
        out.resize(from);
    return error;
}

enum class Kw {
    None, VendorName, ModelName, Revision, HardwareRelease, SoftwareRelease, IdentNumber, GsdRevision,
    UserPrmDataLen, UserPrmData, MaxUserPrmDataLen, MaxModule, ModularStation, Module, ExtModulePrmDataLen,
    ExtUserPrmDataConst, ExtUserPrmDataRef, PrmText, Text, ExtUserPrmData, PrmTextRef, MinSlaveIntervall,
    UnitDiagBit, ChannelDiag, UnitDiagArea, Value,
    RateSupported, MaxTsdr, // "<rate>_supp", "MaxTsdr_<rate>"
};

struct Keyword {
    std::string_view name;
    Kw kw;
    int rate = -1; // index in kGsdRates
};

// The keys the reader acts on. The rate keys are written out, one for each
// rate, so that one look-up finds them too.
constexpr Keyword kKeywords[] = {
    {"Vendor_Name", Kw::VendorName}, {"Model_Name", Kw::ModelName}, {"Revision", Kw::Revision},
    {"Hardware_Release", Kw::HardwareRelease}, {"Software_Release", Kw::SoftwareRelease},
    {"Ident_Number", Kw::IdentNumber}, {"GSD_Revision", Kw::GsdRevision}, {"User_Prm_Data_Len", Kw::UserPrmDataLen},
    {"User_Prm_Data", Kw::UserPrmData}, {"Max_User_Prm_Data_Len", Kw::MaxUserPrmDataLen}, {"Max_Module", Kw::MaxModule},
    {"Modular_Station", Kw::ModularStation}, {"Module", Kw::Module}, {"Ext_Module_Prm_Data_Len", Kw::ExtModulePrmDataLen},
    {"Ext_User_Prm_Data_Const", Kw::ExtUserPrmDataConst}, {"Ext_User_Prm_Data_Ref", Kw::ExtUserPrmDataRef},
    {"PrmText", Kw::PrmText}, {"Text", Kw::Text}, {"ExtUserPrmData", Kw::ExtUserPrmData}, {"Prm_Text_Ref", Kw::PrmTextRef},
    {"Min_Slave_Intervall", Kw::MinSlaveIntervall}, {"Unit_Diag_Bit", Kw::UnitDiagBit}, {"Channel_Diag", Kw::ChannelDiag},
    {"Unit_Diag_Area", Kw::UnitDiagArea}, {"Value", Kw::Value},
    {"9.6_supp", Kw::RateSupported, 0}, {"19.2_supp", Kw::RateSupported, 1}, {"31.25_supp", Kw::RateSupported, 2},
    {"38.4_supp", Kw::RateSupported, 3}, {"45.45_supp", Kw::RateSupported, 4}, {"93.75_supp", Kw::RateSupported, 5},
    {"187.5_supp", Kw::RateSupported, 6}, {"500_supp", Kw::RateSupported, 7}, {"1.5M_supp", Kw::RateSupported, 8},
    {"3M_supp", Kw::RateSupported, 9}, {"6M_supp", Kw::RateSupported, 10}, {"12M_supp", Kw::RateSupported, 11},
    {"MaxTsdr_9.6", Kw::MaxTsdr, 0}, {"MaxTsdr_19.2", Kw::MaxTsdr, 1}, {"MaxTsdr_31.25", Kw::MaxTsdr, 2},
    {"MaxTsdr_38.4", Kw::MaxTsdr, 3}, {"MaxTsdr_45.45", Kw::MaxTsdr, 4}, {"MaxTsdr_93.75", Kw::MaxTsdr, 5},
    {"MaxTsdr_187.5", Kw::MaxTsdr, 6}, {"MaxTsdr_500", Kw::MaxTsdr, 7}, {"MaxTsdr_1.5M", Kw::MaxTsdr, 8},
    {"MaxTsdr_3M", Kw::MaxTsdr, 9}, {"MaxTsdr_6M", Kw::MaxTsdr, 10}, {"MaxTsdr_12M", Kw::MaxTsdr, 11},
};

// A key's hash, the same in any case: its length and its first two and
// last two characters tell the keywords apart well enough that a key that is
// none mostly needs no compare at all.
constexpr uint32_t KeyHash(std::string_view key)
{
    const auto at = [key](std::size_t i) { return uint32_t(uint8_t(kChar.lower[uint8_t(key[i])])); };
    const std::size_t n = key.size();
    const uint32_t chars = at(0) | at(1) << 8 | at(n - 2) << 16 | at(n - 1) << 24;
    return (chars ^ uint32_t(n) * 0x9E3779B1u) * 0x85EBCA6Bu;
}

// The keywords by their hash, in a table made when the program is compiled:
// a key that is no keyword mostly lands on an empty slot and costs no
// compare.
struct KeywordTable {
    static constexpr std::size_t kSlots = 128; // a power of two, well above the keywords
    static constexpr std::size_t kShortest = 4; // "Text"
    std::array<int8_t, kSlots> index{};        // into kKeywords; -1 for an empty slot
    std::array<uint32_t, kSlots> hash{};
    static constexpr std::size_t Slot(uint32_t h) { return h >> 25; }
    constexpr KeywordTable()
    {
        index.fill(-1);
        for (std::size_t k = 0; k < std::size(kKeywords); ++k) {
            const uint32_t h = KeyHash(kKeywords[k].name);
            std::size_t s = Slot(h);
            while (index[s] >= 0)
                s = (s + 1) & (kSlots - 1);
            index[s] = int8_t(k);
            hash[s] = h;
        }
    }
    const Keyword *find(std::string_view key) const
    {
        if (key.size() < kShortest)
            return nullptr;
        const uint32_t h = KeyHash(key);
        for (std::size_t s = Slot(h); index[s] >= 0; s = (s + 1) & (kSlots - 1)) {
            const Keyword &w = kKeywords[std::size_t(index[s])];
            if (hash[s] == h && SameNoCase(key, w.name))
                return &w;
        }
        return nullptr;
    }
};
constexpr KeywordTable kKeywordTable;

bool IsPlainKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key) {
        if (!kChar.plain[uint8_t(c)])
            return false;
    }
    return true;
}

bool IsNumberList(std::string_view text)
{
    Items items(text);
    qint64 v = 0;
    Items::Item it;
    while ((it = items.read(v)) == Items::Item::Number) {
    }
    return it == Items::Item::End;
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

// A line and how many bytes from its start can be read: a line that is a
// view of the file can be looked at sixteen bytes at a time past its end, as
// far as the file goes; a line put together from continued ones cannot.
struct Window {
    std::string_view line;
    std::size_t readable = 0; // >= line.size()
};

// Where a key line's marks are: the first "=", the first "(" before it and
// the first ")" after that "(" and before the "="; npos for one not there.
struct KeyMarks {
    std::size_t eq = std::string_view::npos;
    std::size_t open = std::string_view::npos;
    std::size_t close = std::string_view::npos;
    // Takes the marks of the bytes from `at` on, one bit each.
    bool take(std::size_t at, unsigned eqBits, unsigned openBits, unsigned closeBits)
    {
        if (eqBits != 0) {
            eq = at + std::size_t(__builtin_ctz(eqBits));
            const unsigned before = (eqBits & -eqBits) - 1; // the bits below the "="
            openBits &= before;
            closeBits &= before;
        }
        if (open == std::string_view::npos && openBits != 0) {
            open = at + std::size_t(__builtin_ctz(openBits));
            closeBits &= ~((openBits & -openBits) | ((openBits & -openBits) - 1)); // the bits above the "("
        }
        if (open != std::string_view::npos && close == std::string_view::npos && closeBits != 0)
            close = at + std::size_t(__builtin_ctz(closeBits));
        return eq != std::string_view::npos;
    }
};

KeyMarks FindKeyMarks(const Window &w)
{
    KeyMarks m;
    const char *p = w.line.data();
    const std::size_t n = w.line.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i < n && w.readable - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const unsigned inLine = n - i >= 16 ? 0xFFFFu : (1u << (n - i)) - 1;
        const auto bitsOf = [&v, inLine](char c) { return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)))) & inLine; };
        if (m.take(i, bitsOf('='), bitsOf('('), bitsOf(')')))
            return m;
    }
#endif
    for (; i < n; ++i) {
        if (m.take(i, p[i] == '=', p[i] == '(', p[i] == ')'))
            return m;
    }
    return m;
}

// The key is what stands before the first "=", blanks around it removed; an
// "(" after its first character starts the index, which runs to the next ")".
bool SplitLine(const Window &w, KeyLine &out)
{
    const std::string_view line = w.line;
    const KeyMarks m = FindKeyMarks(w);
    if (m.eq == std::string_view::npos || m.eq < 1)
        return false;
    std::string_view key = Trim(line.substr(0, m.eq));
    const std::size_t keyAt = std::size_t(key.data() - line.data());
    const std::size_t keyEnd = keyAt + key.size();
    out.hasIndex = false;
    out.index = {};
    // No "(" is a blank: one before the "=" lies inside the trimmed key.
    if (m.open != std::string_view::npos && m.open > keyAt) {
        out.index = Trim(line.substr(m.open + 1, (m.close == std::string_view::npos ? keyEnd : m.close) - m.open - 1));
        out.hasIndex = true;
        key = Trim(line.substr(keyAt, m.open - keyAt));
    }
    out.key = key;
    out.value = Trim(line.substr(m.eq + 1));
    return true;
}

// Item 1 of a value that must be a number within lo..hi.
qint64 NumberIn(std::string_view value, qint64 lo, qint64 hi)
{
    qint64 v = 0;
    if (Items(value).next(v) != Items::Thrown::Number)
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
    switch (Items(value).read(v)) {
    case Items::Item::Number:
        return v;
    case Items::Item::Beyond:
        Beyond32();
    default:
        return std::nullopt;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// The file's texts, decoded when asked for.

std::string_view GsdFile::bytes(const GsdSpan &span) const
{
    if (span.size == 0)
        return {};
    if (span.joined)
        return std::string_view(joined_).substr(span.at, span.size);
    return std::string_view(source_.constData() + span.at, span.size);
}

QString GsdFile::text(const GsdSpan &span) const
{
    const std::string_view b = bytes(span);
    switch (span.form) {
    case GsdSpan::Form::Raw:
        return DecodeBytes(b, utf8);
    case GsdSpan::Form::Line:
        return LineText(b, utf8, false);
    case GsdSpan::Form::AfterQuote:
        return LineText(b, utf8, true);
    case GsdSpan::Form::Quoted:
        return !b.empty() && b[0] == '"' ? DecodeBytes(QuotedText(b), utf8) : LineText(b, utf8, false);
    case GsdSpan::Form::TypeWord: {
        QString s;
        s.reserve(qsizetype(b.size()));
        for (const char c : b)
            if (c != ' ')
                s += QLatin1Char(c);
        return s;
    }
    }
    return {};
}

QString GsdFile::moduleName(const GsdFileModule &m) const
{
    return ModuleName(text(m.line));
}

GsdDiagArea GsdFile::diagArea(const GsdFileDiagArea &area) const
{
    GsdDiagArea out{area.first, area.last, {}};
    for (const GsdDiagText &v : area.values)
        out.values[v.number] = text(v.text);
    return out;
}

// ---------------------------------------------------------------------------

qint64 GetParameterValue(const QString &text, int n, int &error)
{
    const QByteArray bytes = text.toLatin1();
    Items items(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    for (int k = 1; k < n; ++k) {
        if (!items.skip())
            break;
    }
    qint64 v = 0;
    if (n < 1 || items.next(v) != Items::Thrown::Number) {
        error = 1;
        return 0;
    }
    return v;
}

int64_t GetNum(const QString &line, int &pos)
{
    const QByteArray bytes = line.toLatin1();
    std::size_t p = std::size_t(std::max(pos, 0));
    const int64_t v = NumberAt(std::string_view(bytes.constData(), std::size_t(bytes.size())), p);
    pos = int(p);
    return v;
}

std::vector<uint8_t> ModuleConfigBytes(const QString &moduleLine)
{
    const QByteArray bytes = moduleLine.toLatin1();
    std::vector<uint8_t> cfg;
    const QString error = ModuleCfg(std::string_view(bytes.constData(), std::size_t(bytes.size())), cfg);
    if (!error.isEmpty())
        throw GsdError(error.toStdString());
    return cfg;
}

QString GsdQuotedText(QStringView value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value.toString();
    const auto close = value.indexOf(QLatin1Char('"'), 1);
    return (close < 0 ? value.mid(1) : value.mid(1, close - 1)).toString();
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
        p = LineEnd(p, end);
        if (p < end)
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

// ---------------------------------------------------------------------------
// The parser. The runs of bytes, references and values a GsdFile points into
// are filled while the file is read and only then placed: until the last
// line the arrays may still move. A module's runs lie at the end of their
// arrays while its block is read (nothing else is added to them meanwhile);
// the device's block can take lines between modules, so it is gathered on its
// own and placed last.

class GsdParser {
public:
    explicit GsdParser(const QByteArray &bytes) : bytes_(bytes), lines_(bytes) {}

    GsdParse run()
    {
        if (!LooksLikeGsd(bytes_)) {
            out_.error = GsdParseError{GsdParseError::Kind::NotGsd, 0, QStringLiteral("not a GSD file")};
            return std::move(out_);
        }
        // The file keeps the bytes its texts point into: shared with the
        // caller's array, or copied when that array only borrows them
        // (QByteArray::fromRawData has no capacity of its own).
        f_.source_ = bytes_;
        if (f_.source_.capacity() == 0)
            f_.source_.detach();
        from_ = reinterpret_cast<uintptr_t>(bytes_.constData());
        to_ = from_ + uintptr_t(bytes_.size());
        f_.utf8 = lines_.utf8();
        // Room for as many modules as a file of this size mostly has at
        // most, so that they are not moved while the list grows.
        const std::size_t room = std::size_t(std::min<qsizetype>(bytes_.size() / 64, 512));
        f_.modules.reserve(room);
        moduleRuns_.reserve(room);
        f_.bytes_.reserve(room * 4);
        std::string_view line;
        try {
            while (lines_.next(line))
                dispatch(line);
            endOfFile();
        } catch (const GsdError &e) {
            fail(GsdParseError::Kind::Fault, QString::fromUtf8(e.what()));
        } catch (const Stop &) {
        }
        place();
        f_.lastLine = span(lines_.current(), GsdSpan::Form::Line);
        f_.lines = lines_.physicalLines() - (bytes_.endsWith('\n') || bytes_.endsWith('\r') ? 1 : 0);
        // The source may be the copy: texts point into it, not into the caller's.
        return std::move(out_);
    }

private:
    struct Stop {};

    // Where a block's runs lie in the file's arrays while it is read.
    struct Runs {
        std::size_t cfgAt = 0, cfgLen = 0;
        std::size_t constAt = 0, constLen = 0;
        std::size_t linesAt = 0, linesLen = 0;
        std::size_t refsAt = 0, refsLen = 0;
    };
    struct Ranged {
        std::size_t at = 0, len = 0;
    };

    void fail(GsdParseError::Kind kind, const QString &reason, int line = 0)
    {
        out_.error = GsdParseError{kind, line ? line : lines_.lineNumber(), reason};
    }
    [[noreturn]] void stop(GsdParseError::Kind kind, const QString &reason, int line = 0)
    {
        fail(kind, reason, line);
        throw Stop{};
    }

    // A piece of the current line as a text of the file. A line put
    // together from continued ones is copied into the file once, when the
    // first of its texts is kept.
    // Built in place where it is used: GCC puts a small struct returned from
    // a call together on the stack and reads it back before the writes land.
    [[gnu::always_inline]] GsdSpan span(std::string_view piece, GsdSpan::Form form)
    {
        if (piece.empty())
            return {};
        const auto at = reinterpret_cast<uintptr_t>(piece.data());
        if (at >= from_ && at < to_)
            return GsdSpan{uint32_t(at - from_), uint32_t(piece.size()), form, false};
        return joinedSpan(piece, form);
    }

    [[gnu::noinline]] GsdSpan joinedSpan(std::string_view piece, GsdSpan::Form form)
    {
        const auto size = uint32_t(piece.size());
        const std::string_view line = lines_.current();
        if (joinedSequence_ != lines_.sequence()) {
            joinedSequence_ = lines_.sequence();
            joinedAt_ = f_.joined_.size();
            f_.joined_.append(line);
        }
        return GsdSpan{uint32_t(joinedAt_ + std::size_t(piece.data() - line.data())), size, form, true};
    }

    int at() const { return lines_.lineNumber(); }
    void remark(GsdRemark::Level level, const QString &text) { f_.remarks.push_back({level, at(), text}); }
    QString text(std::string_view bytes) const { return LineText(bytes, f_.utf8, false); }

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
        if (line.empty()) // comment and blank lines
            return;
        KeyLine k;
        const auto where = reinterpret_cast<uintptr_t>(line.data());
        const bool inFile = where >= from_ && where < to_;
        if (!SplitLine({line, inFile ? std::size_t(to_ - where) : line.size()}, k)) {
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
        const Keyword *w = kKeywordTable.find(k.key);
        switch (w ? w->kw : Kw::None) {
        case Kw::None:
            if (!IsPlainKey(k.key))
                remark(GsdRemark::Level::Note, QStringLiteral("not understood: ") + Quoted(text(line)));
            break;
        case Kw::RateSupported:
            f_.supported[std::size_t(w->rate)] = LooseNumber(v).value_or(0) == 1 ? 1 : 0;
            break;
        case Kw::MaxTsdr:
            if (const auto n = LooseNumber(v); n && *n <= 0xFFFF)
                f_.maxTsdr[std::size_t(w->rate)] = int(*n);
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
            (void)Items(v).next(r); // read, not used
            f_.revisionLine = span(line, GsdSpan::Form::Line);
            break;
        }
        case Kw::UserPrmDataLen:
            device_.declaredLen = int(NumberIn(v, 0, kMaxBlockLen));
            device_.declaredLine = at();
            device_.prmLen = std::max(device_.prmLen, device_.declaredLen);
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
            const GsdPrmRef r{offset, ref, at()};
            if (inModule_) {
                f_.refs_.push_back(r);
                ++moduleRuns_.back().refsLen;
            } else {
                deviceRefs_.push_back(r);
            }
            break;
        }
        case Kw::PrmText: {
            const qint64 n = NumberIn(v, 0, kMax32);
            if (n > kMaxGsdNumberInFile)
                stop(GsdParseError::Kind::Limit, QStringLiteral("PrmText > %1").arg(kMaxGsdNumberInFile));
            textList_ = int(n);
            newList(at());
            open(Open::PrmText, textList_);
            break;
        }
        case Kw::Text: {
            if (!k.hasIndex || k.indexRead != Num::Ok)
                throw GsdError("the index in parentheses is not a number");
            // A Text line before any PrmText line goes to list 0.
            if (textRuns_.empty())
                newList(at());
            f_.entries_.push_back({k.indexValue, span(v, GsdSpan::Form::Quoted)});
            ++textRuns_.back().len;
            break;
        }
        case Kw::ExtUserPrmData:
            extUserPrmData(v);
            break;
        case Kw::PrmTextRef: {
            const int n = int(NumberIn(v, 0, kMaxGsdNumberInFile));
            // The definition read last: the one a Prm_Text_Ref line belongs to.
            if (!f_.definitions.items_.empty()) {
                GsdDefinition &d = f_.definitions.items_.back().second;
                d.textRef = n;
                d.textRefLine = at();
            }
            break;
        }
        case Kw::MinSlaveIntervall:
            if (const auto n = LooseNumber(v); n && *n <= 0xFFFF)
                f_.minSlaveInterval = int(*n);
            break;
        case Kw::UnitDiagBit:
            if (const auto n = diagIndex(k))
                f_.unitDiagBits.push_back({*n, span(v, GsdSpan::Form::Quoted)});
            break;
        case Kw::ChannelDiag:
            if (const auto n = diagIndex(k))
                f_.channelDiag.push_back({*n, span(v, GsdSpan::Form::Quoted)});
            break;
        case Kw::UnitDiagArea:
            diagArea(v);
            break;
        case Kw::Value:
            if (inArea_ && k.hasIndex && k.indexRead == Num::Ok) {
                f_.diagValues_.push_back({k.indexValue, span(v, GsdSpan::Form::Quoted)});
                ++areaRuns_.back().len;
            }
            break;
        }
    }

    GsdSpan idLine(GsdIdLine::Key key, std::string_view value)
    {
        f_.idLines.push_back({key, span(value, GsdSpan::Form::Line), at()});
        return span(value, GsdSpan::Form::Quoted);
    }

    std::optional<qint64> loose(std::string_view value, std::string_view key)
    {
        const std::optional<qint64> n = LooseNumber(value);
        if (!n)
            remark(GsdRemark::Level::Warning, QString::fromLatin1(key.data(), qsizetype(key.size())) + QStringLiteral(": not a number"));
        return n;
    }

    static std::optional<int> diagIndex(const KeyLine &k)
    {
        if (!k.hasIndex || k.indexRead != Num::Ok || k.indexValue < 0 || k.indexValue > 0xFFFF)
            return std::nullopt;
        return int(k.indexValue);
    }

    void diagArea(std::string_view value)
    {
        inArea_ = false;
        open(Open::DiagArea, 0);
        const std::size_t dash = value.find('-');
        if (dash == std::string_view::npos || dash == 0)
            return;
        const auto first = LooseNumber(value.substr(0, dash));
        const auto last = LooseNumber(value.substr(dash + 1));
        // At most 32 bits a value; anything else is no area that can be read.
        if (first && last && *first <= *last && *last - *first < 32 && *last <= 0xFFFF) {
            f_.unitDiagAreas.push_back({int(*first), int(*last), {}});
            areaRuns_.push_back({f_.diagValues_.size(), 0});
            inArea_ = true;
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
                inArea_ = false;
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
        std::array<uint8_t, kMaxBlockLen> bytes{};
        int n = 0;
        Items items(value);
        qint64 v = 0;
        Items::Thrown it;
        while (n < kMaxBlockLen && (it = items.next(v)) != Items::Thrown::End) {
            if (it != Items::Thrown::Number)
                v = 0; // what is no number counts as 0
            if (v > 255)
                throw GsdError("a parameter byte is above 255");
            bytes[std::size_t(n++)] = uint8_t(v);
        }
        f_.hasUserPrmData = true;
        f_.userPrmData.assign(bytes.begin(), bytes.begin() + n);
    }

    void module(std::string_view value)
    {
        GsdFileModule m;
        m.at = at();
        // The opening quote goes after the text is read: "," inside the
        // name stays a ",".
        const bool quoted = !value.empty() && value[0] == '"';
        if (quoted)
            value.remove_prefix(1);
        m.line = span(value, quoted ? GsdSpan::Form::AfterQuote : GsdSpan::Form::Line);
        Runs r;
        r.cfgAt = f_.bytes_.size();
        m.cfgError = ModuleCfg(value, f_.bytes_);
        r.cfgLen = f_.bytes_.size() - r.cfgAt;
        r.constAt = f_.bytes_.size();
        r.linesAt = f_.constLines_.size();
        r.refsAt = f_.refs_.size();
        f_.modules.push_back(std::move(m));
        moduleRuns_.push_back(r);
        inModule_ = true;
        open_ = Open::None; // a text list or definition left open ends here
    }

    void constBytes(int offset, std::string_view value)
    {
        std::array<uint8_t, kMaxBlockLen> bytes;
        int n = 0;
        Items items(value);
        qint64 v = 0;
        // The end of the list writes nothing: a zero here would wipe a
        // constant that an earlier line put at a higher offset.
        while (items.next(v) == Items::Thrown::Number) {
            if (offset + n >= kMaxBlockLen)
                throw GsdError("constant bytes beyond the parameter block");
            if (v > 255)
                throw GsdError("a constant byte is above 255");
            bytes[std::size_t(n++)] = uint8_t(v);
        }
        const int to = offset + n;
        const GsdConstLine c{offset, to, at()};
        if (inModule_) {
            // The module's constants are the last bytes of the array.
            Runs &r = moduleRuns_.back();
            if (std::size_t(to) > r.constLen) {
                r.constLen = std::size_t(to);
                f_.bytes_.resize(r.constAt + r.constLen);
            }
            std::copy_n(bytes.begin(), n, f_.bytes_.begin() + std::ptrdiff_t(r.constAt) + offset);
            f_.constLines_.push_back(c);
            ++r.linesLen;
            GsdBlock &b = f_.modules.back().prm;
            b.prmLen = std::max(b.prmLen, to);
        } else {
            if (std::size_t(to) > deviceConst_.size())
                deviceConst_.resize(std::size_t(to));
            std::copy_n(bytes.begin(), n, deviceConst_.begin() + offset);
            deviceLines_.push_back(c);
            device_.prmLen = std::max(device_.prmLen, to);
        }
    }

    void extUserPrmData(std::string_view value)
    {
        const qint64 d = NumberIn(value, 0, kMax32);
        if (d > kMaxGsdNumberInFile)
            stop(GsdParseError::Kind::Limit, QStringLiteral("ExtUserPrmData > %1").arg(kMaxGsdNumberInFile));
        GsdDefinition p;
        p.line = at();
        const std::size_t q = value.find('"');
        p.name = q != std::string_view::npos && q > 0 ? span(value.substr(q), GsdSpan::Form::Quoted) : span(value, GsdSpan::Form::Line);
        open(Open::ExtPrm, int(d));
        pendingDefinition_ = int(d);
        pendingLine_ = p.line;

        // The data-type line follows; comment lines in between are skipped.
        std::string_view typeLine;
        do {
            if (!lines_.next(typeLine))
                stop(GsdParseError::Kind::Fault, QStringLiteral("the file ends before the data type line"), p.line);
            typeLine = Trim(typeLine);
        } while (typeLine.empty());
        p.typeLine = at();
        Ranged list;
        dataTypeLine(typeLine, p, list);
        f_.definitions.items_.emplace_back(int(d), p);
        valueRuns_.push_back(list);
        pendingDefinition_ = -1;
    }

    // The line after an ExtUserPrmData line: type word, default, then a range
    // "min-max" or a list of values. Values the type cannot hold and a
    // minimum above the maximum throw.
    void dataTypeLine(std::string_view line, GsdDefinition &p, Ranged &list)
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
        const std::string_view word = line.substr(0, pos);
        p.type = span(word, GsdSpan::Form::TypeWord);
        // The type word without its blanks; most have none.
        std::string spaced;
        std::string_view type = word;
        if (word.find(' ') != std::string_view::npos) {
            for (const char c : word)
                if (c != ' ')
                    spaced.push_back(c);
            type = spaced;
        }

        // What the field can hold; a type the editor cannot place is held to 32 bits.
        const FieldType f = ParseFieldType(type);
        p.field = f;
        p.width = f.width;
        const bool known = f.kind != FieldType::Kind::Other && (f.kind != FieldType::Kind::BitArea || f.writable);
        const qint64 lo = known ? f.lowest : kMin32;
        const qint64 hi = known ? f.highest : kMax32;
        const auto checked = [&](int64_t v) {
            if (v < lo || v > hi)
                throw GsdError(QStringLiteral("value %1 outside %2 (%3..%4)")
                                   .arg(v)
                                   .arg(QString::fromLatin1(type.data(), qsizetype(type.size())))
                                   .arg(lo)
                                   .arg(hi)
                                   .toStdString());
            return v;
        };

        p.defaultValue = checked(NumberAt(line, pos));
        p.min = checked(NumberAt(line, pos));
        p.values = 0;
        list.at = f_.values_.size();
        if (pos < n && line[pos] == '-') {
            ++pos;
            p.max = checked(NumberAt(line, pos));
            if (p.min > p.max)
                throw GsdError(QStringLiteral("minimum %1 above maximum %2").arg(p.min).arg(p.max).toStdString());
        } else {
            f_.values_.push_back(p.min);
            p.max = p.min;
            p.values = 1;
            while (pos < n && IsSeparator(line[pos])) {
                ++pos;
                if (pos >= n)
                    break;
                const int64_t v = checked(NumberAt(line, pos));
                p.max = v;
                ++p.values;
                if (p.values <= kMaxListValues)
                    f_.values_.push_back(v);
            }
        }
        list.len = f_.values_.size() - list.at;
        p.rest = span(Trim(line.substr(std::min(pos, n))), GsdSpan::Form::Line);
    }

    void newList(int line)
    {
        f_.textLists.items_.emplace_back(textList_, GsdTextList{line, {}});
        textRuns_.push_back({f_.entries_.size(), 0});
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
            cut = f_.moduleName(f_.modules.back());
            f_.modules.pop_back();
            moduleRuns_.pop_back();
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

    // Where a file defines a number twice, the later one counts; the
    // numbers go in order.
    template <typename T>
    void byNumber(std::vector<std::pair<int, T>> &items, const char *what)
    {
        if (std::is_sorted(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first <= b.first; }))
            return; // as most files write them: each once, in order
        std::stable_sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<std::pair<int, T>> kept;
        kept.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!kept.empty() && kept.back().first == items[i].first) {
                definedAgain(what, items[i].first, items[i].second.line, kept.back().second.line);
                kept.back() = std::move(items[i]);
            } else {
                kept.push_back(std::move(items[i]));
            }
        }
        items = std::move(kept);
    }

    void definedAgain(const char *what, int number, int line, int first)
    {
        f_.remarks.push_back({GsdRemark::Level::Warning, line,
                              QStringLiteral("%1 %2 is defined again (first at line %3); this one replaces it")
                                  .arg(QLatin1String(what))
                                  .arg(number)
                                  .arg(first)});
        remarksAdded_ = true;
    }

    // Every run goes to its place now that the arrays no longer grow.
    void place()
    {
        // The device's block last: its lines may stand anywhere in the file.
        const std::size_t constAt = f_.bytes_.size(), linesAt = f_.constLines_.size(), refsAt = f_.refs_.size();
        f_.bytes_.insert(f_.bytes_.end(), deviceConst_.begin(), deviceConst_.end());
        f_.constLines_.insert(f_.constLines_.end(), deviceLines_.begin(), deviceLines_.end());
        f_.refs_.insert(f_.refs_.end(), deviceRefs_.begin(), deviceRefs_.end());
        f_.device = device_;
        f_.device.prmConst = std::span<const uint8_t>(f_.bytes_).subspan(constAt, deviceConst_.size());
        f_.device.consts = std::span<const GsdConstLine>(f_.constLines_).subspan(linesAt, deviceLines_.size());
        f_.device.refs = std::span<const GsdPrmRef>(f_.refs_).subspan(refsAt, deviceRefs_.size());
        for (std::size_t i = 0; i < f_.modules.size(); ++i) {
            GsdFileModule &m = f_.modules[i];
            const Runs &r = moduleRuns_[i];
            m.cfg = std::span<const uint8_t>(f_.bytes_).subspan(r.cfgAt, r.cfgLen);
            m.prm.prmConst = std::span<const uint8_t>(f_.bytes_).subspan(r.constAt, r.constLen);
            m.prm.consts = std::span<const GsdConstLine>(f_.constLines_).subspan(r.linesAt, r.linesLen);
            m.prm.refs = std::span<const GsdPrmRef>(f_.refs_).subspan(r.refsAt, r.refsLen);
        }
        auto &definitions = f_.definitions.items_;
        for (std::size_t i = 0; i < definitions.size(); ++i)
            definitions[i].second.list = std::span<const int64_t>(f_.values_).subspan(valueRuns_[i].at, valueRuns_[i].len);
        auto &lists = f_.textLists.items_;
        for (std::size_t i = 0; i < lists.size(); ++i)
            lists[i].second.entries = std::span<const GsdTextEntry>(f_.entries_).subspan(textRuns_[i].at, textRuns_[i].len);
        for (std::size_t i = 0; i < f_.unitDiagAreas.size(); ++i)
            f_.unitDiagAreas[i].values = std::span<const GsdDiagText>(f_.diagValues_).subspan(areaRuns_[i].at, areaRuns_[i].len);
        byNumber(definitions, "ExtUserPrmData");
        // A definition whose data-type line stopped the read was noticed too.
        if (pendingDefinition_ >= 0)
            if (const GsdDefinition *d = f_.definitions.get(pendingDefinition_))
                definedAgain("ExtUserPrmData", pendingDefinition_, pendingLine_, d->line);
        byNumber(lists, "PrmText");
        if (remarksAdded_)
            std::stable_sort(f_.remarks.begin(), f_.remarks.end(), [](const GsdRemark &a, const GsdRemark &b) { return a.line < b.line; });
        extents(f_.device);
        for (GsdFileModule &m : f_.modules)
            extents(m.prm);
    }

    // A block takes the bytes of every field it refers to, as far as they
    // can be placed: a device without User_Prm_Data_Len whose description
    // names five fields has five parameter bytes.
    void extents(GsdBlock &b) const
    {
        for (const GsdPrmRef &r : b.refs) {
            if (const GsdDefinition *d = f_.definitions.get(r.number))
                b.prmLen = std::max(b.prmLen, std::min(r.offset + d->width, kMaxBlockLen));
        }
    }

    const QByteArray &bytes_;
    LineReader lines_;
    GsdParse out_;
    GsdFile &f_ = out_.file;
    uintptr_t from_ = 0, to_ = 0; // the file's bytes, for telling its texts from continued lines
    unsigned joinedSequence_ = 0;
    std::size_t joinedAt_ = 0;
    // The device's block, gathered apart.
    GsdBlock device_;
    std::vector<uint8_t> deviceConst_;
    std::vector<GsdConstLine> deviceLines_;
    std::vector<GsdPrmRef> deviceRefs_;
    // Where the runs of modules, definitions, text lists and areas lie, one for each.
    std::vector<Runs> moduleRuns_;
    std::vector<Ranged> valueRuns_;
    std::vector<Ranged> textRuns_;
    std::vector<Ranged> areaRuns_;
    bool inModule_ = false;
    bool inArea_ = false;
    bool remarksAdded_ = false;
    int pendingDefinition_ = -1; // an ExtUserPrmData whose data-type line is being read
    int pendingLine_ = 0;
    Open open_ = Open::None;
    int openNumber_ = 0;
    int textList_ = 0;
};

GsdParse ParseGsd(const QByteArray &bytes)
{
    return GsdParser(bytes).run();
}

} // namespace meridan
