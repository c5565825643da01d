// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_check.h"
#include "core/readfile.h"

#include "core/context.h"
#include "slave/gsd.h"
#include "slave/record.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>

namespace meridan {

namespace {

using Level = GsdFinding::Level;

constexpr int kModuleLineCfg = kMaxCfg - 1;   // identifier bytes one module line can bring
constexpr int kMaxStationModules = kModuleListLen; // the record's module list
constexpr qint64 kAny = 0xFFFFFFFFLL;

QString Quoted(QStringView text)
{
    constexpr int kShown = 40;
    const QString t = text.trimmed().toString();
    return QLatin1Char('"') + (t.size() > kShown ? t.left(kShown) + QStringLiteral("...") : t) + QLatin1Char('"');
}

bool IsPlainKey(QStringView key)
{
    if (key.isEmpty())
        return false;
    for (const QChar c : key) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') && c != QLatin1Char('.'))
            return false;
    }
    return true;
}

bool IsNumberList(QStringView text)
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

QString Plural(int n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// One parameter block: the device's (lines outside module blocks) or a module's.
struct Block {
    QString name; // null for the device
    int line = 0;
    int declaredLen = -1; // User_Prm_Data_Len or Ext_Module_Prm_Data_Len
    int constEnd = 0;
    struct Const {
        int from, to, line;
    };
    std::vector<Const> consts;
    int refs = 0;

    bool device() const { return name.isNull(); }
    QString what() const { return device() ? QStringLiteral("the device") : QStringLiteral("module ") + Quoted(name); }
    QString lengthKey() const { return device() ? QStringLiteral("User_Prm_Data_Len") : QStringLiteral("Ext_Module_Prm_Data_Len"); }
    int prmLen() const { return std::max(declaredLen, constEnd); } // as the reader counts it
};

struct Definition {
    int line = 0;
    int64_t defaultValue = 0;
    bool typed = false;
};

struct TextList {
    int line = 0;
    int count = 0;
    std::vector<int64_t> values; // in file order; the reader keeps the first 128
};

struct Reference {
    int def = 0;    // the ExtUserPrmData that names it (Prm_Text_Ref only)
    int number = 0;
    int line = 0;
};

class Checker {
public:
    explicit Checker(const QByteArray &bytes) : bytes_(bytes) {}

    GsdCheck run()
    {
        if (!LooksLikeGsd(bytes_)) {
            add(Level::Error, 1, QStringLiteral("not a GSD file: no #Profibus_DP line and no Ident_Number"));
            return std::move(out_);
        }
        fileForm();
        GsdLineReader lines(bytes_);
        QString text;
        while (lines.GetLine(text)) {
            const int at = lines.lineNumber();
            try {
                line(text, at);
            } catch (const GsdError &e) {
                add(Level::Error, at, QString::fromLocal8Bit(e.what()));
            }
        }
        closeModule();
        finish();
        readerStop();
        std::stable_sort(out_.findings.begin(), out_.findings.end(), [](const GsdFinding &a, const GsdFinding &b) {
            return a.line != b.line ? a.line < b.line : a.level < b.level;
        });
        return std::move(out_);
    }

private:
    void add(Level level, int line, const QString &text) { out_.findings.push_back({level, line, text}); }

    Block &block() { return inModule_ ? module_ : device_; }

    void line(const QString &text, int at)
    {
        if (expectType_) {
            if (text.trimmed().isEmpty())
                return;
            expectType_ = false;
            dataTypeLine(text.trimmed(), at);
            return;
        }
        GsdKeyLine k;
        if (!SplitGsdLine(text, k)) {
            bareLine(text, at);
            return;
        }
        if (!IsPlainKey(k.key)) {
            add(Level::Note, at, QStringLiteral("not understood: ") + Quoted(text));
            return;
        }
        const std::optional<GsdKey> key = FindGsdKey(k.key);
        if (key)
            keyLine(*key, k, at);
    }

    void bareLine(const QString &text, int at)
    {
        const QStringView t = QStringView(text).trimmed();
        if (t.isEmpty() || t.compare(QLatin1String("#Profibus_DP"), Qt::CaseInsensitive) == 0)
            return;
        if (IsEndModuleLine(text)) {
            closeModule();
            return;
        }
        // Block words ("EndPrmText", "SlotDefinition") and a module's
        // reference number stand alone on their lines.
        if (IsPlainKey(t) || (inModule_ && IsNumberList(t)))
            return;
        add(Level::Note, at, QStringLiteral("not understood: ") + Quoted(t));
    }

    // A number for a key the reader does not use: a bad one is doubtful, not fatal.
    std::optional<qint64> loose(QStringView value, int at, QStringView key)
    {
        try {
            return GsdNumber(value, 0, kAny);
        } catch (const GsdError &e) {
            add(Level::Warning, at, key.toString() + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()));
            return std::nullopt;
        }
    }

    static int Index(const GsdKeyLine &k)
    {
        qint64 v = 0;
        if (!k.hasIndex || !ParseGsdIndex(k.index, v))
            throw GsdError("the index in parentheses is not a number");
        return int(std::clamp<qint64>(v, -1, kMaxUserPrm));
    }

    void keyLine(GsdKey key, const GsdKeyLine &k, int at)
    {
        const QStringView v = k.value;
        switch (key) {
        case GsdKey::IdentNumber:
            seenIdent_ = true;
            GsdNumber(v, 0, 0xFFFF);
            break;
        case GsdKey::UserPrmDataLen:
            device_.declaredLen = int(GsdNumber(v, 0, kMaxUserPrm));
            device_.line = at;
            break;
        case GsdKey::MaxUserPrmDataLen:
            if (const auto n = loose(v, at, k.key)) {
                maxPrmLen_ = *n;
                maxPrmLine_ = at;
            }
            break;
        case GsdKey::MaxModule:
            if (const auto n = loose(v, at, k.key); n && *n > kMaxStationModules)
                add(Level::Warning, at,
                    QStringLiteral("Max_Module %1: a station's module list holds at most %2 modules").arg(*n).arg(kMaxStationModules));
            break;
        case GsdKey::ModularStation:
            modular_ = GsdNumber(v, 0, 0xFFFF) != 0;
            break;
        case GsdKey::Module:
            module(v, at);
            break;
        case GsdKey::PrmText: {
            const int n = int(GsdNumber(v, 0, kMaxGsdNumber));
            if (const auto it = texts_.find(n); it != texts_.end())
                add(Level::Warning, at,
                    QStringLiteral("PrmText %1 is defined again (first at line %2); this one replaces it").arg(n).arg(it->second.line));
            texts_[n] = TextList{at, 0, {}};
            text_ = n;
            break;
        }
        case GsdKey::Text: {
            qint64 value = 0;
            if (!k.hasIndex || !ParseGsdIndex(k.index, value))
                throw GsdError("the index in parentheses is not a number");
            TextList &list = texts_.try_emplace(text_, TextList{at, 0, {}}).first->second;
            if (++list.count == kMaxTextEntries + 1)
                add(Level::Warning, at,
                    QStringLiteral("PrmText %1: more than %2 texts; this one and the ones after it are not kept").arg(text_).arg(kMaxTextEntries));
            list.values.push_back(value);
            break;
        }
        case GsdKey::ExtUserPrmData: {
            expectType_ = true;
            typeLineOf_ = at;
            def_ = -1;
            const int d = int(GsdNumber(v, 0, kMaxGsdNumber));
            if (const auto it = defs_.find(d); it != defs_.end())
                add(Level::Warning, at,
                    QStringLiteral("ExtUserPrmData %1 is defined again (first at line %2); this one replaces it").arg(d).arg(it->second.line));
            defs_[d] = Definition{at, 0, false};
            def_ = d;
            break;
        }
        case GsdKey::PrmTextRef:
            textRefs_.push_back({def_, int(GsdNumber(v, 0, kMaxGsdNumber)), at});
            break;
        case GsdKey::ExtModulePrmDataLen: {
            const int len = int(GsdNumber(v, 0, kMaxUserPrm));
            if (inModule_)
                module_.declaredLen = len;
            else
                add(Level::Note, at, QStringLiteral("Ext_Module_Prm_Data_Len outside a module block is not used"));
            break;
        }
        case GsdKey::ExtUserPrmDataConst:
            constant(Index(k), v, at);
            break;
        case GsdKey::ExtUserPrmDataRef: {
            const int offset = Index(k);
            if (offset < 0 || offset >= kMaxUserPrm)
                throw GsdError("parameter offset out of range");
            refs_.push_back({0, int(GsdNumber(v, 0, kMaxGsdNumber)), at});
            Block &b = block();
            if (++b.refs == kExtPrmShown + 1)
                add(Level::Warning, at,
                    QStringLiteral("%1: more than %2 parameter references; the parameter editor shows the first %2")
                        .arg(b.what()).arg(kExtPrmShown));
            break;
        }
        default:
            break;
        }
    }

    void module(QStringView value, int at)
    {
        closeModule();
        ++modules_;
        inModule_ = true;
        const QString line = value.startsWith(QLatin1Char('"')) ? value.mid(1).toString() : value.toString();
        module_ = Block{};
        module_.name = ModuleName(line);
        module_.line = at;
        if (modules_ == kMaxGsdModules + 1)
            add(Level::Error, at, QStringLiteral("more than %1 modules").arg(kMaxGsdModules));
        if (modules_ == 2 && !modular_)
            add(Level::Warning, at, QStringLiteral("a second module, but Modular_Station is not 1: the station is read as modular"));
        const std::vector<uint8_t> bytes = ModuleConfigBytes(line);
        if (int(bytes.size()) > kModuleLineCfg)
            add(Level::Error, at,
                QStringLiteral("%1: %2 identifier bytes; a record takes at most %3 from one module")
                    .arg(module_.what()).arg(bytes.size()).arg(kModuleLineCfg));
        if (const std::optional<StatedLengths> stated = LengthsInModuleName(module_.name)) {
            int in = 0, out = 0;
            AddIoLengths(bytes.data(), int(bytes.size()), in, out);
            if ((stated->input >= 0 && stated->input != in) || (stated->output >= 0 && stated->output != out)) {
                QStringList says;
                if (stated->input >= 0)
                    says << Plural(stated->input, "input byte", "input bytes");
                if (stated->output >= 0)
                    says << Plural(stated->output, "output byte", "output bytes");
                add(Level::Warning, at,
                    QStringLiteral("%1: the name says %2, the identifier bytes give %3 and %4")
                        .arg(module_.what(), says.join(QStringLiteral(" and ")), Plural(in, "input byte", "input bytes"),
                             Plural(out, "output byte", "output bytes")));
            }
        }
    }

    void closeModule()
    {
        if (!inModule_)
            return;
        endOfBlock(module_);
        closed_.push_back(module_);
        inModule_ = false;
    }

    void constant(int offset, QStringView value, int at)
    {
        if (offset < 0 || offset >= kMaxUserPrm)
            throw GsdError("constant offset out of range");
        int count = 0;
        GsdItems items(value);
        qint64 v = 0;
        while (items.next(v) == GsdItems::Item::Number) {
            if (offset + count >= kMaxUserPrm)
                throw GsdError("constant bytes beyond the parameter block");
            if (v > 255)
                throw GsdError("a constant byte is above 255");
            ++count;
        }
        Block &b = block();
        const Block::Const c{offset, offset + count, at};
        for (const Block::Const &o : b.consts) {
            if (c.from < o.to && o.from < c.to) {
                add(Level::Warning, at,
                    QStringLiteral("Ext_User_Prm_Data_Const(%1) overlaps the constant bytes of line %2").arg(offset).arg(o.line));
                break;
            }
        }
        b.consts.push_back(c);
        b.constEnd = std::max(b.constEnd, c.to);
    }

    void endOfBlock(const Block &b)
    {
        if (b.declaredLen < 0)
            return;
        for (const Block::Const &c : b.consts) {
            if (c.to > b.declaredLen)
                add(Level::Warning, c.line,
                    QStringLiteral("Ext_User_Prm_Data_Const(%1): its bytes run past %2 %3").arg(c.from).arg(b.lengthKey()).arg(b.declaredLen));
        }
    }

    void dataTypeLine(const QString &text, int at)
    {
        GsdExtPrm p;
        int values = 0;
        const int end = ReadDataTypeLine(text, p, &values);
        const QString what = QStringLiteral("ExtUserPrmData %1").arg(def_);
        if (values > kMaxListValues)
            add(Level::Warning, at, QStringLiteral("%1: %2 list values; the first %3 are kept").arg(what).arg(values).arg(kMaxListValues));
        const QStringView rest = QStringView(text).mid(end).trimmed();
        if (!rest.isEmpty())
            add(Level::Note, at, QStringLiteral("not read after the values: ") + Quoted(rest));
        if (p.list.empty() && (p.defaultValue < p.min || p.defaultValue > p.max))
            add(Level::Warning, at,
                QStringLiteral("%1: default %2 outside its range %3..%4").arg(what).arg(p.defaultValue).arg(p.min).arg(p.max));
        if (!p.list.empty() && std::find(p.list.begin(), p.list.end(), p.defaultValue) == p.list.end())
            add(Level::Warning, at, QStringLiteral("%1: default %2 is not one of its values").arg(what).arg(p.defaultValue));
        if (const auto it = defs_.find(def_); it != defs_.end()) {
            it->second.defaultValue = p.defaultValue;
            it->second.typed = true;
        }
    }

    void finish()
    {
        if (expectType_)
            add(Level::Error, typeLineOf_, QStringLiteral("the file ends before the data type line"));
        endOfBlock(device_);
        const int device = device_.prmLen();
        if (maxPrmLen_ >= 0 && device > maxPrmLen_)
            add(Level::Error, device_.line ? device_.line : maxPrmLine_,
                QStringLiteral("the device's %1 parameter bytes are more than Max_User_Prm_Data_Len %2").arg(device).arg(maxPrmLen_));
        const bool deviceFits = maxPrmLen_ < 0 || device <= maxPrmLen_;
        for (const Block &m : closed_) {
            const int need = device + m.prmLen();
            if (m.prmLen() == 0 || !deviceFits)
                continue;
            if (maxPrmLen_ >= 0 && need > maxPrmLen_)
                add(Level::Warning, m.line,
                    QStringLiteral("%1: with the device's bytes it needs %2 parameter bytes, more than Max_User_Prm_Data_Len %3")
                        .arg(m.what()).arg(need).arg(maxPrmLen_));
            else if (need > kMaxUserPrm)
                add(Level::Warning, m.line,
                    QStringLiteral("%1: with the device's bytes it needs %2 parameter bytes, more than the %3 a record holds")
                        .arg(m.what()).arg(need).arg(kMaxUserPrm));
        }
        for (const Reference &r : refs_) {
            if (!defs_.count(r.number))
                add(Level::Warning, r.line, QStringLiteral("ExtUserPrmData %1 is not defined").arg(r.number));
        }
        for (const Reference &r : textRefs_) {
            const auto list = texts_.find(r.number);
            if (r.number == 0)
                continue;
            if (list == texts_.end()) {
                add(Level::Warning, r.line, QStringLiteral("PrmText %1 is not defined").arg(r.number));
                continue;
            }
            const auto def = defs_.find(r.def);
            if (def == defs_.end() || !def->second.typed)
                continue;
            const std::vector<int64_t> &values = list->second.values;
            const auto found = std::find(values.begin(), values.end(), def->second.defaultValue);
            const QString what = QStringLiteral("ExtUserPrmData %1: the text of default %2 in PrmText %3").arg(r.def).arg(def->second.defaultValue).arg(r.number);
            if (found == values.end())
                add(Level::Warning, r.line, what + QStringLiteral(" is missing"));
            else if (found - values.begin() >= kMaxTextEntries)
                add(Level::Warning, r.line, what + QStringLiteral(" is not among the %1 kept").arg(kMaxTextEntries));
        }
        if (!seenIdent_)
            add(Level::Error, 1, QStringLiteral("no Ident_Number: the station would get ident 0000"));
    }

    // Where the reader itself stops: the first error, after which nothing is read.
    void readerStop()
    {
        State st;
        CliPrompts ui; // the reader runs for the report only: nothing to show
        ui.quiet = true;
        VirtualPump pump;
        const Root root;
        Context ctx{st, ui, pump, root};
        st.currentStation = 12;
        NewSlaveRecord(st);
        const GsdOutcome out = LoadGsdBytes(ctx, bytes_, QStringLiteral("CHECK.GSD"));
        if (out.kind != GsdOutcome::Kind::Stopped)
            return;
        for (GsdFinding &f : out_.findings) {
            if (f.line == out.line && f.level == Level::Error) {
                f.text += QStringLiteral("; the reader stops here");
                return;
            }
        }
        static const QRegularExpression prefix(QStringLiteral("^Error in GSD-File: (line \\d+: )?"));
        add(Level::Error, out.line, QStringLiteral("the reader stops here: ") + QString(out.status).remove(prefix));
    }

    // Line ends and encoding, from the bytes.
    void fileForm()
    {
        enum End { CrLf, Lf, Cr };
        static const char *const kNames[] = {"CR LF", "LF", "CR"};
        int counts[3] = {};
        int first = -1, mixedAt = 0, line = 1, nonAscii = 0;
        bool utf8 = true, multibyte = false;
        const auto *p = reinterpret_cast<const uint8_t *>(bytes_.constData());
        const qsizetype n = bytes_.size();
        const bool bom = bytes_.startsWith("\xEF\xBB\xBF");
        for (qsizetype i = bom ? 3 : 0; i < n; ++i) {
            const uint8_t b = p[i];
            if (b == '\r' || b == '\n') {
                const End e = b == '\n' ? Lf : (i + 1 < n && p[i + 1] == '\n' ? CrLf : Cr);
                if (e == CrLf)
                    ++i;
                ++counts[e];
                if (first < 0)
                    first = e;
                else if (e != first && !mixedAt)
                    mixedAt = line;
                ++line;
                continue;
            }
            if (b < 0x80)
                continue;
            if (!nonAscii)
                nonAscii = line;
            // A UTF-8 sequence: a lead byte and its continuation bytes.
            const int follow = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
            bool ok = follow > 0 && i + follow < n;
            for (int k = 1; ok && k <= follow; ++k)
                ok = (p[i + k] & 0xC0) == 0x80;
            if (ok) {
                multibyte = true;
                i += follow;
            } else {
                utf8 = false;
            }
        }
        if (first < 0)
            add(Level::Warning, 1, QStringLiteral("no line ends: the whole file is one line"));
        else if (mixedAt)
            add(Level::Warning, mixedAt,
                QStringLiteral("mixed line ends: %1 CR LF, %2 LF, %3 CR").arg(counts[CrLf]).arg(counts[Lf]).arg(counts[Cr]));
        else
            add(Level::Note, 1, QStringLiteral("line ends: %1").arg(QLatin1String(kNames[first])));
        if (bom)
            add(Level::Note, 1, QStringLiteral("UTF-8 text with a byte-order mark"));
        else if (!nonAscii)
            add(Level::Note, 1, QStringLiteral("ASCII text"));
        else if (utf8 && multibyte)
            add(Level::Warning, nonAscii,
                QStringLiteral("UTF-8 text without a byte-order mark: read as Windows-1252, its accented letters show wrongly"));
        else
            add(Level::Note, nonAscii, QStringLiteral("Windows-1252 text"));
    }

    static constexpr int kExtPrmShown = 24; // rows of the parameter editor

    const QByteArray &bytes_;
    GsdCheck out_;
    Block device_;
    Block module_;
    std::vector<Block> closed_;
    bool inModule_ = false;
    bool modular_ = false;
    bool seenIdent_ = false;
    int modules_ = 0;
    bool expectType_ = false;
    int typeLineOf_ = 0;
    int def_ = -1;
    int text_ = 0; // a Text line before any PrmText goes to list 0
    qint64 maxPrmLen_ = -1;
    int maxPrmLine_ = 0;
    std::map<int, TextList> texts_;
    std::map<int, Definition> defs_;
    std::vector<Reference> refs_;
    std::vector<Reference> textRefs_;
};

} // namespace

