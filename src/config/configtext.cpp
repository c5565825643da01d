// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/configtext.h"

#include "config/image.h"
#include "core/bytes.h"
#include "core/texts.h"
#include "slave/gsd_names.h"
#include "slave/prm_type.h"
#include "slave/record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace meridan {

const char kConfigTextFormat[] = "meridan-config-text/1";

namespace {

constexpr uint8_t kHeaderFirst = 0x10;
constexpr int kShortLengthCap = 244;   // byte 7 of a longer record
constexpr int kUserData = 88;          // D of every record built here
constexpr int kModuleListInFile = 56;  // module list bytes 25..80: the file ends at user data byte 80
constexpr int kMasterNameAt = 42;
constexpr int kMasterNameLen = 32;
constexpr int kMasterUnusedAt = 74;

// ---- small helpers ------------------------------------------------------------

QString T(int16_t language, const char *english, const char *german)
{
    return Tr(language, QString::fromUtf8(english), QString::fromUtf8(german));
}

uint8_t At(const QByteArray &b, int i)
{
    if (i < 0 || i >= b.size())
        throw RangeError("past the end of the record");
    return uint8_t(b[i]);
}

int Be16(const QByteArray &b, int i) { return (At(b, i) << 8) | At(b, i + 1); }

QString Hex(const QByteArray &b, int from, int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += HexByteText(At(b, from + i));
    s.chop(1);
    return s;
}

QString Hex(const QByteArray &b) { return Hex(b, 0, int(b.size())); }

// A long run of bytes as lines of 16, so that a change shows as the line it
// touches.
constexpr int kBytesPerLine = 16;
QJsonValue HexLines(const QByteArray &b, int from, int count)
{
    if (count <= kBytesPerLine)
        return Hex(b, from, count);
    QJsonArray lines;
    for (int i = 0; i < count; i += kBytesPerLine)
        lines.append(Hex(b, from + i, std::min(kBytesPerLine, count - i)));
    return lines;
}
QJsonValue HexLines(const QByteArray &b) { return HexLines(b, 0, int(b.size())); }

bool AllZero(const QByteArray &b, int from, int count)
{
    for (int i = 0; i < count; ++i)
        if (At(b, from + i) != 0)
            return false;
    return true;
}

// Latin-1 text of a blank-padded field, the padding taken off.
QString PaddedText(const QByteArray &b, int from, int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += QChar(At(b, from + i));
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

// The refusal of a text: where (the station and the field) and why.
struct Refusal {
    QString where;
    QString why;
};

[[noreturn]] void Refuse(const QString &where, const QString &why) { throw Refusal{where, why}; }

// What import reads a value as, each named in its refusal.
class Reader {
public:
    Reader(const QJsonObject &o, QString where, int16_t language) : o_(o), where_(std::move(where)), lang_(language) {}

    bool has(const char *key) const { return o_.contains(QLatin1String(key)); }
    QString where(const QString &key) const { return where_ + QStringLiteral(": ") + key; }
    QString where(const char *key) const { return where(QString::fromLatin1(key)); }
    [[noreturn]] void refuse(const char *key, const QString &why) const { Refuse(where(key), why); }

    QJsonValue need(const char *key) const
    {
        if (!has(key))
            Refuse(where_, T(lang_, "\"%1\" is missing", "\"%1\" fehlt").arg(QLatin1String(key)));
        return o_.value(QLatin1String(key));
    }

    // A whole number within lo..hi.
    int64_t number(const char *key, int64_t lo, int64_t hi) const { return numberOf(need(key), key, lo, hi); }
    int64_t numberOf(const QJsonValue &v, const char *key, int64_t lo, int64_t hi) const
    {
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || std::isnan(d) || d != std::floor(d))
            refuse(key, T(lang_, "not a whole number", "keine ganze Zahl"));
        if (d < double(lo) || d > double(hi))
            refuse(key, T(lang_, "%1 is outside %2..%3", "%1 liegt außerhalb %2..%3").arg(NumberText(d)).arg(lo).arg(hi));
        return int64_t(d);
    }
    // A number of `unit`s as written with up to `digits` decimals: 2.5 ms in
    // units of 100 us is 25.
    int64_t scaled(const char *key, double factor, int64_t lo, int64_t hi) const
    {
        const QJsonValue v = need(key);
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || std::isnan(d))
            refuse(key, T(lang_, "not a number", "keine Zahl"));
        const double units = d * factor;
        const double whole = std::round(units);
        if (std::fabs(units - whole) > 1e-6)
            refuse(key, T(lang_, "%1 is not a multiple of %2", "%1 ist kein Vielfaches von %2").arg(NumberText(d)).arg(NumberText(1.0 / factor)));
        if (whole < double(lo) || whole > double(hi))
            refuse(key, T(lang_, "%1 is outside %2..%3", "%1 liegt außerhalb %2..%3")
                            .arg(NumberText(d))
                            .arg(NumberText(double(lo) / factor))
                            .arg(NumberText(double(hi) / factor)));
        return int64_t(whole);
    }
    bool flag(const char *key) const
    {
        const QJsonValue v = need(key);
        if (!v.isBool())
            refuse(key, T(lang_, "not true or false", "nicht true oder false"));
        return v.toBool();
    }
    QString text(const char *key) const
    {
        const QJsonValue v = need(key);
        if (!v.isString())
            refuse(key, T(lang_, "not a text", "kein Text"));
        return v.toString();
    }
    // Latin-1 text of at most `most` characters.
    QByteArray latin1(const char *key, int most) const
    {
        const QString s = text(key);
        if (s.size() > most)
            refuse(key, T(lang_, "\"%1\" is longer than %2 characters", "\"%1\" ist länger als %2 Zeichen").arg(s).arg(most));
        for (QChar c : s)
            if (c.unicode() > 0xFF)
                refuse(key, T(lang_, "the character %1 is not Latin-1", "das Zeichen %1 ist nicht Latin-1").arg(c));
        return s.toLatin1();
    }
    QByteArray hex(const char *key) const { return hexOf(need(key), key); }
    QByteArray hexOf(const QJsonValue &v, const char *key) const
    {
        QString all = v.toString();
        for (const QJsonValue &line : v.toArray())
            all += QLatin1Char(' ') + (line.isString() ? line.toString() : QStringLiteral("?"));
        if (!v.isString() && !v.isArray())
            refuse(key, T(lang_, "not a text of hexadecimal bytes", "kein Text aus Hexadezimalbytes"));
        QByteArray out;
        for (const QString &w : all.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bool ok = false;
            const uint b = w.toUInt(&ok, 16);
            if (!ok || w.size() > 2 || b > 0xFF)
                refuse(key, T(lang_, "\"%1\" is not a hexadecimal byte", "\"%1\" ist kein Hexadezimalbyte").arg(w));
            out.append(char(b));
        }
        return out;
    }
    uint8_t hexByte(const char *key) const
    {
        const QByteArray b = hex(key);
        if (b.size() != 1)
            refuse(key, T(lang_, "not one hexadecimal byte", "nicht ein Hexadezimalbyte"));
        return uint8_t(b[0]);
    }
    QJsonArray array(const char *key) const
    {
        const QJsonValue v = need(key);
        if (!v.isArray())
            refuse(key, T(lang_, "not a list", "keine Liste"));
        return v.toArray();
    }
    // Every key is one the schema knows: a misspelt field must not vanish.
    void onlyKnown(std::initializer_list<const char *> known) const
    {
        for (auto it = o_.begin(); it != o_.end(); ++it) {
            const bool ok = std::any_of(known.begin(), known.end(), [&](const char *k) { return it.key() == QLatin1String(k); });
            if (!ok)
                Refuse(where_, T(lang_, "unknown field \"%1\"", "unbekanntes Feld \"%1\"").arg(it.key()));
        }
    }
    // An informative key must say what the record says.
    void agrees(const char *key, const QJsonObject &decoded, const char *source) const
    {
        if (!has(key))
            return;
        const QJsonValue mine = o_.value(QLatin1String(key));
        const QJsonValue real = decoded.value(QLatin1String(key));
        if (mine != real)
            refuse(key, T(lang_, "%1 disagrees with the record (%2); it follows from %3",
                          "%1 widerspricht dem Parametersatz (%2); es folgt aus %3")
                            .arg(ValueText(mine), real.isUndefined() ? T(lang_, "none", "keiner") : ValueText(real),
                                 QString::fromLatin1(source)));
    }

