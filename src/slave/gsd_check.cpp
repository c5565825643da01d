// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_check.h"
#include "core/readfile.h"

#include "slave/gsd_file.h"
#include "slave/prm_type.h"
#include "slave/record.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>

namespace meridan {

namespace {

using Level = GsdFinding::Level;

constexpr int kModuleLineCfg = kMaxCfg - 1;        // identifier bytes one module line can bring
constexpr int kMaxStationModules = kModuleListLen; // the record's module list
constexpr int kExtPrmShown = 24;                   // rows of the parameter editor

QString Quoted(const QString &text)
{
    constexpr int kShown = 40;
    const QString t = text.trimmed();
    return QLatin1Char('"') + (t.size() > kShown ? t.left(kShown) + QStringLiteral("...") : t) + QLatin1Char('"');
}

QString Plural(int n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

// The findings are a view of the parsed file: what it holds, where the file
// gave it, and where the read stopped.
class Checker {
public:
    explicit Checker(const QByteArray &bytes) : bytes_(bytes), parse_(ParseGsd(bytes)), f_(parse_.file) {}

    GsdCheck run()
    {
        if (parse_.error && parse_.error->kind == GsdParseError::Kind::NotGsd) {
            add(Level::Error, 1, QStringLiteral("not a GSD file: no #Profibus_DP line and no Ident_Number"));
            return std::move(out_);
        }
        fileForm();
        for (const GsdRemark &r : f_.remarks)
            add(r.level == GsdRemark::Level::Warning ? Level::Warning : Level::Note, r.line, r.text);
        if (f_.maxModule > kMaxStationModules)
            add(Level::Warning, f_.maxModuleLine,
                QStringLiteral("Max_Module %1: a station's module list holds at most %2 modules").arg(f_.maxModule).arg(kMaxStationModules));
        deviceBlock();
        for (std::size_t i = 0; i < f_.modules.size(); ++i)
            module(int(i), f_.modules[i]);
        definitions();
        references();
        readerStop();
        std::stable_sort(out_.findings.begin(), out_.findings.end(), [](const GsdFinding &a, const GsdFinding &b) {
            return a.line != b.line ? a.line < b.line : a.level < b.level;
        });
        return std::move(out_);
    }

private:
    void add(Level level, int line, const QString &text) { out_.findings.push_back({level, line, text}); }

    const GsdDefinition *definition(int n) const { return f_.definitions.get(n); }

    // What every block shares: overlapping constants, references beyond the
    // editor's rows, fields that lie outside the block's bytes.
    void block(const GsdBlock &b, const QString &what, bool device)
    {
        for (std::size_t i = 0; i < b.consts.size(); ++i) {
            const GsdConstLine &c = b.consts[i];
            for (std::size_t j = 0; j < i; ++j) {
                const GsdConstLine &o = b.consts[j];
                if (c.from < o.to && o.from < c.to) {
                    add(Level::Warning, c.line,
                        QStringLiteral("Ext_User_Prm_Data_Const(%1) overlaps the constant bytes of line %2").arg(c.from).arg(o.line));
                    break;
                }
            }
            // The device's length from its extended description counts; a
            // User_Prm_Data_Len that disagrees is noted once, below.
            if (!device && b.declaredLen >= 0 && c.to > b.declaredLen)
                add(Level::Warning, c.line,
                    QStringLiteral("Ext_User_Prm_Data_Const(%1): its bytes run past Ext_Module_Prm_Data_Len %2").arg(c.from).arg(b.declaredLen));
        }
        if (b.refs.size() > std::size_t(kExtPrmShown))
            add(Level::Warning, b.refs[kExtPrmShown].line,
                QStringLiteral("%1: more than %2 parameter references; the parameter editor shows the first %2").arg(what).arg(kExtPrmShown));
        // A module's fields beyond its declared length lengthen its block
        // (the device's are noted once, below): one warning a module.
        if (!device && b.declaredLen >= 0) {
            for (const GsdPrmRef &r : b.refs) {
                const GsdDefinition *d = definition(r.number);
                if (d && r.offset + d->width > b.declaredLen) {
                    add(Level::Warning, r.line,
                        QStringLiteral("%1: Ext_User_Prm_Data_Ref(%2) runs past Ext_Module_Prm_Data_Len %3; the module gets %4 "
                                       "parameter bytes")
                            .arg(what).arg(r.offset).arg(b.declaredLen).arg(b.prmLen));
                    break;
                }
            }
        }
    }

    void deviceBlock()
    {
        const GsdBlock &d = f_.device;
        block(d, QStringLiteral("the device"), true);
        if (d.declaredLen >= 0 && d.prmLen > d.declaredLen)
            add(Level::Note, d.declaredLine,
                QStringLiteral("User_Prm_Data_Len %1 disagrees with the extended parameter description, which fills %2 bytes: "
                               "the station gets %2")
                    .arg(d.declaredLen).arg(d.prmLen));
        if (f_.maxUserPrmDataLen >= 0 && d.prmLen > f_.maxUserPrmDataLen)
            add(Level::Error, d.declaredLine ? d.declaredLine : f_.maxUserPrmDataLenLine,
                QStringLiteral("the device's %1 parameter bytes are more than Max_User_Prm_Data_Len %2").arg(d.prmLen).arg(f_.maxUserPrmDataLen));
    }

    void module(int index, const GsdFileModule &m)
    {
        const QString name = f_.moduleName(m);
        const QString what = QStringLiteral("module ") + Quoted(name);
        if (index == kMaxGsdModules)
            add(Level::Error, m.at, QStringLiteral("more than %1 modules; the reader stops here").arg(kMaxGsdModules));
        if (index == 1 && f_.modular != 1)
            add(Level::Warning, m.at, QStringLiteral("a second module, but Modular_Station is not 1: the station is read as modular"));
        if (!m.cfgError.isEmpty())
            add(Level::Error, m.at, m.cfgError);
        if (int(m.cfg.size()) > kModuleLineCfg)
            add(Level::Error, m.at,
                QStringLiteral("%1: %2 identifier bytes; a record takes at most %3 from one module").arg(what).arg(m.cfg.size()).arg(kModuleLineCfg));
        if (const std::optional<StatedLengths> stated = LengthsInModuleName(name); stated && m.cfgError.isEmpty()) {
            int in = 0, out = 0;
            AddIoLengths(m.cfg.data(), int(m.cfg.size()), in, out);
            if ((stated->input >= 0 && stated->input != in) || (stated->output >= 0 && stated->output != out)) {
                QStringList says;
                if (stated->input >= 0)
                    says << Plural(stated->input, "input byte", "input bytes");
                if (stated->output >= 0)
                    says << Plural(stated->output, "output byte", "output bytes");
                add(Level::Warning, m.at,
                    QStringLiteral("%1: the name says %2, the identifier bytes give %3 and %4")
                        .arg(what, says.join(QStringLiteral(" and ")), Plural(in, "input byte", "input bytes"),
                             Plural(out, "output byte", "output bytes")));
            }
        }
        block(m.prm, what, false);
        // Room for the module's bytes behind the device's.
        const int device = f_.device.prmLen;
        const bool deviceFits = f_.maxUserPrmDataLen < 0 || device <= f_.maxUserPrmDataLen;
        const int need = device + m.prm.prmLen;
        if (m.prm.prmLen == 0 || !deviceFits)
            return;
        if (f_.maxUserPrmDataLen >= 0 && need > f_.maxUserPrmDataLen)
            add(Level::Warning, m.at,
                QStringLiteral("%1: with the device's bytes it needs %2 parameter bytes, more than Max_User_Prm_Data_Len %3")
                    .arg(what).arg(need).arg(f_.maxUserPrmDataLen));
        else if (need > kMaxUserPrm)
            add(Level::Warning, m.at,
                QStringLiteral("%1: with the device's bytes it needs %2 parameter bytes, more than the %3 a record holds")
                    .arg(what).arg(need).arg(kMaxUserPrm));
    }

    void definitions()
    {
        for (const auto &[n, d] : f_.definitions) {
            const QString what = QStringLiteral("ExtUserPrmData %1").arg(n);
            if (d.values > kMaxListValues)
                add(Level::Warning, d.typeLine, QStringLiteral("%1: %2 list values; the first %3 are kept").arg(what).arg(d.values).arg(kMaxListValues));
            if (!d.rest.empty())
                add(Level::Note, d.typeLine, QStringLiteral("not read after the values: ") + Quoted(f_.text(d.rest)));
            // A station configured from the file starts with the default: one
            // its own field does not allow makes the slave refuse its parameters.
            if (d.list.empty() && (d.defaultValue < d.min || d.defaultValue > d.max))
                add(Level::Warning, d.typeLine,
                    QStringLiteral("%1: default %2 outside its range %3..%4").arg(what).arg(d.defaultValue).arg(d.min).arg(d.max));
            if (!d.list.empty() && std::find(d.list.begin(), d.list.end(), d.defaultValue) == d.list.end())
                add(Level::Warning, d.typeLine, QStringLiteral("%1: default %2 is not one of its values").arg(what).arg(d.defaultValue));
            if (d.textRef == 0)
                continue;
            const auto list = f_.textLists.find(d.textRef);
            if (list == f_.textLists.end()) {
                add(Level::Warning, d.textRefLine, QStringLiteral("PrmText %1 is not defined").arg(d.textRef));
                continue;
            }
            const std::span<const GsdTextEntry> texts = list->second.entries;
            if (std::none_of(texts.begin(), texts.end(), [&d = d](const GsdTextEntry &t) { return t.value == d.defaultValue; }))
                add(Level::Warning, d.textRefLine,
                    QStringLiteral("%1: the text of default %2 in PrmText %3 is missing").arg(what).arg(d.defaultValue).arg(d.textRef));
        }
    }

    void references()
    {
        const auto undefined = [this](const GsdBlock &b) {
            for (std::size_t k = 0; k < b.refs.size(); ++k)
                if (!definition(b.refs[k].number))
                    add(Level::Warning, b.refs[k].line, QStringLiteral("ExtUserPrmData %1 is not defined").arg(b.refs[k].number));
        };
        undefined(f_.device);
        for (const GsdFileModule &m : f_.modules)
            undefined(m.prm);
    }

    // Where the read stops: the first error, after which nothing is read.
    void readerStop()
    {
        if (!parse_.error)
            return;
        const GsdParseError &e = *parse_.error;
        for (GsdFinding &f : out_.findings) {
            if (f.line == e.line && f.level == Level::Error) {
                f.text += QStringLiteral("; the reader stops here");
                return;
            }
        }
        add(Level::Error, e.line, QStringLiteral("the reader stops here: ") + e.reason);
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

    const QByteArray &bytes_;
    const GsdParse parse_;
    const GsdFile &f_;
    GsdCheck out_;
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
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxGsdFileSize + 1);
    if (!bytes)
        return std::nullopt;
    return CheckGsdBytes(*bytes);
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
