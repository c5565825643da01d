// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/ioconfig.h"

#include "core/texts.h"

#include <algorithm>
#include <limits>
#include <map>

namespace meridan::iec {

namespace {

const QByteArray kDriver = QByteArrayLiteral("ProfiDP");
constexpr int kLastStation = 125;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsIdentChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

qsizetype SkipBlanks(QByteArrayView s, qsizetype i)
{
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return i;
}

// The keyword `word` at i, case-insensitive, not followed by a name character.
bool WordAt(QByteArrayView s, qsizetype i, QByteArrayView word)
{
    if (i + word.size() > s.size() || s.sliced(i, word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    return i + word.size() == s.size() || !IsIdentChar(s[i + word.size()]);
}

QByteArrayView Trimmed(QByteArrayView s)
{
    return s.trimmed();
}

bool IsProgramLine(QByteArrayView content)
{
    return WordAt(content, SkipBlanks(content, 0), "PROGRAM");
}

// "PROGRAM name <header>: INPUT|OUTPUT": the name, the header text and the
// direction; false for any other line.
bool ProgramHeader(QByteArrayView content, IoBlock &b, qsizetype &typeEnd)
{
    qsizetype i = SkipBlanks(content, 0);
    if (!WordAt(content, i, "PROGRAM"))
        return false;
    i = SkipBlanks(content, i + 7);
    const qsizetype nameStart = i;
    while (i < content.size() && IsIdentChar(content[i]))
        ++i;
    b.name = content.sliced(nameStart, i - nameStart).toByteArray();
    for (qsizetype c = i; c < content.size(); ++c) {
        if (content[c] != ':' || (c + 1 < content.size() && content[c + 1] == '='))
            continue;
        const qsizetype t = SkipBlanks(content, c + 1);
        if (WordAt(content, t, "INPUT") || WordAt(content, t, "OUTPUT")) {
            b.dir = WordAt(content, t, "INPUT") ? Dir::In : Dir::Out;
            b.header = content.sliced(i, c - i).toByteArray();
            typeEnd = t + (b.dir == Dir::In ? 5 : 6);
            return true;
        }
        return false; // a program of another type
    }
    return false;
}

// The text with every "(* ... *)" comment taken out.
QByteArray WithoutComments(const QByteArray &s)
{
    QByteArray out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == '(' && i + 1 < s.size() && s[i + 1] == '*') {
            const qsizetype end = s.indexOf("*)", i + 2);
            if (end < 0)
                break;
            i = end + 1;
            out += ' ';
            continue;
        }
        out += s[i];
    }
    return out;
}

// A decimal number, or an IEC based one (16#FF, 2#1010), with an optional
// sign and "_" between digits.
std::optional<qint64> Number(QByteArrayView text)
{
    QByteArray t = text.trimmed().toByteArray();
    t.replace('_', "");
    int base = 10;
    const qsizetype hash = t.indexOf('#');
    if (hash > 0) {
        bool ok = false;
        base = t.left(hash).toInt(&ok);
        if (!ok || (base != 2 && base != 8 && base != 16))
            return std::nullopt;
        t = t.mid(hash + 1);
    }
    bool ok = false;
    const qint64 v = t.toLongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    return v;
}

void ReadParameters(const QByteArray &text, IoBlock &b)
{
    const QByteArray s = WithoutComments(text);
    qsizetype i = 0;
    while (i < s.size()) {
        if (!IsIdentChar(s[i]) || (i > 0 && IsIdentChar(s[i - 1]))) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < s.size() && IsIdentChar(s[i]))
            ++i;
        const QByteArray key = s.mid(start, i - start).toUpper();
        qsizetype j = i;
        while (j < s.size() && (IsBlank(s[j]) || s[j] == '\r' || s[j] == '\n'))
            ++j;
        if (j + 1 >= s.size() || s[j] != ':' || s[j + 1] != '=')
            continue;
        j += 2;
        const qsizetype valueStart = j;
        while (j < s.size() && s[j] != ',' && s[j] != ')' && s[j] != ';' && s[j] != '\n')
            ++j;
        const QByteArray value = s.mid(valueStart, j - valueStart).trimmed();
        i = j;
        if (key == "VAR_ADR")
            b.varAdr = Number(value);
        else if (key == "END_VAR_ADR")
            b.endVarAdr = Number(value);
        else if (key == "DRIVER_PAR1")
            b.par1 = Number(value);
        else if (key == "DRIVER_PAR2")
            b.par2 = Number(value);
        else if (key == "DRIVER_NAME")
            b.driverName = value.size() >= 2 && value.startsWith('\'') && value.endsWith('\'')
                ? value.mid(1, value.size() - 2)
                : value;
    }
}

QByteArray Content(const QByteArray &text, const IoLine &l)
{
    return text.mid(l.start, l.content);
}

bool IsOurs(const IoBlock &b)
{
    return b.driverName == kDriver && b.par1 && *b.par1 >= 0 && *b.par1 <= kLastStation;
}

struct Range {
    qint64 first = 0, last = 0;
};

// The base of one direction's area: where the old 'ProfiDP' blocks began, as
// long as the new ones fit there without touching another driver's block;
// else the lowest place where they fit.
int ChooseBase(int need, std::optional<qint64> oldLow, const std::vector<Range> &others)
{
    const auto fits = [&](qint64 base) {
        if (need == 0)
            return true;
        const qint64 end = base + need - 1;
        return std::none_of(others.begin(), others.end(),
                            [&](const Range &r) { return r.first <= end && r.last >= base; });
    };
    if (oldLow && *oldLow >= 0 && *oldLow <= 0x7FFFFFFF - need && fits(*oldLow))
        return int(*oldLow);
    std::vector<qint64> candidates{0};
    for (const Range &r : others)
        if (r.last >= 0 && r.last < 0x7FFFFFFF - need)
            candidates.push_back(r.last + 1);
    std::sort(candidates.begin(), candidates.end());
    for (qint64 c : candidates)
        if (fits(c))
            return int(c);
    return 0; // unreachable: after the highest block everything is free
}

} // namespace