    static QString NumberText(double d) { return QString::number(d, 'g', 15); }
    static QString ValueText(const QJsonValue &v)
    {
        if (v.isDouble())
            return NumberText(v.toDouble());
        if (v.isString())
            return QLatin1Char('"') + v.toString() + QLatin1Char('"');
        if (v.isBool())
            return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        if (v.isArray()) {
            QStringList parts;
            for (const QJsonValue &e : v.toArray())
                parts << ValueText(e);
            return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        return QStringLiteral("null");
    }

private:
    const QJsonObject &o_;
    QString where_;
    int16_t lang_;
};

// ---- the master record --------------------------------------------------------

QString RateWords(int code)
{
    const BaudInfo *baud = BaudFor(code);
    if (!baud)
        return {};
    return baud->kbits >= 1000 ? QString::number(baud->kbits / 1000.0) + QStringLiteral(" Mbit/s")
                               : QString::number(baud->kbits) + QStringLiteral(" kbit/s");
}

QJsonObject DecodeMaster(const QByteArray &m)
{
    QJsonObject o;
    o[QStringLiteral("address")] = At(m, 10);
    o[QStringLiteral("baud_code")] = At(m, 11);
    if (BaudFor(At(m, 11)))
        o[QStringLiteral("baud_rate")] = RateWords(At(m, 11));
    o[QStringLiteral("tsl")] = Be16(m, 12);
    o[QStringLiteral("min_tsdr")] = Be16(m, 14);
    o[QStringLiteral("max_tsdr")] = Be16(m, 16);
    o[QStringLiteral("tqui")] = int(At(m, 18)) - 1; // stored as the entered value + 1
    o[QStringLiteral("tset")] = At(m, 19);
    o[QStringLiteral("ttr")] = qint64(be32(std::span(reinterpret_cast<const uint8_t *>(m.constData()), std::size_t(m.size())), 20));
    o[QStringLiteral("gap")] = At(m, 24);
    o[QStringLiteral("hsa")] = At(m, 25);
    o[QStringLiteral("retry_limit")] = At(m, 26);
    o[QStringLiteral("auto_clear")] = bool(At(m, 27) & 0x80);
    if (At(m, 27) & 0x7F)
        o[QStringLiteral("flags")] = Hex(m, 27, 1);
    o[QStringLiteral("min_slave_interval_ms")] = Be16(m, 28) / 10.0;
    o[QStringLiteral("poll_timeout")] = Be16(m, 30);
    o[QStringLiteral("data_control_time_ms")] = Be16(m, 32) * 10;
    if (!AllZero(m, 34, 6))
        o[QStringLiteral("reserved")] = Hex(m, 34, 6);
    o[QStringLiteral("class2_name")] = PaddedText(m, kMasterNameAt, kMasterNameLen);
    int last = kDp1MasterSize - 1;
    while (last >= kMasterUnusedAt && At(m, last) == 0)
        --last;
    if (last >= kMasterUnusedAt)
        o[QStringLiteral("unused")] = HexLines(m, kMasterUnusedAt, last - kMasterUnusedAt + 1);
    return o;
}

QByteArray EncodeMaster(const QJsonObject &o, int16_t lang)
{
    const Reader r(o, T(lang, "master", "Master"), lang);
    r.onlyKnown({"address", "baud_code", "baud_rate", "tsl", "min_tsdr", "max_tsdr", "tqui", "tset", "ttr", "gap", "hsa",
                 "retry_limit", "auto_clear", "flags", "min_slave_interval_ms", "poll_timeout", "data_control_time_ms",
                 "reserved", "class2_name", "unused", "record_bytes"});
    QByteArray m;
    if (r.has("record_bytes")) {
        m = r.hex("record_bytes");
        if (m.size() != kDp1MasterSize || uint8_t(m[0]) != kMasterMarker)
            r.refuse("record_bytes", T(lang, "a master record is 256 bytes starting 24", "ein Masterparametersatz hat 256 Bytes und beginnt mit 24"));
        const QJsonObject real = DecodeMaster(m);
        for (auto it = real.begin(); it != real.end(); ++it)
            r.agrees(it.key().toLatin1().constData(), real, "record_bytes");
        for (const char *key : {"flags", "reserved", "unused"})
            if (r.has(key) && !real.contains(QLatin1String(key)))
                r.agrees(key, real, "record_bytes");
        return m;
    }
    // What every master record holds: the marker, the lengths of its bus
    // parameter set (66) and master user data (34), a blank-padded name.
    m = QByteArray(kDp1MasterSize, '\0');
    auto span = std::span(reinterpret_cast<uint8_t *>(m.data()), std::size_t(m.size()));
    m[0] = char(kMasterMarker);
    m[7] = 66;
    putBe16(span, 8, 66);
    putBe16(span, 40, 34);
    // The ranges the master editor takes.
    m[10] = char(r.number("address", 0, 9));
    m[11] = char(r.number("baud_code", 0, 9));
    putBe16(span, 12, uint16_t(r.number("tsl", 0, 65335)));
    putBe16(span, 14, uint16_t(r.number("min_tsdr", 0, 65535)));
    putBe16(span, 16, uint16_t(r.number("max_tsdr", 0, 65535)));
    m[18] = char(r.number("tqui", 0, 254) + 1);
    m[19] = char(r.number("tset", 0, 255));
    putBe32(span, 20, uint32_t(r.number("ttr", 0, 16777215)));
    m[24] = char(r.number("gap", 1, 100));
    m[25] = char(r.number("hsa", 2, 125));
    m[26] = char(r.number("retry_limit", 1, 8));
    const bool autoClear = r.flag("auto_clear");
    uint8_t flags = autoClear ? 0x80 : 0;
    if (r.has("flags")) {
        flags = r.hexByte("flags");
        if (bool(flags & 0x80) != autoClear)
            r.refuse("flags", T(lang, "bit 7 is auto_clear, which says otherwise", "Bit 7 ist auto_clear, das anderes sagt"));
    }
    m[27] = char(flags);
    putBe16(span, 28, uint16_t(r.scaled("min_slave_interval_ms", 10.0, 0, 650)));
    putBe16(span, 30, uint16_t(r.number("poll_timeout", 0, 65535)));
    putBe16(span, 32, uint16_t(r.scaled("data_control_time_ms", 0.1, 0, 65535)));
    if (r.has("reserved")) {
        const QByteArray b = r.hex("reserved");
        if (b.size() > 6)
            r.refuse("reserved", T(lang, "more than 6 bytes", "mehr als 6 Bytes"));
        m.replace(34, int(b.size()), b);
    }
    const QByteArray name = r.latin1("class2_name", kMasterNameLen);
    m.replace(kMasterNameAt, kMasterNameLen, name.leftJustified(kMasterNameLen, ' '));
    if (r.has("unused")) {
        const QByteArray b = r.hex("unused");
        if (b.size() > kDp1MasterSize - kMasterUnusedAt)
            r.refuse("unused", T(lang, "more than 182 bytes", "mehr als 182 Bytes"));
        m.replace(kMasterUnusedAt, int(b.size()), b);
    }
    r.agrees("baud_rate", DecodeMaster(m), "baud_code");
    return m;
}

// ---- slave records -------------------------------------------------------------

// The extent of a record in the file: bytes 0..L, but at least the ten
// bytes the loader reads before it looks at L.
int RecordExtent(int l) { return l < 10 ? 10 : l + 1; }

std::vector<int> DecodeModuleNumbers(const QByteArray &r, int from)
{
    std::vector<int> numbers;
    for (int i = from; i < r.size(); ++i) {
        const int b = At(r, i);
        if (b == 0)
            break;
        if (b == 255) {
            numbers.push_back(255 + (i + 1 < r.size() ? At(r, ++i) : 0));
            continue;
        }
        numbers.push_back(b);
    }
    return numbers;
}

QByteArray EncodeModuleNumbers(const std::vector<int> &numbers)
{
    QByteArray b;
    for (int n : numbers) {
        if (n <= 254) {
            b.append(char(n));
        } else {
            b.append(char(255));
            b.append(char(n - 255));
        }
    }
    return b;
}

QJsonArray NumberArray(const std::vector<int> &v)
{
    QJsonArray a;
    for (int n : v)
        a.append(n);
    return a;
}

// A record's fields as its bytes give them, without any device file. What a
// damaged record does not give is left out.
QJsonObject DecodeSlave(const QByteArray &r, int station)
{
    QJsonObject o;
    o[QStringLiteral("station")] = station;
    try {
        const int u = int(At(r, 25)) - 9;
        const int c = int(At(r, 34 + u)) - 2;
        if (u < 0 || c < 0)
            return o;
        const int ud = 43 + u + c;
        o[QStringLiteral("name")] = PaddedText(r, ud + 5, 20);
        QString code;
        for (int i = 0; i < 4; ++i)
            code += QChar(At(r, ud + i));
        o[QStringLiteral("gsd_code")] = code;
        o[QStringLiteral("ident")] = HexUpper(unsigned(Be16(r, 30)), 4);
        o[QStringLiteral("sl_flag")] = Hex(r, 10, 1);
        o[QStringLiteral("slave_type")] = At(r, 11);
        o[QStringLiteral("station_status")] = Hex(r, 26, 1);
        o[QStringLiteral("watchdog_factors")] = QJsonArray{At(r, 27), At(r, 28)};
        if (At(r, 26) & 0x08)
            o[QStringLiteral("watchdog_ms")] = 10 * At(r, 27) * At(r, 28);
        o[QStringLiteral("min_tsdr")] = At(r, 29);
        o[QStringLiteral("group")] = At(r, 32);
        if (!AllZero(r, 12, 12))
            o[QStringLiteral("reserved")] = Hex(r, 12, 12);
        o[QStringLiteral("user_parameters")] = HexLines(r, 33, u);
        const QByteArray cfg = r.mid(35 + u, c);
        if (cfg.size() != c)
            return o;
        QJsonArray modules;
        const auto *bytes = reinterpret_cast<const uint8_t *>(cfg.constData());
        for (const CfgIdentifier &g : SplitIdentifiers(bytes, c))
            modules.append(QJsonObject{{QStringLiteral("identifiers"), Hex(cfg, g.first, g.size)}});
        o[QStringLiteral("modules")] = modules;
        const std::vector<int> numbers = DecodeModuleNumbers(r, ud + kModuleListAt);
        if (!numbers.empty())
            o[QStringLiteral("module_numbers")] = NumberArray(numbers);
        o[QStringLiteral("input_offset")] = Be16(r, 37 + u + c);
        o[QStringLiteral("output_offset")] = Be16(r, 39 + u + c);
        int in = 0, out = 0;
        AddIoLengths(bytes, c, in, out);
        o[QStringLiteral("input_length")] = in;
        o[QStringLiteral("output_length")] = out;
    } catch (const RangeError &) {
        // the record ends before its layout does: what was read stays
    }
    return o;
}

QByteArray ModuleBytes(const QJsonObject &m) { return QByteArray::fromHex(m.value(QLatin1String("identifiers")).toString().toLatin1()); }

// Gives the modules and user parameters of a decoded record the names of the
// device file: each module of the module list with its identifier bytes
// (when they follow each other as the device file says), and the fields of
// the device's and the modules' parameter blocks.
void NameSlave(QJsonObject &o, const DeviceNames &dev)
{
    o[QStringLiteral("device")] = (dev.vendor + QLatin1Char(' ') + dev.model).trimmed();
    o[QStringLiteral("gsd_file")] = dev.file;
    if (!o.contains(QLatin1String("modules")))
        return;
    QByteArray cfg;
    for (const QJsonValue &m : o.value(QLatin1String("modules")).toArray())
        cfg += ModuleBytes(m.toObject());
    std::vector<int> numbers;
    for (const QJsonValue &n : o.value(QLatin1String("module_numbers")).toArray())
        numbers.push_back(n.toInt());

    const auto cfgOf = [](const ModuleNames &m) { return QByteArray(reinterpret_cast<const char *>(m.cfg.data()), qsizetype(m.cfg.size())); };
    QJsonArray named;
    int at = 0;
    bool paired = !numbers.empty();
    for (int n : numbers) {
        const auto it = dev.modules.find(n);
        if (it == dev.modules.end() || cfg.mid(at, qsizetype(it->second.cfg.size())) != cfgOf(it->second)) {
            paired = false;
            break;
        }
        named.append(QJsonObject{{QStringLiteral("number"), n},
                                 {QStringLiteral("name"), it->second.name},
                                 {QStringLiteral("identifiers"), Hex(cfgOf(it->second))}});
        at += int(it->second.cfg.size());
    }
    if (paired && at == cfg.size()) {
        o[QStringLiteral("modules")] = named;
        o.remove(QStringLiteral("module_numbers"));
    } else if (numbers.empty() && !cfg.isEmpty()) {
        // A compact device: its one module, with no number in the list.
        for (const auto &[n, m] : dev.modules)
            if (cfgOf(m) == cfg) {
                o[QStringLiteral("modules")] = QJsonArray{QJsonObject{{QStringLiteral("name"), m.name}, {QStringLiteral("identifiers"), Hex(cfg)}}};
                break;
            }
    }

    // The parameter fields: the device's block first, then each module's in
    // the order of the module list.
    const QByteArray prm = HexValueBytes(o.value(QLatin1String("user_parameters")));
    const auto block = std::span(reinterpret_cast<const uint8_t *>(prm.constData()), std::size_t(prm.size()));
    QJsonArray fields;
    const auto add = [&](const PrmFieldName &f, int base, int position) {
        const FieldType type = ParseFieldType(f.type);
        const auto value = ReadField(block, type, base + f.offset);
        if (!value)
            return; // the record holds fewer parameter bytes than the file describes
        QJsonObject e;
        if (position > 0)
            e[QStringLiteral("module")] = position;
        e[QStringLiteral("name")] = f.name;
        e[QStringLiteral("byte")] = base + f.offset;
        e[QStringLiteral("type")] = f.type;
        e[QStringLiteral("value")] = qint64(*value);
        for (const auto &[v, text] : f.texts)
            if (v == *value) {
                e[QStringLiteral("text")] = text;
                break;
            }
        if (f.values.empty()) {
            e[QStringLiteral("min")] = qint64(f.min);
            e[QStringLiteral("max")] = qint64(f.max);
        } else {
            QJsonArray values;
            for (int64_t v : f.values)
                values.append(qint64(v));
            e[QStringLiteral("values")] = values;
        }
        fields.append(e);
    };
    for (const PrmFieldName &f : dev.fields)
        add(f, 0, 0);
    int base = dev.prmLen;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto it = dev.modules.find(numbers[i]);
        if (it == dev.modules.end())
            break; // the blocks after an unknown module cannot be placed
        for (const PrmFieldName &f : it->second.fields)
            add(f, base, int(i) + 1);
        base += it->second.prmLen;
    }
    if (!fields.isEmpty())
        o[QStringLiteral("parameters")] = fields;
}

