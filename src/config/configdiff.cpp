// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/configdiff.h"

#include "config/image.h"
#include "core/texts.h"
#include "slave/prm_type.h"

#include <QJsonObject>
#include <algorithm>
#include <map>

namespace meridan {

namespace {

constexpr int kBoardMasterEnd = 74; // a board keeps the master record up to its bus parameter set

QString T(int16_t language, const char *english, const char *german)
{
    return Tr(language, QString::fromUtf8(english), QString::fromUtf8(german));
}

const QString kArrow = QStringLiteral(" → ");

struct Label {
    const char *key;
    const char *english;
    const char *german;
    const char *unit; // after the value, or empty
};

// The fields worded field by field, in the order they are told.
const Label kMasterLabels[] = {
    {"address", "master address", "Masteradresse", ""},
    {"baud_code", "baud rate", "Baudrate", ""},
    {"tsl", "TSL", "TSL", " tbit"},
    {"min_tsdr", "min TSDR", "min TSDR", " tbit"},
    {"max_tsdr", "max TSDR", "max TSDR", " tbit"},
    {"tqui", "TQUI", "TQUI", " tbit"},
    {"tset", "TSET", "TSET", " tbit"},
    {"ttr", "TTR", "TTR", " tbit"},
    {"gap", "gap update factor", "GAP-Faktor", ""},
    {"hsa", "HSA", "HSA", ""},
    {"retry_limit", "max retry limit", "max. Wiederholungen", ""},
    {"auto_clear", "auto-clear", "Auto-Clear", ""},
    {"flags", "flags", "Flags", ""},
    {"min_slave_interval_ms", "min slave interval", "min. Slave-Intervall", " ms"},
    {"poll_timeout", "poll timeout", "Poll-Timeout", ""},
    {"data_control_time_ms", "data control time", "Data-Control-Time", " ms"},
    {"class2_name", "class 2 name", "Klasse-2-Name", ""},
    {"reserved", "reserved bytes 34..39", "reservierte Bytes 34..39", ""},
    {"unused", "bytes 74..255", "Bytes 74..255", ""},
};

const Label kSlaveLabels[] = {
    {"name", "name", "Name", ""},
    {"gsd_code", "GSD code", "GSD-Kennung", ""},
    {"ident", "ident", "Ident-Nummer", ""},
    {"sl_flag", "Sl_Flag", "Sl_Flag", ""},
    {"slave_type", "slave type", "Slave-Typ", ""},
    {"station_status", "station status", "Stationsstatus", ""},
    {"min_tsdr", "min TSDR", "min TSDR", " tbit"},
    {"group", "group", "Gruppe", ""},
    {"reserved", "reserved bytes 12..23", "reservierte Bytes 12..23", ""},
    {"input_offset", "input offset", "Eingangsoffset", ""},
    {"output_offset", "output offset", "Ausgangsoffset", ""},
};

QString Words(const QJsonValue &v, int16_t lang)
{
    if (v.isUndefined() || v.isNull())
        return T(lang, "none", "keine");
    if (v.isBool())
        return v.toBool() ? T(lang, "on", "ein") : T(lang, "off", "aus");
    if (v.isString())
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 15);
    QStringList parts;
    for (const QJsonValue &e : v.toArray())
        parts << Words(e, lang);
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// Hexadecimal byte lists and codes read better without quotes.
QString Plain(const QJsonValue &v, int16_t lang)
{
    return v.isString() ? v.toString() : Words(v, lang);
}

// A difference in words and the field of the text it is about.
struct Word {
    QString field;
    QString text;
};
using WordList = std::vector<Word>;

void Add(WordList &to, const QString &field, const QStringList &texts)
{
    for (const QString &t : texts)
        to.push_back({field, t});
}

QString FromTo(const QString &label, const QString &from, const QString &to) { return label + QLatin1Char(' ') + from + kArrow + to; }

QByteArray Bytes(const QJsonValue &hex) { return HexValueBytes(hex); }

// Where two byte strings differ, at most a few positions named.
QString ByteChanges(const QByteArray &a, const QByteArray &b, const QString &what, int16_t lang)
{
    if (a.size() != b.size())
        return T(lang, "%1: %2 → %3 bytes", "%1: %2 → %3 Bytes").arg(what).arg(a.size()).arg(b.size());
    QStringList parts;
    int more = 0;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i] == b[i])
            continue;
        if (parts.size() < 6)
            parts << T(lang, "byte %1 %2 → %3", "Byte %1 %2 → %3").arg(i).arg(HexUpper(uint8_t(a[i]), 2), HexUpper(uint8_t(b[i]), 2));
        else
            ++more;
    }
    QString s = what + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
    if (more > 0)
        s += T(lang, " and %1 more", " und %1 weitere").arg(more);
    return s;
}