std::vector<IoLine> SplitLines(const QByteArray &text)
{
    // Files pass through editors on every platform: a line ends at CR LF, at
    // LF or at a bare CR, and keeps the end it had when it is written back.
    std::vector<IoLine> lines;
    const qsizetype n = text.size();
    lines.reserve(std::size_t(n / 24) + 1);
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text[end] != '\n' && text[end] != '\r')
            ++end;
        IoLine l;
        l.start = pos;
        l.content = end - pos;
        if (end < n)
            end += text[end] == '\r' && end + 1 < n && text[end + 1] == '\n' ? 2 : 1;
        l.size = end - pos;
        lines.push_back(l);
        pos = end;
    }
    return lines;
}

bool EndsWithLineEnd(const QByteArray &text)
{
    return text.endsWith('\n') || text.endsWith('\r');
}

IoText ParseIoBlock(const QByteArray &text)
{
    IoText t;
    t.lines = SplitLines(text);
    const int count = int(t.lines.size());
    for (int i = 0; i < count; ++i) {
        const QByteArray first = Content(text, t.lines[std::size_t(i)]);
        IoBlock b;
        qsizetype typeEnd = 0;
        if (!ProgramHeader(first, b, typeEnd))
            continue;
        b.firstLine = i;
        QByteArray body = first.mid(typeEnd);
        int last = i;
        b.terminated = Trimmed(first).endsWith(");");
        while (!b.terminated && last + 1 < count) {
            const QByteArray next = Content(text, t.lines[std::size_t(last + 1)]);
            if (IsProgramLine(next))
                break;
            ++last;
            body += '\n';
            body += next;
            b.terminated = Trimmed(next).endsWith(");");
        }
        b.lastLine = last;
        ReadParameters(body, b);
        if (b.terminated && last + 1 < count && Trimmed(Content(text, t.lines[std::size_t(last + 1)])).isEmpty())
            b.separator = true;
        t.blocks.push_back(b);
        i = last;
    }
    return t;
}

QByteArray IoBlockText(Dir dir, int station, const QByteArray &header, int first, int last, int param)
{
    const auto num = [](long long v) { return NumText(v).toLatin1() + ' '; };
    const bool in = dir == Dir::In;
    QByteArray b;
    b += (in ? "PROGRAM in" : "PROGRAM out") + QByteArray::number(station) + header + (in ? ": INPUT" : ": OUTPUT") + "\r\n";
    b += "(\r\n";
    b += "  VAR_ADR := " + num(first) + ",\r\n";
    b += "  END_VAR_ADR := " + num(last) + ",\r\n";
    b += "  DEVICE := DRIVER ,\r\n";
    b += "  DRIVER_NAME := '" + kDriver + "',\r\n";
    b += "  DRIVER_PAR1 := " + num(station) + ",\r\n";
    b += "  DRIVER_PAR2 := " + num(param) + "\r\n";
    b += " );\r\n";
    b += " \r\n";
    return b;
}