// Writes the named parameter fields whose value differs from the bytes.
void ApplyParameters(const Reader &r, const QJsonArray &fields, QByteArray &prm, int station, int16_t lang, QStringList *notes)
{
    for (const QJsonValue &v : fields) {
        if (!v.isObject())
            r.refuse("parameters", T(lang, "an entry is not an object", "ein Eintrag ist kein Objekt"));
        const QJsonObject f = v.toObject();
        const QString name = f.value(QLatin1String("name")).toString();
        const Reader fr(f, r.where("parameters") + QStringLiteral(" \"") + name + QLatin1Char('"'), lang);
        fr.onlyKnown({"module", "name", "byte", "type", "value", "text", "min", "max", "values"});
        const int byte = int(fr.number("byte", 0, kMaxUserPrm - 1));
        const QString typeWord = fr.text("type");
        const FieldType type = ParseFieldType(typeWord);
        const int64_t value = fr.number("value", INT32_MIN, UINT32_MAX);
        auto block = std::span(reinterpret_cast<uint8_t *>(prm.data()), std::size_t(prm.size()));
        const auto now = ReadField(block, type, byte);
        if (!now)
            fr.refuse("byte", T(lang, "the field lies outside the %1 user parameter bytes", "das Feld liegt außerhalb der %1 User-Parameter-Bytes").arg(prm.size()));
        if (*now == value)
            continue;
        if (fr.has("values")) {
            bool listed = false;
            for (const QJsonValue &allowed : fr.array("values"))
                listed = listed || allowed.toDouble() == double(value);
            if (!listed)
                fr.refuse("value", T(lang, "%1 is not one of the values the device allows", "%1 ist keiner der Werte, die das Gerät erlaubt").arg(value));
        } else if (fr.has("min") || fr.has("max")) {
            const int64_t lo = fr.number("min", INT32_MIN, UINT32_MAX), hi = fr.number("max", INT32_MIN, UINT32_MAX);
            if (value < lo || value > hi)
                fr.refuse("value", T(lang, "%1 is outside %2..%3", "%1 liegt außerhalb %2..%3").arg(value).arg(lo).arg(hi));
        }
        if (!WriteField(block, type, byte, value))
            fr.refuse("value", type.writable ? T(lang, "%1 does not fit %2", "%1 passt nicht in %2").arg(value).arg(typeWord)
                                             : T(lang, "a field of type %1 cannot be written", "ein Feld vom Typ %1 kann nicht geschrieben werden").arg(typeWord));
        if (notes)
            *notes << T(lang, "station %1: parameter \"%2\" = %3 written into byte %4", "Station %1: Parameter \"%2\" = %3 in Byte %4 geschrieben")
                          .arg(station)
                          .arg(name)
                          .arg(value)
                          .arg(byte);
    }
}