// ---- modules ----------------------------------------------------------------

struct ModuleEntry {
    QString key;   // what makes two entries the same module
    QString words; // "DI 8" (10)
};

std::vector<ModuleEntry> Modules(const QJsonObject &o)
{
    std::vector<ModuleEntry> out;
    for (const QJsonValue &v : o.value(QLatin1String("modules")).toArray()) {
        const QJsonObject m = v.toObject();
        const QString ids = m.value(QLatin1String("identifiers")).toString();
        const QString name = m.value(QLatin1String("name")).toString();
        const QString number = m.contains(QLatin1String("number")) ? QString::number(m.value(QLatin1String("number")).toInt()) : QString();
        out.push_back({number + QLatin1Char('|') + ids, (name.isEmpty() ? QString() : QLatin1Char('"') + name + QStringLiteral("\" ")) + QLatin1Char('(') + ids + QLatin1Char(')')});
    }
    return out;
}

// The module lists' differences in words: a longest common run of modules
// stays, the rest is removed, added, or changed where one replaces another.
QStringList ModuleWords(const std::vector<ModuleEntry> &a, const std::vector<ModuleEntry> &b, int16_t lang)
{
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i][j] = a[i].key == b[j].key ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    QStringList words;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i].key == b[j].key) {
            ++i;
            ++j;
            continue;
        }
        // A run of removals and additions up to the next common module.
        std::size_t i2 = i, j2 = j;
        while ((i2 < n || j2 < m) && !(i2 < n && j2 < m && a[i2].key == b[j2].key)) {
            if (j2 >= m || (i2 < n && lcs[i2 + 1][j2] > lcs[i2][j2 + 1]))
                ++i2;
            else
                ++j2;
        }
        const std::size_t changed = std::min(i2 - i, j2 - j);
        for (std::size_t k = 0; k < changed; ++k)
            words << T(lang, "module %1 changed: %2 → %3", "Modul %1 geändert: %2 → %3").arg(i + k + 1).arg(a[i + k].words, b[j + k].words);
        for (std::size_t k = i + changed; k < i2; ++k)
            words << T(lang, "module %1 removed: %2", "Modul %1 entfernt: %2").arg(k + 1).arg(a[k].words);
        for (std::size_t k = j + changed; k < j2; ++k)
            words << T(lang, "module %1 added: %2", "Modul %1 hinzugefügt: %2").arg(k + 1).arg(b[k].words);
        i = i2;
        j = j2;
    }
    return words;
}

// ---- user parameters --------------------------------------------------------

struct Field {
    int module = 0;
    QString name, type;
    int byte = 0;
    qint64 value = 0;
    QString text;
};

std::map<QString, Field> Fields(const QJsonObject &o)
{
    std::map<QString, Field> out;
    for (const QJsonValue &v : o.value(QLatin1String("parameters")).toArray()) {
        const QJsonObject f = v.toObject();
        Field e{f.value(QLatin1String("module")).toInt(), f.value(QLatin1String("name")).toString(), f.value(QLatin1String("type")).toString(),
                f.value(QLatin1String("byte")).toInt(), qint64(f.value(QLatin1String("value")).toDouble()), f.value(QLatin1String("text")).toString()};
        out.emplace(QStringLiteral("%1|%2|%3").arg(e.module).arg(e.name, e.type), e);
    }
    return out;
}

// The bits of the parameter bytes a field covers.
void Cover(std::vector<uint8_t> &mask, const Field &f)
{
    const FieldType t = ParseFieldType(f.type);
    for (int i = 0; i < t.width; ++i) {
        const std::size_t at = std::size_t(f.byte + i);
        if (at >= mask.size())
            return;
        if ((t.kind == FieldType::Kind::Bit || t.kind == FieldType::Kind::BitArea) && t.writable)
            mask[at] |= uint8_t(((1u << (t.lastBit - t.firstBit + 1)) - 1u) << t.firstBit);
        else
            mask[at] = 0xFF;
    }
}

