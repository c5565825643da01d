// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd.h"

#include "core/readfile.h"

#include "core/context.h"
#include "slave/prm_type.h"
#include "slave/record.h"
#include "core/numbers.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGsd, "meridan.slave.gsd", QtWarningMsg) // debug: why a read stopped

namespace meridan {

namespace {

// Windows-1252 differs from Latin-1 in 0x80..0x9F; undefined codes stay as
// their Latin-1 control characters.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsBlank(QChar c) { return c.unicode() <= 32; }

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool IsItemSeparator(QChar c) { return c.unicode() <= 32 || c == QLatin1Char(','); }

constexpr qint64 kMin32 = INT32_MIN;  // the 32-bit signed and unsigned ranges together
constexpr qint64 kMax32 = UINT32_MAX;

// GSD keywords are case-insensitive. Most lines of a file carry other keys,
// so the lookup rejects them by length before comparing any text.
struct Keyword {
    QLatin1StringView name;
    GsdKey kw;
};

const Keyword kKeywords[] = {
    {QLatin1StringView("Vendor_Name"), GsdKey::VendorName},
    {QLatin1StringView("Hardware_Release"), GsdKey::HardwareRelease},
    {QLatin1StringView("Software_Release"), GsdKey::SoftwareRelease},
    {QLatin1StringView("Model_Name"), GsdKey::ModelName},
    {QLatin1StringView("Ident_Number"), GsdKey::IdentNumber},
    {QLatin1StringView("User_Prm_Data_Len"), GsdKey::UserPrmDataLen},
    {QLatin1StringView("User_Prm_Data"), GsdKey::UserPrmData},
    {QLatin1StringView("Module"), GsdKey::Module},
    {QLatin1StringView("Modular_Station"), GsdKey::ModularStation},
    {QLatin1StringView("PrmText"), GsdKey::PrmText},
    {QLatin1StringView("Text"), GsdKey::Text},
    {QLatin1StringView("ExtUserPrmData"), GsdKey::ExtUserPrmData},
    {QLatin1StringView("Prm_Text_Ref"), GsdKey::PrmTextRef},
    {QLatin1StringView("Ext_Module_Prm_Data_Len"), GsdKey::ExtModulePrmDataLen},
    {QLatin1StringView("Ext_User_Prm_Data_Const"), GsdKey::ExtUserPrmDataConst},
    {QLatin1StringView("Ext_User_Prm_Data_Ref"), GsdKey::ExtUserPrmDataRef},
    {QLatin1StringView("GSD_Revision"), GsdKey::GsdRevision},
    {QLatin1StringView("Revision"), GsdKey::Revision},
    {QLatin1StringView("Max_User_Prm_Data_Len"), GsdKey::MaxUserPrmDataLen},
    {QLatin1StringView("Max_Module"), GsdKey::MaxModule},
};

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
        // The device's defaults go only into a record that has no device
        // yet. The editor reads a stored record's file again each time it
        // opens it; that read must not replace the user's parameters or
        // identifier bytes, nor drop the module blocks that follow the
        // device's own bytes.
        writeDefaults_ = !w_.gsdLoaded && ctx.st.record[30] == 0 && ctx.st.record[31] == 0;
    }