namespace {

// The lines of the blocks of ours, each with the blank line after it.
std::vector<bool> OurLines(const IoText &parsed)
{
    std::vector<bool> ours(parsed.lines.size(), false);
    for (const IoBlock &b : parsed.blocks)
        if (IsOurs(b))
            for (int l = b.firstLine; l <= b.lastLine + (b.separator ? 1 : 0); ++l)
                ours[std::size_t(l)] = true;
    return ours;
}

// Every other line, byte for byte, so that generated blocks can follow.
QByteArray KeptText(const QByteArray &old, const IoText &parsed, const std::vector<bool> &ours, qsizetype extra)
{
    QByteArray text;
    text.reserve(old.size() + extra);
    for (std::size_t i = 0; i < parsed.lines.size(); ++i)
        if (!ours[i])
            text += old.mid(parsed.lines[i].start, parsed.lines[i].size);
    // The blocks go on lines of their own.
    if (!text.isEmpty() && !EndsWithLineEnd(text))
        text += "\r\n";
    return text;
}

bool FitsInt(const std::optional<qint64> &v)
{
    return v && *v >= std::numeric_limits<int>::min() && *v <= std::numeric_limits<int>::max();
}

} // namespace

IoPlan PlanIoConfig(const QByteArray &old, const IoMap &map)
{
    IoPlan plan;
    const IoText parsed = ParseIoBlock(old);
    std::map<int, QByteArray> headers[2];
    std::optional<qint64> oldLow[2];
    std::vector<Range> others[2];
    for (const IoBlock &b : parsed.blocks) {
        const int d = b.dir == Dir::In ? 0 : 1;
        if (!IsOurs(b)) {
            if (b.driverName == kDriver)
                plan.notes << QStringLiteral("line %1: block %2 left as it is: DRIVER_PAR1 %3 is not a station address (0..125)")
                                  .arg(b.firstLine + 1)
                                  .arg(QString::fromLatin1(b.name))
                                  .arg(b.par1 ? QString::number(*b.par1) : QStringLiteral("is missing and"));
            if (b.varAdr && b.endVarAdr)
                others[d].push_back({std::min(*b.varAdr, *b.endVarAdr), std::max(*b.varAdr, *b.endVarAdr)});
            continue;
        }
        headers[d].emplace(int(*b.par1), b.header); // the first block of a station counts
        if (b.varAdr)
            oldLow[d] = oldLow[d] ? std::min(*oldLow[d], *b.varAdr) : *b.varAdr;
        const SlaveIo *s = map.slave(int(*b.par1));
        if (!s || !(b.dir == Dir::In ? s->hasInputs : s->hasOutputs))
            ++plan.removed;
    }

    plan.inputBase = ChooseBase(map.inputBytes(), oldLow[0], others[0]);
    plan.outputBase = ChooseBase(map.outputBytes(), oldLow[1], others[1]);

    plan.text = KeptText(old, parsed, OurLines(parsed), qsizetype(map.slaves.size()) * 400);
    for (const SlaveIo &s : map.slaves) {
        if (s.hasInputs) {
            plan.text += IoBlockText(Dir::In, s.station, headers[0][s.station], plan.inputBase + s.inputFirst,
                                     plan.inputBase + s.inputLast, s.inputParam);
            ++plan.written;
        }
        if (s.hasOutputs) {
            plan.text += IoBlockText(Dir::Out, s.station, headers[1][s.station], plan.outputBase + s.outputFirst,
                                     plan.outputBase + s.outputLast, s.outputParam);
            ++plan.written;
        }
    }
    return plan;
}

bool IsOwnOutput(const QByteArray &text)
{
    const IoText parsed = ParseIoBlock(text);
    std::vector<const IoBlock *> ours;
    for (const IoBlock &b : parsed.blocks) {
        if (!IsOurs(b))
            continue;
        if (!FitsInt(b.varAdr) || !FitsInt(b.endVarAdr) || !FitsInt(b.par2))
            return false;
        ours.push_back(&b);
    }
    if (ours.empty())
        return false;
    // Written station by station, the input block before the output block.
    std::stable_sort(ours.begin(), ours.end(), [](const IoBlock *a, const IoBlock *b) {
        return std::pair(*a->par1, a->dir == Dir::Out) < std::pair(*b->par1, b->dir == Dir::Out);
    });
    QByteArray expected = KeptText(text, parsed, OurLines(parsed), text.size());
    for (const IoBlock *b : ours)
        expected += IoBlockText(b->dir, int(*b->par1), b->header, int(*b->varAdr), int(*b->endVarAdr), int(*b->par2));
    return expected == text;
}

} // namespace meridan::iec