WordList ParameterWords(const QJsonObject &a, const QJsonObject &b, int16_t lang)
{
    const QByteArray pa = Bytes(a.value(QLatin1String("user_parameters")));
    const QByteArray pb = Bytes(b.value(QLatin1String("user_parameters")));
    if (pa == pb)
        return {};
    WordList words;
    const auto fa = Fields(a), fb = Fields(b);
    for (const auto &[key, x] : fa) {
        const auto it = fb.find(key);
        if (it == fb.end() || it->second.value == x.value)
            continue;
        const Field &y = it->second;
        const QString label = x.module > 0 ? T(lang, "module %1 parameter \"%2\"", "Modul %1 Parameter \"%2\"").arg(x.module).arg(x.name)
                                           : T(lang, "parameter \"%1\"", "Parameter \"%1\"").arg(x.name);
        const auto shown = [](const Field &f) { return f.text.isEmpty() ? QString::number(f.value) : QStringLiteral("%1 (%2)").arg(f.value).arg(f.text); };
        words.push_back({QStringLiteral("parameters"), FromTo(label, shown(x), shown(y))});
    }
    if (pa.size() != pb.size()) {
        words.push_back({QStringLiteral("user_parameters"),
                         T(lang, "user parameters %1 → %2 bytes", "User-Parameter %1 → %2 Bytes").arg(pa.size()).arg(pb.size())});
        return words;
    }
    // Bits no field of both sides covers are told as bytes.
    std::vector<uint8_t> covered(std::size_t(pa.size()), 0);
    for (const auto &[key, f] : fa)
        if (fb.count(key) != 0)
            Cover(covered, f);
    QByteArray ua = pa, ub = pb;
    for (int i = 0; i < pa.size(); ++i) {
        ua[i] = char(uint8_t(pa[i]) & ~covered[std::size_t(i)]);
        ub[i] = char(uint8_t(pb[i]) & ~covered[std::size_t(i)]);
    }
    if (ua != ub) {
        // The bytes as they are, where bits outside the named fields changed.
        QStringList parts;
        int more = 0;
        for (int i = 0; i < pa.size(); ++i) {
            if (ua[i] == ub[i])
                continue;
            if (parts.size() < 6)
                parts << T(lang, "user parameter byte %1 %2 → %3", "User-Parameter-Byte %1 %2 → %3")
                             .arg(i)
                             .arg(HexUpper(uint8_t(pa[i]), 2), HexUpper(uint8_t(pb[i]), 2));
            else
                ++more;
        }
        if (more > 0)
            parts.last() += T(lang, " and %1 more", " und %1 weitere").arg(more);
        Add(words, QStringLiteral("user_parameters"), parts);
    }
    return words;
}

// ---- stations ---------------------------------------------------------------

QString StationWords(const QJsonObject &o, int16_t lang)
{
    QString s = QLatin1Char('"') + o.value(QLatin1String("name")).toString() + QLatin1Char('"');
    if (o.contains(QLatin1String("ident")))
        s += T(lang, ", ident %1", ", Ident-Nummer %1").arg(o.value(QLatin1String("ident")).toString());
    return s;
}

QString Watchdog(const QJsonObject &o, int16_t lang)
{
    const QJsonValue ms = o.value(QLatin1String("watchdog_ms"));
    return ms.isUndefined() ? T(lang, "off", "aus") : QStringLiteral("%1 ms").arg(ms.toInt());
}