    void run()
    {
        QString line;
        while (lines_.GetLine(line)) {
            if (!errorShown_)
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

    static qint64 item(QStringView value) { return GsdNumber(value, kMin32, kMax32); }
    static qint64 number(QStringView value, qint64 lo, qint64 hi) { return GsdNumber(value, lo, hi); }

    static int keyIndex(const GsdKeyLine &k)
    {
        qint64 v = 0;
        if (!k.hasIndex || !ParseGsdIndex(k.index, v))
            throw GsdError("the index in parentheses is not a number");
        return int(qBound<qint64>(qint64(INT_MIN), v, qint64(INT_MAX)));
    }

    // Lines between Module and EndModule belong to that module; every other
    // line, also one after the last module, belongs to the device.
    int block() const { return inModule_ ? t_.moduleCount : 0; }

    void dispatch(const QString &line)
    {
        GsdKeyLine k;
        if (!SplitGsdLine(line, k)) {
            if (inModule_ && IsEndModuleLine(line)) {
                inModule_ = false;
                refCounter_ = t_.prmRefCount(0); // the device's references go on after its last one
            }
            return; // other block ends, module reference numbers, the "#Profibus_DP" head
        }
        const std::optional<GsdKey> it = FindGsdKey(k.key);
        if (!it)
            return;
        QStringView value = k.value;

        switch (*it) {
        case GsdKey::VendorName:
            t_.vendor = GsdQuotedText(value);
            break;
        case GsdKey::HardwareRelease:
            t_.hardwareRelease = GsdQuotedText(value);
            break;
        case GsdKey::SoftwareRelease:
            t_.softwareRelease = GsdQuotedText(value);
            break;
        case GsdKey::ModelName:
            t_.model = GsdQuotedText(value);
            break;
        case GsdKey::IdentNumber: {
            const qint64 v = number(value, 0, 0xFFFF);
            ctx_.st.record[30] = uint8_t(v >> 8);
            ctx_.st.record[31] = uint8_t(v & 0xFF);
            break;
        }
        case GsdKey::UserPrmDataLen: {
            const int v = int(number(value, 0, kMaxUserPrm));
            if (w_.u == 0) {
                RemoveUserPrm(ctx_.st);
                w_.u = v;
            }
            t_.moduleAt(0).prmLen = v;
            break;
        }
        case GsdKey::UserPrmData:
            userPrmData(value);
            break;
        case GsdKey::Module:
            // The Module value keeps the name's closing quote: AddConfig finds
            // the identifier bytes after it.
            module(value.startsWith(QLatin1Char('"')) ? value.mid(1).toString() : value.toString());
            break;
        case GsdKey::ModularStation:
            t_.modular = int(number(value, 0, 0xFFFF));
            break;
        case GsdKey::PrmText: {
            const qint64 n = item(value);
            if (n > kMaxGsdNumber)
                report(QStringLiteral("Error in GSD-File: PrmText > %1").arg(kMaxGsdNumber));
            textList_ = int(n);
            textCounter_ = 0;
            t_.textListAt(textList_).clear(); // a list read again starts afresh
            break;
        }
        case GsdKey::Text: {
            qint64 v = 0;
            if (!k.hasIndex || !ParseGsdIndex(k.index, v))
                throw GsdError("the index in parentheses is not a number");
            if (textCounter_ < kMaxTextEntries) {
                t_.textListAt(textList_).push_back({v, GsdQuotedText(value)});
                ++textCounter_;
            }
            break;
        }
        case GsdKey::ExtUserPrmData:
            extUserPrmData(value);
            break;
        case GsdKey::PrmTextRef:
            t_.extPrmAt(def_).textRef = int(number(value, 0, kMaxGsdNumber));
            break;
        case GsdKey::ExtModulePrmDataLen: {
            // A module's length; outside a module block it has no block to set.
            const int v = int(number(value, 0, kMaxUserPrm));
            if (inModule_) {
                t_.moduleAt(t_.moduleCount).prmLen = v;
                refCounter_ = 0;
            }
            break;
        }
        case GsdKey::ExtUserPrmDataConst:
            constBytes(keyIndex(k), value);
            break;
        case GsdKey::ExtUserPrmDataRef: {
            const int offset = keyIndex(k);
            if (offset < 0 || offset >= kMaxUserPrm)
                throw GsdError("parameter offset out of range");
            const int ref = int(number(value, 0, kMaxGsdNumber));
            auto &refs = t_.moduleAt(block()).refs;
            if (refCounter_ >= int(refs.size()))
                refs.resize(std::size_t(refCounter_) + 1);
            refs[std::size_t(refCounter_)] = {offset, ref};
            ++refCounter_;
            break;
        }
        case GsdKey::GsdRevision:
            (void)GsdItems(value).next(revision_); // read, not used
            Pause(ctx_); // the revision line stays readable for a moment
            break;
        case GsdKey::Revision:
        case GsdKey::MaxUserPrmDataLen:
        case GsdKey::MaxModule:
            break;
        }
    }

    void userPrmData(QStringView value)
    {
        if (block() != 0 || w_.u <= 0 || !writeDefaults_)
            return;
        const int len = w_.u;
        GsdItems items(value);
        for (int i = 0; i < len; ++i) {
            qint64 v = 0;
            if (items.next(v) != GsdItems::Item::Number)
                v = 0; // missing bytes are 0
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
        inModule_ = true;
        refCounter_ = 0; // each module's references start at its own first row
        if (t_.modular != 0)
            return;
        moduleLine_ = value;
        if (t_.moduleCount == 1) {
            if (writeDefaults_)
                AddConfig(ctx_, moduleLine_, cfgByteCount_, meldung_);
            return;
        }
        show(QStringLiteral("Error in GSD-File: multiple modules"));
        errorShown_ = true; // stays in view after the pause, not replaced by the lines that follow
        Pause(ctx_);
        if (writeDefaults_)
            RemoveCfg(ctx_.st);
        t_.modular = 1;
    }

    void extUserPrmData(QStringView value)
    {
        const qint64 d = item(value);
        if (d > kMaxGsdNumber) {
            def_ = kMaxGsdNumber;
            report(QStringLiteral("Error in GSD-File: ExtUserPrmData > %1").arg(kMaxGsdNumber));
        }
        def_ = int(d);
        GsdExtPrm &p = t_.extPrmAt(def_);
        p = GsdExtPrm{};
        QString name = value.toString();
        const auto q = value.indexOf(QLatin1Char('"'));
        if (q > 0)
            name = GsdQuotedText(value.mid(q));
        p.name = name.left(kExtPrmNameLen).leftJustified(kExtPrmNameLen, QLatin1Char(' '));

        // The data-type line follows; comment lines in between are skipped.
        QString typeLine;
        do {
            if (!lines_.GetLine(typeLine))
                throw GsdError("the file ends before the data type line");
            show(typeLine);
            typeLine = typeLine.trimmed();
        } while (typeLine.isEmpty());
        ReadDataTypeLine(typeLine, p);
    }

    void constBytes(int offset, QStringView value)
    {
        if (offset < 0 || offset >= kMaxUserPrm)
            throw GsdError("constant offset out of range");
        const int m = block();
        GsdModule &mod = t_.moduleAt(m);
        int at = offset;
        GsdItems items(value);
        qint64 v = 0;
        // The end of the list writes nothing: a zero here would wipe a
        // constant that an earlier line put at a higher offset.
        while (items.next(v) == GsdItems::Item::Number) {
            if (at >= kMaxUserPrm)
                throw GsdError("constant bytes beyond the parameter block");
            if (v < 0 || v > 255)
                throw GsdError("a constant byte is above 255");
            if (at >= int(mod.prmConst.size()))
                mod.prmConst.resize(std::size_t(at) + 1);
            mod.prmConst[std::size_t(at)] = uint8_t(v);
            ++at;
        }
        if (mod.prmLen < at)
            mod.prmLen = at;

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
    qint64 revision_ = 0;
    bool inModule_ = false;
    bool errorShown_ = false; // an error text is in the status line
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

namespace {

// A number item: decimal, or hexadecimal after "0x"; at most 32 bits.
qint64 ItemNumber(QStringView s)
{
    qint64 v = 0;
    if (s.size() > 2 && s[0] == QLatin1Char('0') && (s[1] == QLatin1Char('x') || s[1] == QLatin1Char('X'))) {
        for (qsizetype k = 2; k < s.size(); ++k) {
            const int d = HexDigit(s[k]);
            if (d < 0)
                throw GsdError("not a hexadecimal number");
            v = v * 16 + d;
            if (v > kMax32)
                throw GsdError("number beyond 32 bits");
        }
        return v;
    }
    for (const QChar c : s) {
        if (!IsDigit(c))
            throw GsdError("not a number");
        v = v * 10 + (c.unicode() - '0');
        if (v > kMax32)
            throw GsdError("number beyond 32 bits");
    }
    return v;
}

} // namespace

GsdItems::Item GsdItems::next(qint64 &value)
{
    const qsizetype len = s_.size();
    while (i_ < len && IsItemSeparator(s_[i_]))
        ++i_;
    if (i_ >= len)
        return Item::End;
    const qsizetype start = i_;
    qsizetype j = i_;
    while (j < len && (HexDigit(s_[j]) >= 0 || s_[j] == QLatin1Char('x') || s_[j] == QLatin1Char('X')))
        ++j;
    // The item ends at the next separator; only its leading run is a number.
    i_ = j;
    while (i_ < len && !IsItemSeparator(s_[i_]))
        ++i_;
    if (j == start)
        return Item::NotNumber;
    value = ItemNumber(s_.mid(start, j - start));
    return Item::Number;
}

bool GsdItems::skip()
{
    const qsizetype len = s_.size();
    while (i_ < len && IsItemSeparator(s_[i_]))
        ++i_;
    if (i_ >= len)
        return false;
    while (i_ < len && !IsItemSeparator(s_[i_]))
        ++i_;
    return true;
}

qint64 GsdNumber(QStringView value, qint64 lo, qint64 hi)
{
    qint64 v = 0;
    if (GsdItems(value).next(v) != GsdItems::Item::Number)
        throw GsdError("not a number");
    if (v < lo || v > hi)
        throw GsdError(QStringLiteral("value %1 out of range %2..%3").arg(v).arg(lo).arg(hi).toStdString());
    return v;
}

qint64 GetParameterValue(const QString &text, int n, int &error)
{
    GsdItems items(text);
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

int64_t GetNum(const QString &line, int &pos)
{
    const int n = line.size();
    while (pos < n && (line[pos] == QLatin1Char(' ') || line[pos] == QLatin1Char('\t')))
        ++pos;
    if (pos >= n)
        throw GsdError("the data type line ends early");
    int i = pos;
    bool negative = false;
    if (line[i] == QLatin1Char('-') && i + 1 < n && IsDigit(line[i + 1])) {
        negative = true;
        ++i;
    }
    if (i >= n || !IsDigit(line[i]))
        return 0;
    qint64 v = 0;
    const auto grow = [&v](int base, int digit) {
        v = v * base + digit;
        if (v > kMax32)
            throw GsdError("number beyond 32 bits");
    };
    if (line[i] == QLatin1Char('0') && i + 2 < n && (line[i + 1] == QLatin1Char('x') || line[i + 1] == QLatin1Char('X'))
        && HexDigit(line[i + 2]) >= 0) {
        for (i += 2; i < n && HexDigit(line[i]) >= 0; ++i)
            grow(16, HexDigit(line[i]));
    } else {
        for (; i < n && IsDigit(line[i]); ++i)
            grow(10, line[i].unicode() - '0');
    }
    if (negative && -v < kMin32)
        throw GsdError("number beyond 32 bits");
    pos = i;
    return negative ? -v : v;
}

int ReadDataTypeLine(const QString &line, GsdExtPrm &p, int *values)
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

    // What the field can hold; a type the editor cannot place is held to 32 bits.
    const FieldType f = ParseFieldType(type);
    const bool known = f.kind != FieldType::Kind::Other && (f.kind != FieldType::Kind::BitArea || f.writable);
    const qint64 lo = known ? f.lowest : kMin32;
    const qint64 hi = known ? f.highest : kMax32;
    const auto checked = [&](int64_t v) {
        if (v < lo || v > hi)
            throw GsdError(QStringLiteral("value %1 outside %2 (%3..%4)").arg(v).arg(type).arg(lo).arg(hi).toStdString());
        return v;
    };

    p.defaultValue = checked(GetNum(line, pos));
    p.min = checked(GetNum(line, pos));
    p.list.clear();
    if (pos < n && line[pos] == QLatin1Char('-')) {
        ++pos;
        p.max = checked(GetNum(line, pos));
        if (p.min > p.max)
            throw GsdError(QStringLiteral("minimum %1 above maximum %2").arg(p.min).arg(p.max).toStdString());
        if (values)
            *values = 0;
        return pos;
    }
    p.list.push_back(p.min);
    p.max = p.min;
    int count = 1;
    while (pos < n && IsBlank(line[pos])) {
        ++pos;
        if (pos >= n)
            break;
        const int64_t v = checked(GetNum(line, pos));
        p.max = v;
        ++count;
        if (int(p.list.size()) < kMaxListValues)
            p.list.push_back(v);
    }
    if (values)
        *values = count;
    return pos;
}

std::optional<GsdKey> FindGsdKey(QStringView key)
{
    for (const Keyword &k : kKeywords) {
        if (k.name.size() == key.size() && key.compare(k.name, Qt::CaseInsensitive) == 0)
            return k.kw;
    }
    return std::nullopt;
}

bool SplitGsdLine(const QString &line, GsdKeyLine &out)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 1)
        return false;
    QStringView key = QStringView(line).left(eq).trimmed();
    out.hasIndex = false;
    out.index = {};
    const auto open = key.indexOf(QLatin1Char('('));
    if (open > 0) {
        const auto close = key.indexOf(QLatin1Char(')'), open);
        out.index = (close < 0 ? key.mid(open + 1) : key.mid(open + 1, close - open - 1)).trimmed();
        out.hasIndex = true;
        key = key.left(open).trimmed();
    }
    out.key = key;
    out.value = QStringView(line).mid(eq + 1).trimmed();
    return true;
}

bool ParseGsdIndex(QStringView s, qint64 &value)
{
    bool negative = false;
    if (!s.isEmpty() && (s[0] == QLatin1Char('-') || s[0] == QLatin1Char('+'))) {
        negative = s[0] == QLatin1Char('-');
        s = s.mid(1);
    }
    if (s.isEmpty())
        return false;
    qint64 v = 0;
    try {
        v = ItemNumber(s); // the whole text must be the number
    } catch (const GsdError &) {
        return false;
    }
    if (negative && -v < kMin32)
        return false;
    value = negative ? -v : v;
    return true;
}

QString GsdQuotedText(QStringView value)
{
    if (!value.startsWith(QLatin1Char('"')))
        return value.toString();
    const auto close = value.indexOf(QLatin1Char('"'), 1);
    return (close < 0 ? value.mid(1) : value.mid(1, close - 1)).toString();
}

bool IsEndModuleLine(const QString &line)
{
    return QStringView(line).trimmed().compare(QLatin1String("EndModule"), Qt::CaseInsensitive) == 0;
}

namespace {

// The physical line at `p` starts with `word`, in any case.
bool LineStartsWith(const char *p, const char *end, QLatin1StringView word)
{
    if (end - p < word.size())
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (QChar::toLower(char16_t(uint8_t(p[i]))) != QChar::toLower(char16_t(uint8_t(word[i].toLatin1()))))
            return false;
    }
    return true;
}

} // namespace

bool LooksLikeGsd(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        p += 3;
    const QLatin1StringView head("#Profibus_DP");
    const QLatin1StringView ident("Ident_Number");
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

QStringList GsdSearchFolders(const Context &ctx)
{
    const QString cfg = ctx.root.mapPath(ctx.st.configFileName);
    return {ctx.root.gsdDir(), cfg.isEmpty() ? QStringLiteral(".") : QFileInfo(cfg).path()};
}

QString FindGsdFile(const Context &ctx, const QString &fileName)
{
    const QStringList folders = GsdSearchFolders(ctx);
    const QString inRoot = FindFileNoCase(folders[0], fileName);
    if (!inRoot.isEmpty() && QFileInfo(inRoot).isFile() && QFileInfo(inRoot).size() > kMinGsdSize)
        return inRoot;
    const QString there = FindFileNoCase(folders[1], fileName);
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

namespace {

// A file that is no device description leaves the record and the tables as
// they were: reading on would reset the tables and write a GSD code.
bool RefuseNonGsd(Context &ctx, const QByteArray &bytes, const GsdStatus &meldung, GsdOutcome &out)
{
    if (bytes.size() > kMaxGsdFileSize || LooksLikeGsd(bytes))
        return false;
    out.kind = GsdOutcome::Kind::NotGsd;
    out.status = QStringLiteral("Error in GSD-File: not a GSD file");
    if (meldung)
        meldung(out.status);
    Pause(ctx);
    return true;
}

} // namespace

GsdOutcome LoadGsdFile(Context &ctx, const QString &path, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    out.path = path;
    QFile file(path);
    if (path.isEmpty() || !OpenRegularFile(file)) {
        if (StartRead(ctx, fileName, meldung, out)) {
            ctx.st.slave.gsdLoaded = true;
            out.kind = GsdOutcome::Kind::NotFound;
        }
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
    if (!RefuseNonGsd(ctx, bytes, meldung, out) && StartRead(ctx, fileName, meldung, out))
        ReadBytes(ctx, bytes, meldung, out);
    return out;
}

GsdOutcome LoadGsdBytes(Context &ctx, const QByteArray &bytes, const QString &fileName, const GsdStatus &meldung)
{
    GsdOutcome out;
    if (!RefuseNonGsd(ctx, bytes, meldung, out) && StartRead(ctx, fileName, meldung, out))
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
    GsdItems items(quote < 0 ? QStringView(moduleLine).mid(i) : QStringView(moduleLine).mid(quote + 1));
    std::vector<uint8_t> bytes;
    qint64 v = 0;
    while (items.next(v) == GsdItems::Item::Number) {
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