QByteArray EncodeSlave(const QJsonObject &o, int station, int16_t lang, QStringList *notes)
{
    const Reader r(o, T(lang, "station %1", "Station %1").arg(station), lang);
    r.onlyKnown({"station", "name", "gsd_code", "ident", "device", "gsd_file", "sl_flag", "slave_type", "station_status",
                 "watchdog_factors", "watchdog_ms", "min_tsdr", "group", "reserved", "user_parameters", "parameters", "modules",
                 "module_numbers", "input_offset", "output_offset", "input_length", "output_length", "record_bytes"});

    // The modules' identifier bytes one after the other, and the module numbers.
    QByteArray cfg;
    std::optional<std::vector<int>> numbers;
    if (r.has("modules")) {
        std::vector<int> perModule;
        for (const QJsonValue &v : r.array("modules")) {
            if (!v.isObject())
                r.refuse("modules", T(lang, "an entry is not an object", "ein Eintrag ist kein Objekt"));
            const QJsonObject m = v.toObject();
            const Reader mr(m, r.where("modules"), lang);
            mr.onlyKnown({"number", "name", "identifiers"});
            cfg += mr.hex("identifiers");
            if (mr.has("number"))
                perModule.push_back(int(mr.number("number", 1, 510)));
        }
        if (!perModule.empty())
            numbers = perModule;
    }
    if (r.has("module_numbers")) {
        if (numbers)
            r.refuse("module_numbers", T(lang, "the modules carry their numbers already", "die Module tragen ihre Nummern schon"));
        std::vector<int> list;
        for (const QJsonValue &v : r.array("module_numbers"))
            list.push_back(int(r.numberOf(v, "module_numbers", 1, 510)));
        numbers = list;
    }

    if (r.has("record_bytes")) {
        // A record this program would not build so is kept as its bytes; the
        // named fields beside them are for reading and must agree.
        const QByteArray b = r.hex("record_bytes");
        if (b.size() < 10 || uint8_t(b[0]) != kSlaveMarker || uint8_t(b[3]) != station)
            r.refuse("record_bytes", T(lang, "not a slave record of this station", "kein Slaveparametersatz dieser Station"));
        const int l = Be16(b, 8);
        if (l > 511 || b.size() != RecordExtent(l))
            r.refuse("record_bytes", T(lang, "%1 bytes, but its length L = %2 asks for %3", "%1 Bytes, aber seine Länge L = %2 verlangt %3")
                                          .arg(b.size())
                                          .arg(l)
                                          .arg(RecordExtent(l)));
        const QJsonObject real = DecodeSlave(b, station);
        for (const char *key : {"name", "gsd_code", "ident", "sl_flag", "slave_type", "station_status", "watchdog_factors", "watchdog_ms",
                                "min_tsdr", "group", "reserved", "user_parameters", "input_offset", "output_offset", "input_length",
                                "output_length"})
            r.agrees(key, real, "record_bytes");
        QByteArray realCfg;
        for (const QJsonValue &m : real.value(QLatin1String("modules")).toArray())
            realCfg += ModuleBytes(m.toObject());
        if (r.has("modules") && cfg != realCfg)
            r.refuse("modules", T(lang, "the identifier bytes disagree with record_bytes", "die Kennungsbytes widersprechen record_bytes"));
        std::vector<int> realNumbers;
        for (const QJsonValue &n : real.value(QLatin1String("module_numbers")).toArray())
            realNumbers.push_back(n.toInt());
        if (numbers && *numbers != realNumbers)
            r.refuse("module_numbers", T(lang, "the module numbers disagree with record_bytes", "die Modulnummern widersprechen record_bytes"));
        if (r.has("parameters"))
            r.refuse("parameters", T(lang, "a record kept as record_bytes is changed in its bytes", "ein als record_bytes gehaltener Satz wird in seinen Bytes geändert"));
        return b;
    }

    QByteArray prm = r.hex("user_parameters");
    if (prm.size() > kMaxUserPrm)
        r.refuse("user_parameters", T(lang, "%1 bytes, at most %2", "%1 Bytes, höchstens %2").arg(prm.size()).arg(kMaxUserPrm));
    if (r.has("parameters"))
        ApplyParameters(r, r.array("parameters"), prm, station, lang, notes);
    r.need("modules");
    if (cfg.size() > kMaxCfg)
        r.refuse("modules", T(lang, "%1 identifier bytes, a record holds at most %2", "%1 Kennungsbytes, ein Parametersatz fasst höchstens %2")
                                 .arg(cfg.size())
                                 .arg(kMaxCfg));
    const QByteArray list = EncodeModuleNumbers(numbers.value_or(std::vector<int>{}));
    if (list.size() > kModuleListInFile)
        r.refuse(r.has("module_numbers") ? "module_numbers" : "modules",
                 T(lang, "the module list takes %1 bytes, the file keeps %2", "die Modulliste braucht %1 Bytes, die Datei hält %2")
                     .arg(list.size())
                     .arg(kModuleListInFile));

    const int u = int(prm.size()), c = int(cfg.size());
    const int l = 35 + u + c + kUserData;
    Record rec;
    rec[0] = kSlaveMarker;
    rec[3] = uint8_t(station);
    putBe16(rec.span(), 8, uint16_t(l));
    SetShortLength(rec);
    rec[10] = r.hexByte("sl_flag");
    rec[11] = uint8_t(r.number("slave_type", 0, 255));
    if (r.has("reserved")) {
        const QByteArray b = r.hex("reserved");
        if (b.size() > 12)
            r.refuse("reserved", T(lang, "more than 12 bytes", "mehr als 12 Bytes"));
        std::copy(b.begin(), b.end(), rec.bytes.begin() + 12);
    }
    rec[25] = uint8_t(9 + u);
    rec[26] = r.hexByte("station_status");
    const QJsonArray wd = r.array("watchdog_factors");
    if (wd.size() != 2)
        r.refuse("watchdog_factors", T(lang, "two factors, each 0..255", "zwei Faktoren, je 0..255"));
    rec[27] = uint8_t(r.numberOf(wd[0], "watchdog_factors", 0, 255));
    rec[28] = uint8_t(r.numberOf(wd[1], "watchdog_factors", 0, 255));
    rec[29] = uint8_t(r.number("min_tsdr", 0, 255));
    const QString ident = r.text("ident");
    bool ok = false;
    const uint identValue = ident.toUInt(&ok, 16);
    if (!ok || ident.size() != 4)
        r.refuse("ident", T(lang, "\"%1\" is not four hexadecimal digits", "\"%1\" sind nicht vier Hexadezimalziffern").arg(ident));
    putBe16(rec.span(), 30, uint16_t(identValue));
    rec[32] = uint8_t(r.number("group", 0, 255));
    std::copy(prm.begin(), prm.end(), rec.bytes.begin() + 33);
    rec[34 + u] = uint8_t(2 + c);
    std::copy(cfg.begin(), cfg.end(), rec.bytes.begin() + 35 + u);
    rec[36 + u + c] = 6;
    putBe16(rec.span(), std::size_t(37 + u + c), uint16_t(r.number("input_offset", 0, 32767)));
    putBe16(rec.span(), std::size_t(39 + u + c), uint16_t(r.number("output_offset", 0, 32767)));
    rec[42 + u + c] = uint8_t(2 + kUserData);
    const int ud = 43 + u + c;
    const QByteArray code = r.latin1("gsd_code", 4).leftJustified(4, ' ');
    std::copy(code.begin(), code.end(), rec.bytes.begin() + ud);
    rec[ud + 4] = ' ';
    const QByteArray name = r.latin1("name", 20).leftJustified(20, ' ');
    std::copy(name.begin(), name.end(), rec.bytes.begin() + ud + 5);
    std::copy(list.begin(), list.end(), rec.bytes.begin() + ud + kModuleListAt);

    const QByteArray out(reinterpret_cast<const char *>(rec.bytes.data()), RecordExtent(l));
    const QJsonObject real = DecodeSlave(out, station);
    // The input and output lengths are shown for reading the I/O map; they
    // follow from the modules whatever the text says.
    r.agrees("watchdog_ms", real, "watchdog_factors and station_status");
    return out;
}

