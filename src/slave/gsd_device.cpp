// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_device.h"

#include "core/bytes.h"
#include "core/context.h"
#include "core/readfile.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/record.h"

#include <QFileInfo>
#include <QLocale>

namespace meridan {

namespace {

// GSD key suffixes of the master's baud-rate codes 0..9 (code 5 is 38.4 kbit/s,
// which device files hardly ever name: a station then does not support it).
const char *const kBaudKeys[10] = {"9.6", "19.2", "93.75", "187.5", "500", "38.4", "1.5M", "3M", "6M", "12M"};
// Every rate a device file may name, slowest first.
const char *const kAllKeys[] = {"9.6", "19.2", "31.25", "38.4", "45.45", "93.75", "187.5", "500", "1.5M", "3M", "6M", "12M"};

bool KeyIs(QStringView key, const char *name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; }

// "1.5M_supp" -> "1.5M" when `suffix` is "_supp".
std::optional<QString> RateOfKey(QStringView key, QStringView prefix, QStringView suffix)
{
    if (key.size() <= prefix.size() + suffix.size() || !key.startsWith(prefix, Qt::CaseInsensitive)
        || !key.endsWith(suffix, Qt::CaseInsensitive))
        return std::nullopt;
    const QStringView rate = key.mid(prefix.size(), key.size() - prefix.size() - suffix.size());
    for (const char *k : kAllKeys)
        if (rate.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(k);
    return std::nullopt;
}

std::optional<qint64> Number(QStringView value)
{
    try {
        return GsdNumber(value, 0, 0xFFFFFFFFLL);
    } catch (const GsdError &) {
        return std::nullopt;
    }
}

std::optional<int> Index(const GsdKeyLine &k)
{
    qint64 v = 0;
    if (!k.hasIndex || !ParseGsdIndex(k.index, v) || v < 0 || v > 0xFFFF)
        return std::nullopt;
    return int(v);
}

} // namespace

QString GsdBaudKey(int code)
{
    return code >= 0 && code < 10 ? QString::fromLatin1(kBaudKeys[code]) : QString();
}

QString RateKeyText(const QString &key)
{
    QString t = key.endsWith(QLatin1Char('M')) ? key.chopped(1) + QStringLiteral(" Mbit/s") : key + QStringLiteral(" kbit/s");
    return t.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

QString RateText(int code)
{
    const QString key = GsdBaudKey(code);
    return key.isEmpty() ? QStringLiteral("code %1").arg(code) : RateKeyText(key);
}

bool GsdDevice::supports(int baudCode) const
{
    const auto it = supported.find(GsdBaudKey(baudCode));
    return it != supported.end() && it->second;
}

std::optional<int> GsdDevice::maxTsdrAt(int baudCode) const
{
    const auto it = maxTsdr.find(GsdBaudKey(baudCode));
    return it == maxTsdr.end() ? std::nullopt : std::optional<int>(it->second);
}

std::vector<QString> GsdDevice::supportedRates() const
{
    std::vector<QString> out;
    for (const char *k : kAllKeys) {
        const auto it = supported.find(QString::fromLatin1(k));
        if (it != supported.end() && it->second)
            out.push_back(it->first);
    }
    return out;
}

GsdDevice ParseGsdDevice(const QByteArray &bytes)
{
    GsdDevice d;
    GsdLineReader lines(bytes);
    QString line;
    GsdDiagArea *area = nullptr; // the open Unit_Diag_Area
    while (lines.GetLine(line)) {
        GsdKeyLine k;
        if (!SplitGsdLine(line, k)) {
            if (QStringView(line).trimmed().compare(QLatin1String("Unit_Diag_Area_End"), Qt::CaseInsensitive) == 0)
                area = nullptr;
            continue;
        }
        const QStringView key = k.key;
        if (KeyIs(key, "Vendor_Name")) {
            d.vendor = GsdQuotedText(k.value);
        } else if (KeyIs(key, "Model_Name")) {
            d.model = GsdQuotedText(k.value);
        } else if (KeyIs(key, "Ident_Number")) {
            if (const auto v = Number(k.value); v && *v <= 0xFFFF)
                d.ident = int(*v);
        } else if (KeyIs(key, "Min_Slave_Intervall")) {
            if (const auto v = Number(k.value); v && *v <= 0xFFFF)
                d.minSlaveInterval = int(*v);
        } else if (KeyIs(key, "Module")) {
            const QString value = k.value.startsWith(QLatin1Char('"')) ? k.value.mid(1).toString() : k.value.toString();
            GsdDeviceModule m;
            m.name = ModuleName(value);
            try {
                m.cfg = ModuleConfigBytes(value);
            } catch (const GsdError &) {
                m.cfg.clear(); // a module without usable bytes matches nothing
            }
            d.modules.push_back(std::move(m));
        } else if (KeyIs(key, "Unit_Diag_Bit")) {
            if (const auto n = Index(k))
                d.unitDiagBits[*n] = GsdQuotedText(k.value);
        } else if (KeyIs(key, "Channel_Diag")) {
            if (const auto n = Index(k))
                d.channelDiag[*n] = GsdQuotedText(k.value);
        } else if (KeyIs(key, "Unit_Diag_Area")) {
            const auto dash = k.value.indexOf(QLatin1Char('-'));
            const auto first = dash > 0 ? Number(k.value.left(dash)) : std::nullopt;
            const auto last = dash > 0 ? Number(k.value.mid(dash + 1)) : std::nullopt;
            area = nullptr;
            // At most 32 bits a value; anything else is no area this reader can use.
            if (first && last && *first <= *last && *last - *first < 32 && *last <= 0xFFFF) {
                d.unitDiagAreas.push_back({int(*first), int(*last), {}});
                area = &d.unitDiagAreas.back();
            }
        } else if (KeyIs(key, "Value")) {
            qint64 v = 0;
            if (area && k.hasIndex && ParseGsdIndex(k.index, v))
                area->values[v] = GsdQuotedText(k.value);
        } else if (const auto rate = RateOfKey(key, u"", u"_supp")) {
            d.supported[*rate] = Number(k.value).value_or(0) == 1;
        } else if (const auto rate = RateOfKey(key, u"MaxTsdr_", u"")) {
            if (const auto v = Number(k.value); v && *v <= 0xFFFF)
                d.maxTsdr[*rate] = int(*v);
        }
    }
    return d;
}

std::optional<GsdDevice> ReadGsdDevice(const QString &path)
{
    const auto bytes = path.isEmpty() ? std::nullopt : ReadRegularFile(path, kMaxGsdFileSize + 1);
    if (!bytes || bytes->size() > kMaxGsdFileSize || !LooksLikeGsd(*bytes))
        return std::nullopt;
    GsdDevice d = ParseGsdDevice(*bytes);
    d.path = path;
    d.file = QFileInfo(path).fileName();
    return d;
}

std::optional<GsdDevice> StationDevice(const Context &ctx, int station)
{
    try {
        const Record &rec = ctx.st.image.slot(station);
        if (rec[0] != kSlaveMarker)
            return std::nullopt;
        const int at = SlaveLayout::of(rec).userData();
        QString code;
        for (int i = 0; i < 4; ++i)
            code += QChar(rec[at + i]);
        return ReadGsdDevice(FindDeviceFile(ctx, code, be16(rec.span(), 30)));
    } catch (const RangeError &) {
        return std::nullopt; // a damaged record names no file
    }
}

} // namespace meridan