int GsdCheck::count(GsdFinding::Level level) const
{
    return int(std::count_if(findings.begin(), findings.end(), [level](const GsdFinding &f) { return f.level == level; }));
}

GsdCheck CheckGsdBytes(const QByteArray &bytes)
{
    return Checker(bytes).run();
}

std::optional<GsdCheck> CheckGsdFile(const QString &path)
{
    QFile f(path);
    if (!OpenRegularFile(f))
        return std::nullopt;
    return CheckGsdBytes(f.read(kMaxGsdFileSize + 1));
}

QString GsdCheckReport(const QString &name, const GsdCheck &check)
{
    static const char *const kLevels[] = {"error", "warning", "note"};
    QString out;
    for (const GsdFinding &f : check.findings)
        out += QStringLiteral("%1:%2: %3: %4\n").arg(name).arg(f.line).arg(QLatin1String(kLevels[int(f.level)]), f.text);
    out += QStringLiteral("%1: %2, %3, %4\n")
               .arg(name, Plural(check.count(Level::Error), "error", "errors"),
                    Plural(check.count(Level::Warning), "warning", "warnings"), Plural(check.count(Level::Note), "note", "notes"));
    return out;
}

std::optional<StatedLengths> LengthsInModuleName(const QString &name)
{
    // Each pattern gives a number, a unit and a direction; the first value
    // found for a direction counts. Names that state lengths some other way
    // ("8DI", "PPO 4", "2 PZD") are left alone.
    static const QString unit = QStringLiteral("(bytes?|words?|bits?)");
    static const QString dir = QStringLiteral("(in/out|i/o|inout|di/do|ai/ao|inputs?|outputs?|in|out|di|do|ai|ao)");
    const auto re = [](const QString &pattern) { return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption); };
    // "4/16 Bytes Out/In": two lengths, two directions.
    static const QRegularExpression pair = re(QStringLiteral("(\\d+)\\s*/\\s*(\\d+)\\s*%1\\s*(in|out)\\s*/\\s*(in|out)\\b").arg(unit));
    // "1 byte + 16 word I/O": one length in two parts.
    static const QRegularExpression sum = re(QStringLiteral("(\\d+)\\s*%1\\s*\\+\\s*(\\d+)\\s*%1\\b[\\s:,-]*%2\\b").arg(unit, dir));
    // {pattern, group of the number, of the unit, of the direction}
    struct Form {
        QRegularExpression re;
        int count, unit, dir;
    };
    static const Form forms[] = {
        {re(QStringLiteral("(\\d+)\\s*%1\\b[\\s:,-]*%2\\b").arg(unit, dir)), 1, 2, 3},  // "8 Byte In", "64byte DI"
        {re(QStringLiteral("\\b%2\\s*:\\s*(\\d+)\\s*%1\\b").arg(unit, dir)), 2, 3, 1},  // "INPUT: 64 Byte"
        {re(QStringLiteral("\\b%1\\s*:\\s*(\\d+)\\s*%2\\b").arg(unit, dir)), 2, 1, 3},  // "Byte: 8 IN/OUT"
        {re(QStringLiteral("\\b(read|write)\\s+(\\d+)\\s*%1\\b").arg(unit)), 2, 3, 1},  // "Read 9 Words"
    };
    const auto bytes = [](const QRegularExpressionMatch &m, int count, int unitGroup) {
        const int n = m.captured(count).toInt();
        const QString u = m.captured(unitGroup).toLower();
        return u.startsWith(QLatin1String("word")) ? 2 * n : u.startsWith(QLatin1String("bit")) ? (n + 7) / 8 : n;
    };
    StatedLengths s;
    bool any = false;
    const auto put = [&](QStringView direction, int count) {
        const QString d = direction.toString().toLower();
        const bool both = d.contains(QLatin1Char('/')) || d == QLatin1String("inout");
        const bool in = both || d.startsWith(QLatin1String("in")) || d == QLatin1String("di") || d == QLatin1String("ai")
            || d == QLatin1String("read");
        if (in && s.input < 0)
            s.input = count;
        if ((both || !in) && s.output < 0)
            s.output = count;
        any = true;
    };
    QString text = name;
    const auto blank = [&text](const QRegularExpressionMatch &m) {
        text.replace(m.capturedStart(), m.capturedLength(), QString(m.capturedLength(), QLatin1Char(' ')));
    };
    if (const QRegularExpressionMatch m = pair.match(text); m.hasMatch()) {
        put(m.capturedView(4), bytes(m, 1, 3));
        put(m.capturedView(5), bytes(m, 2, 3));
        blank(m);
    }
    if (const QRegularExpressionMatch m = sum.match(text); m.hasMatch()) {
        put(m.capturedView(5), bytes(m, 1, 2) + bytes(m, 3, 4));
        blank(m);
    }
    for (const Form &f : forms) {
        for (auto it = f.re.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            put(m.capturedView(f.dir), bytes(m, f.count, f.unit));
        }
    }
    return any ? std::optional<StatedLengths>(s) : std::nullopt;
}

} // namespace meridan