QJsonObject SlaveObject(const QByteArray &r, int station, const NameLookup &names)
{
    QJsonObject o = DecodeSlave(r, station);
    const DeviceNames *dev = nullptr;
    if (names && o.contains(QLatin1String("ident")))
        dev = names(o.value(QLatin1String("gsd_code")).toString(), o.value(QLatin1String("ident")).toString().toInt(nullptr, 16));
    if (dev)
        NameSlave(o, *dev);
    // The named fields give the bytes back, or the bytes are kept whole.
    try {
        if (EncodeSlave(o, station, kEnglish, nullptr) == r)
            return o;
    } catch (const Refusal &) {
    } catch (const std::exception &) {
    }
    o.remove(QStringLiteral("parameters"));
    o[QStringLiteral("record_bytes")] = HexLines(r);
    return o;
}

QJsonObject MasterObject(const QByteArray &m)
{
    QJsonObject o = DecodeMaster(m);
    try {
        if (EncodeMaster(o, kEnglish) == m)
            return o;
    } catch (const Refusal &) {
    } catch (const std::exception &) {
    }
    o[QStringLiteral("record_bytes")] = HexLines(m);
    return o;
}

QByteArray StandardHeader()
{
    QByteArray h(kDp1HeaderSize, '\0');
    h[0] = char(kHeaderFirst);
    return h;
}

