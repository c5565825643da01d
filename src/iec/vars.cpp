// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/vars.h"

#include "core/context.h"
#include "core/texts.h"

#include <QRegularExpression>
#include <algorithm>

namespace meridan::iec {

namespace {

struct Tok {
    enum Kind { Ident, Direct, Colon, Assign, Semi, Comma, Other };
    Kind kind = Other;
    qsizetype start = 0, end = 0;
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

bool Is(QByteArrayView line, const Tok &t, const char *word)
{
    return t.kind == Tok::Ident && line.sliced(t.start, t.end - t.start).compare(QByteArrayView(word), Qt::CaseInsensitive) == 0;
}

const char *const kVarKeywords[] = {"VAR", "VAR_GLOBAL", "VAR_INPUT", "VAR_OUTPUT", "VAR_IN_OUT",
                                    "VAR_EXTERNAL", "VAR_TEMP", "VAR_CONFIG", "VAR_ACCESS"};
const char *const kQualifiers[] = {"RETAIN", "NON_RETAIN", "CONSTANT", "PERSISTENT"};

template <std::size_t N>
bool IsOneOf(QByteArrayView line, const Tok &t, const char *const (&words)[N])
{
    return std::any_of(std::begin(words), std::end(words), [&](const char *w) { return Is(line, t, w); });
}

// " #S12M3K5 ": the channel comment.
bool ChannelComment(QByteArrayView text, VarDecl &d)
{
    static const QRegularExpression re(QStringLiteral("^\\s*#S(\\d{1,4})M(\\d{1,4})K(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(text));
    if (!m.hasMatch())
        return false;
    d.marked = true;
    d.station = m.captured(1).toInt();
    d.module = m.captured(2).toInt();
    d.channel = m.captured(3).toInt();
    return true;
}

// The lines of a file with their own line ends.
struct Lines {
    std::vector<IoLine> spans;
    const QByteArray *text = nullptr;
    QByteArrayView content(std::size_t i) const
    {
        return QByteArrayView(*text).sliced(spans[i].start, spans[i].content);
    }
    QByteArrayView ending(std::size_t i) const
    {
        return QByteArrayView(*text).sliced(spans[i].start + spans[i].content, spans[i].size - spans[i].content);
    }
};

// What a whole file holds: the table, and where new variables go.
struct VarFile {
    VarTable table;
    int firstPlainEnd = -1;   // the END_VAR line (0-based) of the first plain VAR_GLOBAL block
    bool endStandsAlone = false; // ... and END_VAR is that line's first word
};

VarFile Scan(const QByteArray &text)
{
    VarFile f;
    Lines lines{SplitLines(text), &text};
    bool inComment = false;
    bool inBlock = false, global = false, constant = false, plain = false;
    for (std::size_t i = 0; i < lines.spans.size(); ++i) {
        const VarLine v = ParseVarLine(lines.content(i), inComment);
        if (v.opens) {
            inBlock = true;
            global = v.global;
            constant = v.qualifier.compare("CONSTANT", Qt::CaseInsensitive) == 0;
            plain = v.global && v.qualifier.isEmpty();
        }
        const VarDecl *d = v.decl ? &*v.decl : nullptr;
        const bool entry = d && inBlock && global && !constant && !v.opens && !v.closes
            && (d->type == kBool || d->type == kInt) && (!d->located || (d->marked && d->dir));
        if (entry) {
            VarEntry e;
            e.name = QString::fromLatin1(d->name);
            e.line = int(i) + 1;
            e.type = e.typeRead = d->type;
            e.init = d->init;
            e.locationRead = d->location;
            e.comments = d->comments;
            e.indent = d->indent;
            if (d->marked) {
                e.station = d->station;
                e.module = d->module;
                e.channel = d->channel;
                e.dir = d->dir;
            }
            f.table.entries.push_back(e);
        } else {
            f.table.otherNames += v.names;
        }
        if (v.closes && inBlock) {
            if (plain && f.firstPlainEnd < 0) {
                f.firstPlainEnd = int(i);
                f.endStandsAlone = v.closesFirst && !v.opens;
            }
            inBlock = false;
        }
    }
    return f;
}

const char *const kKeywords[] = {
    "ACTION", "END_ACTION", "ARRAY", "OF", "AT", "CASE", "ELSE", "END_CASE", "CONFIGURATION",
    "END_CONFIGURATION", "CONSTANT", "EN", "ENO", "EXIT", "FALSE", "TRUE", "F_EDGE", "R_EDGE", "FOR", "TO",
    "BY", "DO", "END_FOR", "FUNCTION", "END_FUNCTION", "FUNCTION_BLOCK", "END_FUNCTION_BLOCK", "IF", "THEN",
    "ELSIF", "END_IF", "INITIAL_STEP", "STEP", "END_STEP", "NOT", "MOD", "AND", "OR", "XOR", "PROGRAM",
    "END_PROGRAM", "WITH", "READ_ONLY", "READ_WRITE", "REPEAT", "UNTIL", "END_REPEAT", "RESOURCE", "ON",
    "END_RESOURCE", "RETAIN", "NON_RETAIN", "RETURN", "STRUCT", "END_STRUCT", "TASK", "TRANSITION", "FROM",
    "END_TRANSITION", "TYPE", "END_TYPE", "VAR", "END_VAR", "VAR_INPUT", "VAR_OUTPUT", "VAR_IN_OUT",
    "VAR_TEMP", "VAR_EXTERNAL", "VAR_ACCESS", "VAR_CONFIG", "VAR_GLOBAL", "WHILE", "END_WHILE", "BOOL",
    "SINT", "INT", "DINT", "LINT", "USINT", "UINT", "UDINT", "ULINT", "REAL", "LREAL", "TIME", "DATE",
    "TIME_OF_DAY", "TOD", "DATE_AND_TIME", "DT", "STRING", "WSTRING", "BYTE", "WORD", "DWORD", "LWORD", "ANY",
    "ANY_NUM", "ANY_INT", "ANY_REAL", "ANY_BIT", "ANY_DATE", "PERSISTENT"};

bool FitsChannel(int type, const Channel &c)
{
    return (type == kBool && !c.word) || (type == kInt && c.word);
}

} // namespace

VarLine ParseVarLine(QByteArrayView line, bool &inComment)
{
    VarLine v;
    const bool startedInComment = inComment;
    std::vector<Tok> toks;
    QByteArray comments;
    VarDecl d;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        if (inComment) {
            const qsizetype close = line.indexOf("*)", i);
            if (close < 0) {
                i = n;
                break;
            }
            inComment = false;
            i = close + 2;
            continue;
        }
        const char c = line[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        if (c == '(' && i + 1 < n && line[i + 1] == '*') {
            const qsizetype close = line.indexOf("*)", i + 2);
            if (close < 0) {
                inComment = true;
                i = n;
                break;
            }
            const QByteArrayView text = line.sliced(i + 2, close - i - 2);
            // The first channel comment is read; every other comment is kept.
            if (d.marked || !ChannelComment(text, d)) {
                if (!comments.isEmpty())
                    comments += ' ';
                comments += line.sliced(i, close + 2 - i);
            }
            i = close + 2;
            continue;
        }
        Tok t;
        t.start = i;
        if (IsIdentStart(c)) {
            while (i < n && IsIdentChar(line[i]))
                ++i;
            t.kind = Tok::Ident;
        } else if (c == '%') {
            ++i;
            while (i < n && (IsIdentChar(line[i]) || line[i] == '.'))
                ++i;
            t.kind = Tok::Direct;
        } else if (c == ':' && i + 1 < n && line[i + 1] == '=') {
            i += 2;
            t.kind = Tok::Assign;
        } else if (c == ':' || c == ';' || c == ',') {
            ++i;
            t.kind = c == ':' ? Tok::Colon : c == ';' ? Tok::Semi : Tok::Comma;
        } else if (c == '\'' || c == '"') {
            const qsizetype close = line.indexOf(c, i + 1);
            i = close < 0 ? n : close + 1;
        } else {
            while (i < n && !IsBlank(line[i]) && !IsIdentStart(line[i]) && !strchr(":;,%'\"(", line[i]))
                ++i;
            if (i == t.start)
                ++i;
        }
        t.end = i;
        toks.push_back(t);
    }

    // Block keywords and the names declared, segment by segment.
    std::size_t seg = 0;
    while (seg < toks.size()) {
        std::size_t k = seg;
        while (k < toks.size() && (IsOneOf(line, toks[k], kVarKeywords) || IsOneOf(line, toks[k], kQualifiers)
                                   || Is(line, toks[k], "END_VAR"))) {
            if (IsOneOf(line, toks[k], kVarKeywords)) {
                v.opens = true;
                v.global = Is(line, toks[k], "VAR_GLOBAL");
                v.qualifier.clear();
            } else if (Is(line, toks[k], "END_VAR")) {
                v.closes = true;
                v.closesFirst = v.closesFirst || k == 0;
            } else if (v.opens) {
                v.qualifier = line.sliced(toks[k].start, toks[k].end - toks[k].start).toByteArray().toUpper();
            }
            ++k;
        }
        QList<QByteArray> names;
        std::size_t m = k;
        while (m < toks.size() && toks[m].kind == Tok::Ident) {
            names << line.sliced(toks[m].start, toks[m].end - toks[m].start).toByteArray();
            if (m + 1 < toks.size() && toks[m + 1].kind == Tok::Comma)
                m += 2;
            else
                break;
        }
        std::size_t after = m + 1;
        if (after + 1 < toks.size() && Is(line, toks[after], "AT") && toks[after + 1].kind == Tok::Direct)
            after += 2;
        if (!names.isEmpty() && after < toks.size() && toks[after].kind == Tok::Colon)
            v.names += names;
        while (k < toks.size() && toks[k].kind != Tok::Semi)
            ++k;
        seg = k + 1;
    }

    // One whole declaration: name [AT %loc] : TYPE [:= init] ;
    if (startedInComment || inComment || v.opens || v.closes || toks.size() < 4)
        return v;
    std::size_t k = 0;
    if (toks[k].kind != Tok::Ident)
        return v;
    d.name = line.sliced(toks[0].start, toks[0].end - toks[0].start).toByteArray();
    ++k;
    if (Is(line, toks[k], "AT")) {
        if (k + 1 >= toks.size() || toks[k + 1].kind != Tok::Direct)
            return v;
        const QByteArrayView loc = line.sliced(toks[k + 1].start, toks[k + 1].end - toks[k + 1].start);
        d.located = true;
        d.location = loc.toByteArray();
        if (loc.size() > 1 && (loc[1] == 'I' || loc[1] == 'i'))
            d.dir = Dir::In;
        else if (loc.size() > 1 && (loc[1] == 'Q' || loc[1] == 'q'))
            d.dir = Dir::Out;
        k += 2;
    }
    if (k + 1 >= toks.size() || toks[k].kind != Tok::Colon || toks[k + 1].kind != Tok::Ident)
        return v;
    d.type = Is(line, toks[k + 1], "BOOL") ? kBool : Is(line, toks[k + 1], "INT") ? kInt : 0;
    k += 2;
    if (k < toks.size() && toks[k].kind == Tok::Assign) {
        const qsizetype from = toks[k].end;
        while (k < toks.size() && toks[k].kind != Tok::Semi)
            ++k;
        if (k >= toks.size())
            return v;
        d.init = line.sliced(from, toks[k].start - from).trimmed().toByteArray();
        if (d.init.isEmpty())
            return v;
    }
    if (k + 1 != toks.size() || toks[k].kind != Tok::Semi)
        return v; // anything after the ";" but comments
    d.comments = comments;
    d.indent = line.first(toks[0].start).toByteArray();
    v.decl = d;
    return v;
}

int VarTable::live() const
{
    return int(std::count_if(entries.begin(), entries.end(), [](const VarEntry &e) { return !e.deleted(); }));
}

bool VarTable::changed() const
{
    return std::any_of(entries.begin(), entries.end(), [](const VarEntry &e) { return e.state != 0; });
}

int VarTable::find(const QString &name) const
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].deleted() && entries[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool VarTable::declared(const QString &name) const
{
    if (find(name) >= 0)
        return true;
    return std::any_of(otherNames.begin(), otherNames.end(),
                       [&](const QByteArray &o) { return QString::fromLatin1(o).compare(name, Qt::CaseInsensitive) == 0; });
}

VarTable ParseVars(const QByteArray &text)
{
    return Scan(text).table;
}

bool IsIecIdentifier(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z]|_[A-Za-z0-9])(_?[A-Za-z0-9])*$"));
    if (!re.match(name).hasMatch())
        return false;
    return std::none_of(std::begin(kKeywords), std::end(kKeywords),
                        [&](const char *k) { return name.compare(QLatin1String(k), Qt::CaseInsensitive) == 0; });
}

std::optional<Channel> EntryChannel(const VarEntry &e, const IoMap &map)
{
    const SlaveIo *s = map.slave(e.station);
    if (!s || !e.attached())
        return std::nullopt;
    if (e.dir)
        return FindChannel(*s, e.module, *e.dir, e.channel);
    // Without its AT clause the direction is the one whose channel fits the type.
    for (Dir d : {Dir::In, Dir::Out}) {
        const std::optional<Channel> c = FindChannel(*s, e.module, d, e.channel);
        if (c && FitsChannel(e.type, *c))
            return c;
    }
    return FindChannel(*s, e.module, Dir::In, e.channel);
}

QByteArray FormatVarLine(VarEntry &e, const IoMap &map, int inputBase, int outputBase, QStringList *notes)
{
    if (e.deleted())
        return {};
    if (!e.indent.isEmpty() && !e.indent.trimmed().isEmpty())
        e.indent.clear(); // blanks only: anything else stays out of a rewritten line
    QByteArray line = e.indent + e.name.toLatin1().leftJustified(kVarNameWidth, ' ') + "   ";
    if (e.attached()) {
        const std::optional<Channel> c = EntryChannel(e, map);
        QString why;
        if (!c)
            why = QStringLiteral("its channel S%1M%2K%3 no longer exists").arg(e.station).arg(e.module).arg(e.channel);
        else if (!FitsChannel(e.type, *c))
            why = QStringLiteral("its type does not fit channel %1").arg(c->name());
        if (why.isEmpty()) {
            e.dir = c->dir;
            line += c->location(c->dir == Dir::In ? inputBase : outputBase).toLatin1();
        } else {
            if (notes)
                *notes << e.name + QStringLiteral(" detached: ") + why;
            e.module = -1;
            e.dir.reset();
        }
    }
    line += e.type == kBool ? " :BOOL" : " :INT ";
    if (!e.init.isEmpty() && e.type == e.typeRead)
        line += " := " + e.init;
    line += " ; ";
    if (e.attached())
        line += " (* #S" + QByteArray::number(e.station) + "M" + QByteArray::number(e.module) + "K"
            + QByteArray::number(e.channel) + " *)";
    if (!e.comments.isEmpty())
        line += ' ' + e.comments;
    return line;
}

QByteArray MergeVars(const QByteArray &oldText, VarTable &table, const IoMap &map, int inputBase, int outputBase,
                     QStringList *notes)
{
    const QByteArray old = oldText.isEmpty() ? QByteArrayLiteral("VAR_GLOBAL\r\nEND_VAR\r\n") : oldText;
    const VarFile now = Scan(old);
    Lines lines{SplitLines(old), &old};
    std::vector<QByteArray> out;
    out.reserve(lines.spans.size());
    for (std::size_t i = 0; i < lines.spans.size(); ++i)
        out.push_back(old.mid(lines.spans[i].start, lines.spans[i].size));

    // New declarations are indented as the file's own are: as the last one
    // before the place they go, else the first one the file has.
    QByteArray indent;
    int indentLine = 0;
    for (const VarEntry &d : now.table.entries) {
        if (indentLine == 0 || (d.line <= now.firstPlainEnd + 1 && d.line > indentLine)) {
            indent = d.indent;
            indentLine = d.line;
        }
    }
    if (!indent.trimmed().isEmpty())
        indent.clear(); // blanks and tabs only

    QByteArray fresh;
    for (VarEntry &e : table.entries) {
        // The file may have changed since it was read: the name finds the line.
        const int at = now.table.find(e.name);
        e.line = at < 0 ? -1 : now.table.entries[std::size_t(at)].line;
        if (e.line < 0) {
            if (!e.deleted()) {
                if (e.indent.isEmpty())
                    e.indent = indent;
                fresh += FormatVarLine(e, map, inputBase, outputBase, notes) + "\r\n";
            }
            continue;
        }
        if (e.state == 0 && !e.attached())
            continue;
        if (e.state == 0) {
            // A variable nobody touched keeps its line as written while its
            // channel is still where the line says.
            const std::optional<Channel> c = EntryChannel(e, map);
            if (c && FitsChannel(e.type, *c)) {
                const QByteArray now = c->location(c->dir == Dir::In ? inputBase : outputBase).toLatin1().mid(4);
                if (now.compare(e.locationRead, Qt::CaseInsensitive) == 0)
                    continue;
                if (notes && !e.locationRead.isEmpty())
                    *notes << e.name + QStringLiteral(" moved from %1 to %2")
                                           .arg(QString::fromLatin1(e.locationRead), QString::fromLatin1(now));
            }
        }
        const std::size_t l = std::size_t(e.line - 1);
        out[l] = FormatVarLine(e, map, inputBase, outputBase, notes) + lines.ending(l).toByteArray();
    }
    if (!fresh.isEmpty()) {
        if (now.firstPlainEnd >= 0 && now.endStandsAlone) {
            out[std::size_t(now.firstPlainEnd)].prepend(fresh);
        } else {
            if (!out.empty() && !EndsWithLineEnd(out.back()))
                out.back() += "\r\n";
            out.push_back("VAR_GLOBAL\r\n" + fresh + "END_VAR\r\n");
        }
    }
    QByteArray text;
    text.reserve(old.size() + fresh.size() + 256);
    for (const QByteArray &l : out)
        text += l;
    return text;
}

QString DatatypeMismatch()
{
    return QStringLiteral("Datatype mismatch");
}

QString DatatypeMismatch(int type)
{
    return DatatypeMismatch()
        + (type == kInt ? QStringLiteral(": an INT variable needs a word channel (IW or QW)")
                        : QStringLiteral(": a BOOL variable needs a bit channel (IX or QX)"));
}

QString AddVariable(const Context &ctx, VarTable &t, const QString &nameIn, int type)
{
    const QString name = nameIn.trimmed();
    if (!IsIecIdentifier(name))
        return ctx.tr(QStringLiteral("Not an IEC 61131-3 name: \"%1\" (a letter or _ first, then letters, digits "
                                     "and single _, no keyword)"),
                      QStringLiteral("Kein IEC-61131-3-Name: \"%1\" (zuerst ein Buchstabe oder _, dann Buchstaben, "
                                     "Ziffern und einzelne _, kein Schlüsselwort)"))
            .arg(name);
    if (t.declared(name))
        return QStringLiteral("Varname already exist");
    VarEntry e;
    e.name = name;
    e.type = type == kInt ? kInt : kBool;
    e.state = 1;
    t.entries.push_back(e);
    return {};
}

QString AttachVariable(VarTable &t, int index, const SlaveIo &slave, int module, const Channel &c)
{
    if (index < 0 || index >= int(t.entries.size()) || t.entries[std::size_t(index)].deleted())
        return {};
    VarEntry &e = t.entries[std::size_t(index)];
    if (!FitsChannel(e.type, c))
        return DatatypeMismatch(e.type);
    // A channel carries one variable: the one there before lets go.
    for (VarEntry &o : t.entries)
        if (&o != &e && !o.deleted() && o.attached() && o.station == slave.station && o.module == module
            && o.channel == c.k && (!o.dir || *o.dir == c.dir)) {
            o.module = -1;
            o.dir.reset();
            o.state = 1;
        }
    e.station = slave.station;
    e.module = module;
    e.channel = c.k;
    e.dir = c.dir;
    e.state = 1;
    return {};
}

QString DetachVariable(VarTable &t, int index)
{
    if (index < 0 || index >= int(t.entries.size()) || !t.entries[std::size_t(index)].attached())
        return {};
    VarEntry &e = t.entries[std::size_t(index)];
    e.module = -1;
    e.dir.reset();
    e.state = 1;
    return {};
}

QString DeleteVariable(VarTable &t, int index)
{
    if (index >= 0 && index < int(t.entries.size()))
        t.entries[std::size_t(index)].state = kDeleted;
    return {};
}

QString SetVariableType(VarTable &t, int index, int type, const IoMap &map)
{
    if (index < 0 || index >= int(t.entries.size()) || t.entries[std::size_t(index)].deleted())
        return {};
    VarEntry &e = t.entries[std::size_t(index)];
    if (e.type == type)
        return {};
    if (e.attached()) {
        VarEntry probe = e;
        probe.type = type;
        const std::optional<Channel> c = EntryChannel(probe, map);
        if (c && !FitsChannel(type, *c))
            return DatatypeMismatch(type);
    }
    e.type = type;
    e.state = 1;
    return {};
}

} // namespace meridan::iec