WordList SlaveWords(const QJsonObject &a, const QJsonObject &b, int16_t lang)
{
    WordList words;
    for (const Label &l : kSlaveLabels) {
        const QJsonValue x = a.value(QLatin1String(l.key)), y = b.value(QLatin1String(l.key));
        if (x == y)
            continue;
        const bool text = qstrcmp(l.key, "name") == 0;
        const auto shown = [&](const QJsonValue &v) {
            return v.isUndefined() ? T(lang, "none", "keine") : text ? Words(v, lang) : Plain(v, lang);
        };
        words.push_back({QString::fromLatin1(l.key), FromTo(T(lang, l.english, l.german), shown(x), shown(y)) + QString::fromLatin1(l.unit)});
        if (qstrcmp(l.key, "station_status") == 0 && Watchdog(a, lang) != Watchdog(b, lang)) {
            // The watchdog is switched by a status bit.
            words.push_back({QStringLiteral("watchdog_ms"), FromTo(T(lang, "watchdog", "Watchdog"), Watchdog(a, lang), Watchdog(b, lang))});
        }
    }
    const QJsonValue fa = a.value(QLatin1String("watchdog_factors")), fb = b.value(QLatin1String("watchdog_factors"));
    if (fa != fb && a.value(QLatin1String("station_status")) == b.value(QLatin1String("station_status"))) {
        const auto factors = [](const QJsonValue &v) {
            const QJsonArray f = v.toArray();
            return QStringLiteral("%1 × %2").arg(f.at(0).toInt()).arg(f.at(1).toInt());
        };
        if (Watchdog(a, lang) != Watchdog(b, lang))
            words.push_back({QStringLiteral("watchdog_ms"), FromTo(T(lang, "watchdog", "Watchdog"), Watchdog(a, lang), Watchdog(b, lang))});
        else
            words.push_back({QStringLiteral("watchdog_factors"), FromTo(T(lang, "watchdog factors", "Watchdog-Faktoren"), factors(fa), factors(fb))});
    }
    Add(words, QStringLiteral("modules"), ModuleWords(Modules(a), Modules(b), lang));
    const QJsonValue na = a.value(QLatin1String("module_numbers")), nb = b.value(QLatin1String("module_numbers"));
    if (na != nb)
        words.push_back({QStringLiteral("module_numbers"),
                         FromTo(T(lang, "module numbers", "Modulnummern"), Words(na.isUndefined() ? QJsonArray() : na, lang),
                                Words(nb.isUndefined() ? QJsonArray() : nb, lang))});
    const WordList prm = ParameterWords(a, b, lang);
    words.insert(words.end(), prm.begin(), prm.end());
    return words;
}

WordList MasterWords(const QJsonObject &a, const QJsonObject &b, int16_t lang)
{
    WordList words;
    for (const Label &l : kMasterLabels) {
        const QJsonValue x = a.value(QLatin1String(l.key)), y = b.value(QLatin1String(l.key));
        if (x == y)
            continue;
        if (qstrcmp(l.key, "baud_code") == 0) {
            // The rate, where the code names one.
            const auto rate = [&](const QJsonObject &o) {
                const QJsonValue r = o.value(QLatin1String("baud_rate"));
                return r.isString() ? r.toString() : T(lang, "code %1", "Code %1").arg(o.value(QLatin1String("baud_code")).toInt());
            };
            words.push_back({QString::fromLatin1(l.key), FromTo(T(lang, l.english, l.german), rate(a), rate(b))});
            continue;
        }
        const bool text = qstrcmp(l.key, "class2_name") == 0;
        const auto shown = [&](const QJsonValue &v) {
            return v.isUndefined() ? T(lang, "none", "keine") : text ? Words(v, lang) : Plain(v, lang);
        };
        words.push_back({QString::fromLatin1(l.key), FromTo(T(lang, l.english, l.german), shown(x), shown(y)) + QString::fromLatin1(l.unit)});
    }
    return words;
}

std::map<int, QJsonObject> SlaveObjects(const QJsonObject &text)
{
    std::map<int, QJsonObject> out;
    for (const QJsonValue &v : text.value(QLatin1String("slaves")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.contains(QLatin1String("station")))
            out.emplace(o.value(QLatin1String("station")).toInt(), o);
    }
    return out;
}

std::map<int, QByteArray> Records(const Dp1File &f, QByteArray &unknown)
{
    std::map<int, QByteArray> out;
    for (const Dp1Item &item : f.items) {
        if (item.station == 0)
            unknown += item.bytes;
        else
            out[item.station] = item.bytes;
    }
    return out;
}

} // namespace