// ---- writing the document --------------------------------------------------------

// Keys in the order a person reads a record; others follow alphabetically.
const char *const kKeyOrder[] = {
    "format", "header", "master", "slaves", "module", "number", "station", "name", "gsd_code", "ident", "device", "gsd_file",
    "address", "baud_code", "baud_rate", "sl_flag", "slave_type", "station_status", "watchdog_factors", "watchdog_ms", "tsl",
    "min_tsdr", "max_tsdr", "tqui", "tset", "ttr", "gap", "hsa", "retry_limit", "auto_clear", "flags", "min_slave_interval_ms",
    "poll_timeout", "data_control_time_ms", "class2_name", "group", "reserved", "user_parameters", "parameters", "modules",
    "module_numbers", "input_offset", "output_offset", "input_length", "output_length", "unused", "byte", "type", "value",
    "text", "min", "max", "values", "identifiers", "record_bytes", "unknown_bytes",
};

int KeyRank(const QString &key)
{
    for (std::size_t i = 0; i < std::size(kKeyOrder); ++i)
        if (key == QLatin1String(kKeyOrder[i]))
            return int(i);
    return int(std::size(kKeyOrder));
}

void WriteString(QByteArray &out, const QString &s)
{
    out += '"';
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20 || u == 0x7F) {
            out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0')).toLatin1();
        } else {
            out += QString(c).toUtf8();
        }
    }
    out += '"';
}

bool Scalar(const QJsonValue &v) { return !v.isArray() && !v.isObject(); }

constexpr int kLineWidth = 100; // a list of values longer than this takes a line each

bool Flat(const QJsonValue &v)
{
    if (Scalar(v))
        return true;
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        return std::all_of(a.begin(), a.end(), [](const QJsonValue &e) { return Scalar(e); });
    }
    const QJsonObject o = v.toObject();
    return std::all_of(o.begin(), o.end(), [](const QJsonValue &e) { return Flat(e) && !e.isObject(); });
}

QStringList OrderedKeys(const QJsonObject &o)
{
    QStringList keys = o.keys();
    std::stable_sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) {
        const int ra = KeyRank(a), rb = KeyRank(b);
        return ra != rb ? ra < rb : a < b;
    });
    return keys;
}

