#include "slave/gsd.h"

#include "core/readfile.h"

#include "core/context.h"
#include "slave/record.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGsd, "meridan.slave.gsd", QtWarningMsg) // debug: why a read stopped

namespace meridan {

namespace {

// GSD files are small; anything far larger is not a device description and
// is refused before it is read into memory.
constexpr qint64 kMaxGsdFileSize = 16 * 1024 * 1024;

// Windows-1252 differs from Latin-1 in 0x80..0x9F; undefined codes stay as
// their Latin-1 control characters.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsBlank(QChar c) { return c.unicode() <= 32; }

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool IsItemSeparator(QChar c) { return c.unicode() <= 32 || c == QLatin1Char(','); }

// Reads a whole number text (key indexes): optional sign, decimal or "0x"
// hexadecimal, within 32 bits signed.
bool ParseWholeNumber(QStringView s, qint64 &value)
{
    int i = 0;
    const int n = s.size();
    bool negative = false;
    if (i < n && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+'))) {
        negative = s[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n)
        return false;
    qint64 v = 0;
    if (i + 1 < n && s[i] == QLatin1Char('0') && (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X'))) {
        i += 2;
        if (i >= n)
            return false;
        for (; i < n; ++i) {
            const int d = HexDigit(s[i]);
            if (d < 0 || v > 0xFFFFFFFFLL)
                return false;
            v = v * 16 + d;
        }
    } else {
        for (; i < n; ++i) {
            if (!IsDigit(s[i]) || v > 0xFFFFFFFFLL)
                return false;
            v = v * 10 + (s[i].unicode() - '0');
        }
    }
    value = negative ? -v : v;
    return value >= INT32_MIN && value <= INT32_MAX;
}

// The text of a quoted value: what lies between the quotes. An unquoted
// value is kept whole.
QString QuotedText(const QString &value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value;
    const int close = value.indexOf(QLatin1Char('"'), 1);
    return close < 0 ? value.mid(1) : value.mid(1, close - 1);
}

enum class Kw {
    VendorName, HardwareRelease, SoftwareRelease, ModelName, IdentNumber, UserPrmDataLen,
    UserPrmData, Module, ModularStation, PrmText, Text, ExtUserPrmData, PrmTextRef,
    ExtModulePrmDataLen, ExtUserPrmDataConst, ExtUserPrmDataRef, GsdRevision,
};

// GSD keywords are case-insensitive. Most lines of a file carry other keys,
// so the lookup rejects them by length before comparing any text.
struct Keyword {
    QLatin1StringView name;
    Kw kw;
};

const Keyword kKeywords[] = {
    {QLatin1StringView("Vendor_Name"), Kw::VendorName},
    {QLatin1StringView("Hardware_Release"), Kw::HardwareRelease},
    {QLatin1StringView("Software_Release"), Kw::SoftwareRelease},
    {QLatin1StringView("Model_Name"), Kw::ModelName},
    {QLatin1StringView("Ident_Number"), Kw::IdentNumber},
    {QLatin1StringView("User_Prm_Data_Len"), Kw::UserPrmDataLen},
    {QLatin1StringView("User_Prm_Data"), Kw::UserPrmData},
    {QLatin1StringView("Module"), Kw::Module},
    {QLatin1StringView("Modular_Station"), Kw::ModularStation},
    {QLatin1StringView("PrmText"), Kw::PrmText},
    {QLatin1StringView("Text"), Kw::Text},
    {QLatin1StringView("ExtUserPrmData"), Kw::ExtUserPrmData},
    {QLatin1StringView("Prm_Text_Ref"), Kw::PrmTextRef},
    {QLatin1StringView("Ext_Module_Prm_Data_Len"), Kw::ExtModulePrmDataLen},
    {QLatin1StringView("Ext_User_Prm_Data_Const"), Kw::ExtUserPrmDataConst},
    {QLatin1StringView("Ext_User_Prm_Data_Ref"), Kw::ExtUserPrmDataRef},
    {QLatin1StringView("GSD_Revision"), Kw::GsdRevision},
};

std::optional<Kw> FindKeyword(QStringView key)
{
    for (const Keyword &k : kKeywords) {
        if (k.name.size() == key.size() && key.compare(k.name, Qt::CaseInsensitive) == 0)
            return k.kw;
    }
    return std::nullopt;
}

// An error that ends the read. `reported` errors are the device-level limits
// the user is told about; after them the record counts as loaded.
struct StopRead {
    QString text;
    bool reported = false;
};

void Pause(Context &ctx)
{
    // The error text must be visible: let the window repaint before and after.
    ctx.pump.processEvents();
    ctx.pump.sleepMs(1000);
    ctx.pump.processEvents();
}

class Reader {
public:
    Reader(Context &ctx, const GsdStatus &meldung, GsdLineReader &lines)
        : ctx_(ctx), meldung_(meldung), lines_(lines), t_(ctx.st.gsd), w_(ctx.st.slave)
    {
        // The device's default parameters go only into a record that has no
        // device yet. The editor reads a stored record's file again each time
        // it opens it; that read must not replace the user's parameters, nor
        // drop the module blocks that follow the device's own bytes.
        writeDefaults_ = !w_.gsdLoaded && ctx.st.record[30] == 0 && ctx.st.record[31] == 0;
    }

    void run()
    {
        QString line;
        while (lines_.GetLine(line)) {
            show(line);
            dispatch(line);
        }
    }

    void show(const QString &text)
    {
        status = text;
        if (meldung_)
            meldung_(text);
    }

    QString status;

private:
    [[noreturn]] void report(const QString &text)
    {
        show(text);
        Pause(ctx_);
        throw StopRead{text, true};
    }

    qint64 item(const QString &value, int n = 1)
    {
        int error = 0;
        return GetParameterValue(value, n, error);
    }

    qint64 number(const QString &value, qint64 lo, qint64 hi)
    {
        const qint64 v = item(value);
        if (v < lo || v > hi)
            throw GsdError(QStringLiteral("value %1 out of range %2..%3").arg(v).arg(lo).arg(hi).toStdString());
        return v;
    }

    static int keyIndex(QStringView indexText, bool present)
    {
        qint64 v = 0;
        if (!present || !ParseWholeNumber(indexText, v))
            throw GsdError("the index in parentheses is not a number");
        return int(v);
    }

    void dispatch(const QString &line)
    {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 1)
            return; // block ends, module reference numbers, the "#Profibus_DP" head
        QStringView key = QStringView(line).left(eq).trimmed();
        QStringView indexText;
        bool hasIndex = false;
        const auto open = key.indexOf(QLatin1Char('('));
        if (open > 0) {
            const auto close = key.indexOf(QLatin1Char(')'), open);
            indexText = (close < 0 ? key.mid(open + 1) : key.mid(open + 1, close - open - 1)).trimmed();
            hasIndex = true;
            key = key.left(open).trimmed();
        }
        const std::optional<Kw> it = FindKeyword(key);
        if (!it)
            return;
        QString value = line.mid(eq + 1).trimmed();
        // The Module value keeps the name's closing quote: AddConfig finds the
        // identifier bytes after it.
        if (value.startsWith(QLatin1Char('"')) && *it == Kw::Module)
            value.remove(0, 1);

        switch (*it) {
        case Kw::VendorName:
            t_.vendor = QuotedText(value);
            break;
        case Kw::HardwareRelease:
            t_.hardwareRelease = QuotedText(value);
            break;
        case Kw::SoftwareRelease:
            t_.softwareRelease = QuotedText(value);
            break;
        case Kw::ModelName:
            t_.model = QuotedText(value);
            break;
        case Kw::IdentNumber: {
            const qint64 v = number(value, 0, 0xFFFF);
            ctx_.st.record[30] = uint8_t(v >> 8);
            ctx_.st.record[31] = uint8_t(v & 0xFF);
            break;
        }
        case Kw::UserPrmDataLen: {
            const int v = int(number(value, 0, kMaxUserPrm));
            if (w_.u == 0) {
                RemoveUserPrm(ctx_.st);
                w_.u = v;
            }
            t_.moduleAt(0).prmLen = v;
            break;
        }
        case Kw::UserPrmData:
            userPrmData(value);
            break;
        case Kw::Module:
            module(value);
            break;
        case Kw::ModularStation:
            t_.modular = int(number(value, 0, 0xFFFF));
            break;
        case Kw::PrmText: {
            const qint64 n = item(value);
            if (n > kMaxGsdNumber)
                report(QStringLiteral("Error in GSD-File: PrmText > %1").arg(kMaxGsdNumber));
            textList_ = int(n);
            textCounter_ = 0;
            t_.textListAt(textList_).clear(); // a list read again starts afresh
            break;
        }
        case Kw::Text: {
            const int v = keyIndex(indexText, hasIndex);
            if (textCounter_ < kMaxTextEntries) {
                t_.textListAt(textList_).push_back({v, QuotedText(value)});
                ++textCounter_;
            }
            break;
        }
        case Kw::ExtUserPrmData:
            extUserPrmData(value);
            break;
        case Kw::PrmTextRef:
            t_.extPrmAt(def_).textRef = int(number(value, 0, kMaxGsdNumber));
            break;
        case Kw::ExtModulePrmDataLen:
            if (t_.moduleCount > 0)
                t_.moduleAt(t_.moduleCount).prmLen = int(number(value, 0, kMaxUserPrm));
            refCounter_ = 0;
            break;
        case Kw::ExtUserPrmDataConst:
            constBytes(keyIndex(indexText, hasIndex), value);
            break;
        case Kw::ExtUserPrmDataRef: {
            const int offset = keyIndex(indexText, hasIndex);
            if (offset < 0 || offset >= kMaxUserPrm)
                throw GsdError("parameter offset out of range");
            if (refCounter_ >= kMaxPrmRefs)
                throw GsdError("too many parameter references in one block");
            const int ref = int(number(value, 0, kMaxGsdNumber));
            auto &refs = t_.moduleAt(t_.moduleCount).refs;
            if (refCounter_ >= int(refs.size()))
                refs.resize(std::size_t(refCounter_) + 1);
            refs[std::size_t(refCounter_)] = {offset, ref};
            ++refCounter_;
            break;
        }
        case Kw::GsdRevision:
            item(value);
            Pause(ctx_); // the revision line stays readable for a moment
            break;
        }
    }

    void userPrmData(const QString &value)
    {
        if (w_.u <= 0 || w_.c != 0 || !writeDefaults_)
            return;
        const int len = w_.u;
        for (int i = 0; i < len; ++i) {
            int error = 0;
            const qint64 v = GetParameterValue(value, i + 1, error);
            if (v < 0 || v > 255)
                throw GsdError("a parameter byte is above 255");
            w_.prm[i] = uint8_t(v);
        }
        RemoveUserPrm(ctx_.st); // replaces, never doubles, bytes already inserted
        w_.u = len;
        InsertUserPrm(ctx_.st);
    }

    void module(const QString &value)
    {
        if (t_.moduleCount >= kMaxGsdModules) {
            t_.moduleCount = kMaxGsdModules + 1;
            report(QStringLiteral("Error in GSD-File: too many modules"));
        }
        ++t_.moduleCount;
        t_.moduleAt(t_.moduleCount).line = value;
        refCounter_ = 0; // each module's references start at its own first row
        if (t_.modular != 0)
            return;
        moduleLine_ = value;
        if (t_.moduleCount == 1) {
            AddConfig(ctx_, moduleLine_, cfgByteCount_, meldung_);
            return;
        }
        show(QStringLiteral("Error in GSD-File: multiple modules"));
        Pause(ctx_);
        RemoveCfg(ctx_.st);
        t_.modular = 1;
    }

    void extUserPrmData(const QString &value)
    {
        const qint64 d = item(value);
        if (d > kMaxGsdNumber) {
            def_ = kMaxGsdNumber;
            report(QStringLiteral("Error in GSD-File: ExtUserPrmData > %1").arg(kMaxGsdNumber));
        }
        def_ = int(d);
        GsdExtPrm &p = t_.extPrmAt(def_);
        p = GsdExtPrm{};
        QString name = value;
        const int q = value.indexOf(QLatin1Char('"'));
        if (q > 0)
            name = QuotedText(value.mid(q));
        p.name = name.left(kExtPrmNameLen).leftJustified(kExtPrmNameLen, QLatin1Char(' '));

        // The data-type line follows; comment lines in between are skipped.
        QString typeLine;
        do {
            if (!lines_.GetLine(typeLine))
                throw GsdError("the file ends before the data type line");
            show(typeLine);
            typeLine = typeLine.trimmed();
        } while (typeLine.isEmpty());
        dataType(p, typeLine);
    }

    static void dataType(GsdExtPrm &p, const QString &line)
    {
        if (line.contains(QLatin1Char('=')))
            throw GsdError("the data type line is missing");
        int pos = 0;
        const int n = line.size();
        while (pos < n && !IsBlank(line[pos]))
            ++pos;
        // "BitArea( 0-3 )": the parentheses belong to the type word.
        const int open = line.indexOf(QLatin1Char('('));
        if (open >= 0 && open < pos) {
            const int close = line.indexOf(QLatin1Char(')'), open);
            if (close > pos)
                pos = close + 1;
        }
        if (pos >= n)
            throw GsdError("the data type line ends early");
        QString type = line.left(pos);
        type.remove(QLatin1Char(' '));
        p.type = type;
        p.defaultValue = GetNum(line, pos);
        p.min = GetNum(line, pos);
        if (pos < n && line[pos] == QLatin1Char('-')) {
            ++pos;
            p.max = GetNum(line, pos);
            return;
        }
        p.list.push_back(p.min);
        p.max = p.min;
        while (pos < n && IsBlank(line[pos])) {
            ++pos;
            if (pos >= n)
                break;
            const int32_t v = GetNum(line, pos);
            p.max = v;
            if (int(p.list.size()) < kMaxListValues)
                p.list.push_back(v);
        }
    }

    void constBytes(int offset, const QString &value)
    {
        if (offset < 0 || offset >= kMaxUserPrm)
            throw GsdError("constant offset out of range");
        const int m = t_.moduleCount;
        GsdModule &mod = t_.moduleAt(m);
        auto put = [&](int at, uint8_t b) {
            if (at >= int(mod.prmConst.size()))
                mod.prmConst.resize(std::size_t(at) + 1);
            mod.prmConst[std::size_t(at)] = b;
        };
        int i = 1;
        for (;; ++i) {
            int error = 0;
            const qint64 v = GetParameterValue(value, i, error);
            const int at = offset + i - 1;
            // The end of the list writes nothing: a zero here would wipe a
            // constant that an earlier line put at a higher offset.
            if (error)
                break;
            if (at >= kMaxUserPrm)
                throw GsdError("constant bytes beyond the parameter block");
            if (v < 0 || v > 255)
                throw GsdError("a constant byte is above 255");
            put(at, uint8_t(v));
        }
        if (mod.prmLen < offset + i - 1)
            mod.prmLen = offset + i - 1;

        // The device's own constants rebuild the record's parameter bytes from
        // every constant read so far.
        if (m != 0 || !writeDefaults_)
            return;
        if (w_.u > 0)
            RemoveUserPrm(ctx_.st);
        w_.u = qMin(mod.prmLen, kMaxUserPrm);
        for (int k = 0; k < w_.u; ++k)
            w_.prm[k] = t_.prmConst(0, k);
        InsertUserPrm(ctx_.st);
    }

    Context &ctx_;
    const GsdStatus &meldung_;
    GsdLineReader &lines_;
    GsdTables &t_;
    SlaveWork &w_;
    int textList_ = 0;    // a Text line before any PrmText goes to list 0
    int textCounter_ = 0;
    int def_ = 0;
    int refCounter_ = 0;
    int cfgByteCount_ = 0;
    QString moduleLine_;
    bool writeDefaults_ = true;
};

} // namespace

namespace {

QString DecodeGsdBytes(const char *data, qsizetype size, bool utf8)
{
    if (utf8)
        return QString::fromUtf8(data, size);
    bool latin1 = true;
    for (qsizetype i = 0; i < size && latin1; ++i)
        latin1 = uint8_t(data[i]) < 0x80 || uint8_t(data[i]) > 0x9F;
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

} // namespace

QString DecodeGsdText(const QByteArray &bytes, bool utf8)
{
    return DecodeGsdBytes(bytes.constData(), bytes.size(), utf8);
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

namespace {

// Bytes GetLine must look at; everything else is copied in runs.
struct SpecialBytes {
    bool is[256] = {};
    constexpr SpecialBytes()
    {
        for (const unsigned char c : {'\r', '\n', '"', ';', '\\', ','})
            is[c] = true;
    }
};
constexpr SpecialBytes kSpecial;

} // namespace

bool GsdLineReader::GetLine(QString &line)
{
    if (p_ >= end_)
        return false;
    buf_.clear();
    startLine_ = physLine_;
    bool inQuote = false;
    while (p_ < end_) {
        const char *run = p_;
        while (p_ < end_ && !kSpecial.is[uint8_t(*p_)])
            ++p_;
        buf_.append(run, std::size_t(p_ - run));
        if (p_ >= end_)
            break;
        const char ch = *p_++;
        // CR LF, CR and LF each end a line.
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && p_ < end_ && *p_ == '\n')
                ++p_;
            ++physLine_;
            break;
        }
        if (ch == '"') {
            inQuote = !inQuote;
            buf_.push_back(ch);
        } else if (ch == ';' && !inQuote) {
            // The comment runs to the line end; a "\" in it continues nothing.
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
            if (!buf_.empty() && buf_.back() != ' ')
                buf_.push_back(' ');
        } else {
            buf_.push_back(ch == ',' && !inQuote ? ' ' : ch);
        }
    }
    line = DecodeGsdBytes(buf_.data(), qsizetype(buf_.size()), utf8_);
    return true;
}

qint64 GetParameterValue(const QString &text, int n, int &error)
{
    const int len = text.size();
    int i = 0;
    while (i < len && IsItemSeparator(text[i]))
        ++i;
    for (int k = 1; k < n; ++k) {
        while (i < len && !IsItemSeparator(text[i]))
            ++i;
        while (i < len && IsItemSeparator(text[i]))
            ++i;
    }
    if (i >= len || n < 1) {
        error = 1;
        return 0;
    }
    int j = i;
    while (j < len && (HexDigit(text[j]) >= 0 || text[j] == QLatin1Char('x') || text[j] == QLatin1Char('X')))
        ++j;
    if (j == i) {
        error = 1; // "-", "&" or a word: not a number here
        return 0;
    }
    qint64 v = 0;
    if (j - i > 2 && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        for (int k = i + 2; k < j; ++k) {
            const int d = HexDigit(text[k]);
            if (d < 0)
                throw GsdError("not a hexadecimal number");
            v = v * 16 + d;
            if (v > 0xFFFFFFFFLL)
                throw GsdError("number beyond 32 bits");
        }
        return v;
    }
    for (int k = i; k < j; ++k) {
        if (!IsDigit(text[k]))
            throw GsdError("not a number");
        v = v * 10 + (text[k].unicode() - '0');
        if (v > 0xFFFFFFFFLL)
            throw GsdError("number beyond 32 bits");
    }
    return v;
}

int32_t GetNum(const QString &line, int &pos)
{
    const int n = line.size();
    while (pos < n && (line[pos] == QLatin1Char(' ') || line[pos] == QLatin1Char('\t')))
        ++pos;
    if (pos >= n)
        throw GsdError("the data type line ends early");
    constexpr qint64 kClamp = 10000000; // keeps the running value far from overflow
    int i = pos;
    bool negative = false;
    if (line[i] == QLatin1Char('-') && i + 1 < n && IsDigit(line[i + 1])) {
        negative = true;
        ++i;
    }
    if (i >= n || !IsDigit(line[i]))
        return 0;
    qint64 v = 0;
    if (line[i] == QLatin1Char('0') && i + 2 < n && (line[i + 1] == QLatin1Char('x') || line[i + 1] == QLatin1Char('X'))
        && HexDigit(line[i + 2]) >= 0) {
        i += 2;
        for (; i < n && HexDigit(line[i]) >= 0; ++i) {
            if (v > kClamp * 16)
                v = kClamp * 16;
            v = v * 16 + HexDigit(line[i]);
        }
    } else {
        for (; i < n && IsDigit(line[i]); ++i) {
            if (v > kClamp)
                v = kClamp;
            v = v * 10 + (line[i].unicode() - '0');
        }
    }
    pos = i;
    v = qMin<qint64>(v, INT32_MAX);
    return int32_t(negative ? -v : v);
}

QString FindGsdFile(const Context &ctx, const QString &fileName)
{
    const QString inRoot = FindFileNoCase(ctx.root.gsdDir(), fileName);
    if (!inRoot.isEmpty() && QFileInfo(inRoot).isFile() && QFileInfo(inRoot).size() > 10)
        return inRoot;
    const QString cfg = ctx.root.mapPath(ctx.st.configFileName);
    const QString folder = cfg.isEmpty() ? QStringLiteral(".") : QFileInfo(cfg).path();
    const QString there = FindFileNoCase(folder, fileName);
    return !there.isEmpty() && QFileInfo(there).isFile() ? there : QString();
}

GsdOutcome LoadGSD(Context &ctx, const QString &fileName, const GsdStatus &meldung)
{
    return LoadGsdFile(ctx, FindGsdFile(ctx, fileName), fileName, meldung);
}

namespace {

// The start of every read: empty tables and the record's GSD code, the
// first four characters of the file name.
bool StartRead(Context &ctx, const QString &fileName, const GsdStatus &meldung, GsdOutcome &out)
{
    State &st = ctx.st;
    ClearGsdTables(st.gsd);
    try {
        RecomputeLengths(st);
        const int code = 43 + st.slave.u + st.slave.c;
        for (int i = 0; i < 4 && i < fileName.size(); ++i) {
            const char16_t u = fileName[i].unicode();
            st.record[code + i] = uint8_t(u < 256 ? u : '?');
        }
    } catch (const std::exception &) {
        out.kind = GsdOutcome::Kind::Stopped;
        out.status = QStringLiteral("Error in GSD-File: the record is damaged");
        if (meldung)
            meldung(out.status);
        return false;
    }
    return true;
}

void ReadBytes(Context &ctx, const QByteArray &bytes, const GsdStatus &meldung, GsdOutcome &out)
{
    State &st = ctx.st;
    if (bytes.size() > kMaxGsdFileSize) {
        out.kind = GsdOutcome::Kind::Stopped;
        out.status = QStringLiteral("Error in GSD-File: file too large");
        if (meldung)
            meldung(out.status);
        Pause(ctx);
        st.slave.gsdLoaded = true;
        return;
    }
    GsdLineReader lines(bytes);
    Reader reader(ctx, meldung, lines);
    try {
        reader.run();
        st.slave.gsdLoaded = true;
    } catch (const StopRead &stop) {
        out.kind = GsdOutcome::Kind::Stopped;
        out.line = lines.lineNumber();
        if (stop.reported)
            st.slave.gsdLoaded = true;
    } catch (const std::exception &e) {
        // A value the reader cannot use, or a record index out of range: the
        // read ends at this line and what was stored so far stays.
        out.kind = GsdOutcome::Kind::Stopped;
        out.line = lines.lineNumber();
        const QString text = QStringLiteral("Error in GSD-File: line %1: %2").arg(out.line).arg(QString::fromLocal8Bit(e.what()));
        qCDebug(lcGsd) << out.path << text;
        reader.show(text);
        Pause(ctx);
    }
    out.status = reader.status;
}

} // namespace

GsdOutcome LoadGsdFile(Context &ctx, const QString &path, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    out.path = path;
    if (!StartRead(ctx, fileName, meldung, out))
        return out;
    QFile file(path);
    if (path.isEmpty() || !OpenRegularFile(file)) {
        ctx.st.slave.gsdLoaded = true;
        out.kind = GsdOutcome::Kind::NotFound;
        return out;
    }
    // Read in pieces up to the limit.
    QByteArray bytes;
    bytes.reserve(qsizetype(qBound<qint64>(0, file.size(), kMaxGsdFileSize) + 1));
    while (bytes.size() <= kMaxGsdFileSize) {
        const QByteArray piece = file.read(64 * 1024);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    file.close();
    ReadBytes(ctx, bytes, meldung, out);
    return out;
}

GsdOutcome LoadGsdBytes(Context &ctx, const QByteArray &bytes, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    if (StartRead(ctx, fileName, meldung, out))
        ReadBytes(ctx, bytes, meldung, out);
    return out;
}

std::vector<uint8_t> ModuleConfigBytes(const QString &moduleLine)
{
    // The identifier bytes follow the module name's closing quote.
    int i = 0;
    while (i < moduleLine.size() && IsBlank(moduleLine[i]))
        ++i;
    const int quote = moduleLine.indexOf(QLatin1Char('"'), i);
    const QString rest = quote < 0 ? moduleLine.mid(i) : moduleLine.mid(quote + 1);
    std::vector<uint8_t> bytes;
    for (int n = 1;; ++n) {
        int error = 0;
        const qint64 v = GetParameterValue(rest, n, error);
        if (error)
            break;
        if (v > 255)
            throw GsdError("an identifier byte is above 255");
        bytes.push_back(uint8_t(v));
    }
    return bytes;
}

QString ModuleName(const QString &moduleLine)
{
    const int quote = moduleLine.indexOf(QLatin1Char('"'));
    return (quote < 0 ? moduleLine : moduleLine.left(quote)).trimmed();
}

bool AddConfig(Context &ctx, const QString &moduleLine, int &cfgByteCount, const GsdStatus &meldung)
{
    State &st = ctx.st;
    RemoveCfg(st);
    const std::vector<uint8_t> bytes = ModuleConfigBytes(moduleLine);
    // The count is checked before each item, the one that finds the list's
    // end included: at most 63 identifier bytes come from module lines.
    for (std::size_t k = 0; k <= bytes.size(); ++k) {
        if (cfgByteCount >= kMaxCfg) {
            const QString text = ctx.tr(QStringLiteral("Error: too much Config data !"),
                                        QStringLiteral("Fehler: Config-Data zu lang !"));
            if (meldung)
                meldung(text);
            Pause(ctx);
            return false;
        }
        if (k == bytes.size())
            break;
        st.slave.cfg[cfgByteCount++] = bytes[k];
    }
    st.slave.c = cfgByteCount;
    return InsertCfg(ctx) == 0;
}

void ClearGsdTables(GsdTables &tables)
{
    tables.clear();
}

} // namespace meridan