std::vector<ConfigChange> CompareConfigs(const Dp1File &a, const Dp1File &b, const NameLookup &names, int16_t lang)
{
    using Part = ConfigChange::Part;
    std::vector<ConfigChange> changes;
    const auto add = [&](Part part, int station, const QString &field, const QString &text) {
        changes.push_back({part, station, field, text});
    };
    const QJsonObject ta = ConfigTextObject(a, names), tb = ConfigTextObject(b, names);

    if (a.header != b.header)
        add(Part::File, 0, QStringLiteral("header"), ByteChanges(a.header, b.header, T(lang, "header", "Kopf"), lang));
    QByteArray ua, ub;
    const auto ra = Records(a, ua), rb = Records(b, ub);
    if (ua != ub)
        add(Part::File, 0, QStringLiteral("unknown_bytes"),
            T(lang, "bytes the loader skips: %1 → %2 bytes", "Bytes, die der Lader überspringt: %1 → %2 Bytes").arg(ua.size()).arg(ub.size()));

    if (a.master != b.master) {
        const QJsonObject ma = ta.value(QLatin1String("master")).toObject(), mb = tb.value(QLatin1String("master")).toObject();
        const WordList words = MasterWords(ma, mb, lang);
        for (const Word &w : words)
            add(Part::Master, 0, w.field, w.text);
        if (words.empty())
            add(Part::Master, 0, QStringLiteral("record_bytes"), ByteChanges(a.master, b.master, T(lang, "record", "Parametersatz"), lang));
    }

    const auto oa = SlaveObjects(ta), ob = SlaveObjects(tb);
    std::map<int, int> stations;
    for (const auto &[s, bytes] : ra)
        stations[s] |= 1;
    for (const auto &[s, bytes] : rb)
        stations[s] |= 2;
    for (const auto &[s, where] : stations) {
        if (where == 1) {
            add(Part::Station, s, QStringLiteral("station"), T(lang, "removed: %1", "entfernt: %1").arg(StationWords(oa.at(s), lang)));
            continue;
        }
        if (where == 2) {
            add(Part::Station, s, QStringLiteral("station"), T(lang, "added: %1", "hinzugefügt: %1").arg(StationWords(ob.at(s), lang)));
            continue;
        }
        if (ra.at(s) == rb.at(s))
            continue;
        const WordList words = SlaveWords(oa.at(s), ob.at(s), lang);
        for (const Word &w : words)
            add(Part::Station, s, w.field, w.text);
        if (words.empty())
            add(Part::Station, s, QStringLiteral("record_bytes"), ByteChanges(ra.at(s), rb.at(s), T(lang, "record", "Parametersatz"), lang));
    }
    return changes;
}

std::vector<ConfigChange> CompareWithBoard(const ConfigImage &mine, const ConfigImage &board, const NameLookup &names, int16_t language)
{
    Dp1File a = Dp1FromImage(mine, 1, kSlots - 1);
    Dp1File b = Dp1FromImage(board, 1, kSlots - 1);
    for (Dp1File *f : {&a, &b})
        f->master.replace(kBoardMasterEnd, kDp1MasterSize - kBoardMasterEnd, QByteArray(kDp1MasterSize - kBoardMasterEnd, '\0'));
    return CompareConfigs(a, b, names, language);
}

QStringList ChangeLines(const std::vector<ConfigChange> &changes, int16_t lang)
{
    using Part = ConfigChange::Part;
    QStringList lines;
    std::size_t i = 0;
    while (i < changes.size()) {
        const ConfigChange &c = changes[i];
        QString head = c.part == Part::File     ? T(lang, "file", "Datei")
                       : c.part == Part::Master ? T(lang, "master", "Master")
                                                : T(lang, "station %1", "Station %1").arg(c.station);
        if (c.field == QLatin1String("station")) {
            // Added or removed: the station on a line of its own.
            lines << head + QLatin1Char(' ') + c.text;
            ++i;
            continue;
        }
        QStringList words;
        std::size_t j = i;
        for (; j < changes.size() && changes[j].part == c.part && changes[j].station == c.station && changes[j].field != QLatin1String("station"); ++j)
            words << changes[j].text;
        lines << head + QStringLiteral(": ") + words.join(QStringLiteral("; "));
        i = j;
    }
    return lines;
}

QJsonArray ChangesJson(const std::vector<ConfigChange> &changes)
{
    QJsonArray out;
    for (const ConfigChange &c : changes) {
        QJsonObject o{{QStringLiteral("part"), c.part == ConfigChange::Part::File     ? QStringLiteral("file")
                                               : c.part == ConfigChange::Part::Master ? QStringLiteral("master")
                                                                                      : QStringLiteral("station")},
                      {QStringLiteral("text"), c.text}};
        if (c.part == ConfigChange::Part::Station)
            o[QStringLiteral("station")] = c.station;
        if (!c.field.isEmpty())
            o[QStringLiteral("field")] = c.field;
        out.append(o);
    }
    return out;
}

} // namespace meridan