// A station is a block of lines; a module, a parameter field or a run of
// unknown bytes is one line, so that a change shows as the lines it touches.
bool OnOneLine(const QString &arrayKey, const QJsonValue &element)
{
    if (!Flat(element))
        return false;
    return arrayKey != QLatin1String("slaves") || element.toObject().contains(QLatin1String("unknown_bytes"));
}

void WriteValue(QByteArray &out, const QJsonValue &v, int indent, bool oneLine, const QString &key = {})
{
    const QByteArray pad(indent, ' ');
    const QByteArray inner(indent + 2, ' ');
    if (v.isString()) {
        WriteString(out, v.toString());
    } else if (v.isBool()) {
        out += v.toBool() ? "true" : "false";
    } else if (v.isDouble()) {
        const double d = v.toDouble();
        out += (d == std::floor(d) && std::fabs(d) < 9e15) ? QByteArray::number(qint64(d)) : QByteArray::number(d, 'g', 15);
    } else if (v.isNull() || v.isUndefined()) {
        out += "null";
    } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        const bool scalars = std::all_of(a.begin(), a.end(), [](const QJsonValue &e) { return Scalar(e); });
        QByteArray line = "[";
        for (int i = 0; i < a.size(); ++i) {
            if (i > 0)
                line += ", ";
            WriteValue(line, a[i], indent, true);
        }
        line += ']';
        if (oneLine || (scalars && line.size() <= kLineWidth)) {
            out += line;
            return;
        }
        out += "[\n";
        for (int i = 0; i < a.size(); ++i) {
            out += inner;
            WriteValue(out, a[i], indent + 2, OnOneLine(key, a[i]));
            out += i + 1 < a.size() ? ",\n" : "\n";
        }
        out += pad + ']';
    } else {
        const QJsonObject o = v.toObject();
        const QStringList keys = OrderedKeys(o);
        if (oneLine) {
            out += '{';
            for (int i = 0; i < keys.size(); ++i) {
                if (i > 0)
                    out += ", ";
                WriteString(out, keys[i]);
                out += ": ";
                WriteValue(out, o.value(keys[i]), indent, true);
            }
            out += '}';
            return;
        }
        out += "{\n";
        for (int i = 0; i < keys.size(); ++i) {
            out += inner;
            WriteString(out, keys[i]);
            out += ": ";
            WriteValue(out, o.value(keys[i]), indent + 2, false, keys[i]);
            out += i + 1 < keys.size() ? ",\n" : "\n";
        }
        out += pad + '}';
    }
}

} // namespace

// ---- the file ------------------------------------------------------------------------

QByteArray HexValueBytes(const QJsonValue &v)
{
    QString all = v.toString();
    for (const QJsonValue &line : v.toArray())
        all += QLatin1Char(' ') + line.toString();
    all.remove(QLatin1Char(' '));
    return QByteArray::fromHex(all.toLatin1());
}

std::optional<Dp1File> ParseDp1(const QByteArray &bytes, QString *why)
{
    const auto fail = [why](const QString &what) {
        if (why)
            *why = what;
        return std::nullopt;
    };
    if (bytes.size() < kDp1HeaderSize + 1 || uint8_t(bytes[kDp1HeaderSize]) != kMasterMarker)
        return fail(QStringLiteral("no master record"));
    if (bytes.size() < kDp1HeaderSize + kDp1MasterSize)
        return fail(QStringLiteral("the master record is cut short (%1 of 256 bytes)").arg(bytes.size() - kDp1HeaderSize));
    Dp1File f;
    f.header = bytes.left(kDp1HeaderSize);
    f.master = bytes.mid(kDp1HeaderSize, kDp1MasterSize);
    std::set<int> seen;
    int pos = kDp1HeaderSize + kDp1MasterSize;
    while (pos < bytes.size()) {
        if (uint8_t(bytes[pos]) != kSlaveMarker) {
            // Skipped by the loader in steps of 8 bytes.
            const QByteArray group = bytes.mid(pos, 8);
            if (f.items.empty() || f.items.back().station != 0)
                f.items.push_back({});
            f.items.back().bytes += group;
            pos += int(group.size());
            continue;
        }
        const int s = pos + 3 < bytes.size() ? uint8_t(bytes[pos + 3]) : 0;
        if (s < 1 || s >= kSlots)
            return fail(QStringLiteral("the record at byte %1 names station %2, not 1..125").arg(pos).arg(s));
        if (pos + 10 > bytes.size())
            return fail(QStringLiteral("the record of station %1 at byte %2 is cut short (%3 bytes)").arg(s).arg(pos).arg(bytes.size() - pos));
        const int l = (uint8_t(bytes[pos + 8]) << 8) | uint8_t(bytes[pos + 9]);
        if (l > 511)
            return fail(QStringLiteral("the record of station %1 at byte %2 has length %3, above 511").arg(s).arg(pos).arg(l));
        const int extent = RecordExtent(l);
        if (pos + extent > bytes.size())
            return fail(QStringLiteral("the record of station %1 at byte %2 is cut short (%3 bytes)").arg(s).arg(pos).arg(bytes.size() - pos));
        if (!seen.insert(s).second)
            return fail(QStringLiteral("station %1 is in the file twice (at byte %2 again)").arg(s).arg(pos));
        f.items.push_back({s, bytes.mid(pos, extent)});
        pos += extent;
    }
    return f;
}

QByteArray Dp1Bytes(const Dp1File &file)
{
    QByteArray out = file.header + file.master;
    for (const Dp1Item &item : file.items)
        out += item.bytes;
    return out;
}

Dp1File Dp1FromImage(const ConfigImage &image, int first, int last)
{
    Dp1File f;
    f.header = StandardHeader();
    const Record &m = image.slot(0);
    f.master = QByteArray(reinterpret_cast<const char *>(m.bytes.data()), kDp1MasterSize);
    for (int s = std::max(first, 1); s <= last && s < kSlots; ++s) {
        if (!image.hasSlave(s))
            continue;
        Record r = image.slot(s);
        r[6] = 0;
        const int l = be16(r.span(), 8);
        if (l > kShortLengthCap)
            r[7] = kShortLengthCap;
        if (l >= kSlotSize)
            continue; // a damaged record no file can keep
        f.items.push_back({s, QByteArray(reinterpret_cast<const char *>(r.bytes.data()), RecordExtent(l))});
    }
    return f;
}

void Dp1IntoImage(const Dp1File &file, ConfigImage &image)
{
    ClearImage(image);
    std::copy(file.master.begin(), file.master.end(), image.slot(0).bytes.begin());
    for (const Dp1Item &item : file.items)
        if (item.station > 0)
            std::copy(item.bytes.begin(), item.bytes.end(), image.slot(item.station).bytes.begin());
}

// ---- the text ----------------------------------------------------------------

QJsonObject ConfigTextObject(const Dp1File &file, const NameLookup &names)
{
    QJsonObject o;
    o[QStringLiteral("format")] = QString::fromLatin1(kConfigTextFormat);
    if (file.header != StandardHeader())
        o[QStringLiteral("header")] = Hex(file.header);
    o[QStringLiteral("master")] = MasterObject(file.master);
    QJsonArray slaves;
    for (const Dp1Item &item : file.items) {
        if (item.station == 0)
            slaves.append(QJsonObject{{QStringLiteral("unknown_bytes"), HexLines(item.bytes)}});
        else
            slaves.append(SlaveObject(item.bytes, item.station, names));
    }
    o[QStringLiteral("slaves")] = slaves;
    return o;
}

QByteArray WriteConfigText(const QJsonObject &text)
{
    QByteArray out;
    WriteValue(out, text, 0, false);
    out += '\n';
    return out;
}

bool LooksLikeConfigText(const QByteArray &bytes)
{
    for (char c : bytes) {
        if (c == '{')
            return true;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return false;
}

std::optional<Dp1File> ReadConfigText(const QByteArray &text, int16_t lang, QString *error, QStringList *notes)
{
    const auto fail = [error](const QString &what) {
        if (error)
            *error = what;
        return std::nullopt;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        const int line = int(text.left(parse.offset).count('\n')) + 1;
        return fail(T(lang, "line %1: %2", "Zeile %1: %2").arg(line).arg(parse.errorString()));
    }
    if (!doc.isObject())
        return fail(T(lang, "not a configuration text: no JSON object", "kein Konfigurationstext: kein JSON-Objekt"));
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(kConfigTextFormat))
        return fail(T(lang, "not a configuration text: \"format\" is not \"%1\"", "kein Konfigurationstext: \"format\" ist nicht \"%1\"")
                        .arg(QLatin1String(kConfigTextFormat)));
    QStringList written;
    try {
        const Reader r(root, T(lang, "the text", "der Text"), lang);
        r.onlyKnown({"format", "header", "master", "slaves"});
        Dp1File f;
        f.header = r.has("header") ? r.hex("header") : StandardHeader();
        if (f.header.size() != kDp1HeaderSize)
            r.refuse("header", T(lang, "%1 bytes, not 8", "%1 Bytes, nicht 8").arg(f.header.size()));
        if (!r.need("master").isObject())
            r.refuse("master", T(lang, "not an object", "kein Objekt"));
        f.master = EncodeMaster(root.value(QLatin1String("master")).toObject(), lang);
        std::set<int> seen;
        const QJsonArray slaves = r.array("slaves");
        for (int i = 0; i < slaves.size(); ++i) {
            if (!slaves[i].isObject())
                r.refuse("slaves", T(lang, "entry %1 is not an object", "Eintrag %1 ist kein Objekt").arg(i + 1));
            const QJsonObject s = slaves[i].toObject();
            const Reader sr(s, T(lang, "slaves, entry %1", "slaves, Eintrag %1").arg(i + 1), lang);
            if (sr.has("unknown_bytes")) {
                sr.onlyKnown({"unknown_bytes"});
                const QByteArray b = sr.hex("unknown_bytes");
                // The loader steps over such bytes 8 at a time; one that starts
                // a step with "%" would be read as a record, and a short run
                // would shift every record after it.
                for (int g = 0; g < b.size(); g += 8)
                    if (uint8_t(b[g]) == kSlaveMarker)
                        sr.refuse("unknown_bytes", T(lang, "byte %1 is 25, which the loader reads as a record", "Byte %1 ist 25, was der Lader als Parametersatz liest").arg(g));
                if (b.isEmpty() || (b.size() % 8 != 0 && i + 1 < slaves.size()))
                    sr.refuse("unknown_bytes", T(lang, "%1 bytes: only the file's last bytes may be fewer than a multiple of 8",
                                                 "%1 Bytes: nur die letzten Bytes der Datei dürfen kein Vielfaches von 8 sein")
                                                   .arg(b.size()));
                if (!f.items.empty() && f.items.back().station == 0)
                    sr.refuse("unknown_bytes", T(lang, "follows other unknown bytes: write them as one", "folgt anderen unbekannten Bytes: als eines schreiben"));
                f.items.push_back({0, b});
                continue;
            }
            const int station = int(sr.number("station", 1, kSlots - 1));
            if (!seen.insert(station).second)
                Refuse(T(lang, "station %1", "Station %1").arg(station), T(lang, "the station is in the text twice", "die Station steht zweimal im Text"));
            f.items.push_back({station, EncodeSlave(s, station, lang, &written)});
        }
        // The loader must read the file as it is written.
        QString why;
        const std::optional<Dp1File> back = ParseDp1(Dp1Bytes(f), &why);
        if (!back)
            return fail(T(lang, "the file would not read back: %1", "die Datei ließe sich nicht zurücklesen: %1").arg(why));
        if (notes)
            *notes << written;
        return f;
    } catch (const Refusal &refusal) {
        return fail(refusal.where + QStringLiteral(": ") + refusal.why);
    } catch (const std::exception &e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
}

QByteArray ExportConfigText(const QByteArray &dp1, const NameLookup &names, int16_t lang, QString *error)
{
    QString why;
    const std::optional<Dp1File> file = ParseDp1(dp1, &why);
    if (!file) {
        if (error)
            *error = T(lang, "not a whole configuration file: %1", "keine vollständige Konfigurationsdatei: %1").arg(why);
        return {};
    }
    const QByteArray text = WriteConfigText(ConfigTextObject(*file, names));
    const std::optional<Dp1File> back = ReadConfigText(text, lang, &why);
    if (!back || Dp1Bytes(*back) != dp1) {
        if (error)
            *error = T(lang, "the text would not give the same bytes back%1", "der Text gäbe nicht dieselben Bytes zurück%1")
                         .arg(back ? QString() : QStringLiteral(": ") + why);
        return {};
    }
    return text;
}

} // namespace meridan
