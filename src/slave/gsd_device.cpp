// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_device.h"

#include "core/bytes.h"
#include "core/context.h"
#include "slave/gsd_file.h"
#include "slave/gsd_catalogue.h"
#include "slave/record.h"

#include <QFileInfo>
#include <QLocale>

namespace meridan {

namespace {

// GSD key suffixes of the master's baud-rate codes 0..9 (code 5 is 38.4 kbit/s,
// which device files hardly ever name: a station then does not support it).
const char *const kBaudKeys[10] = {"9.6", "19.2", "93.75", "187.5", "500", "38.4", "1.5M", "3M", "6M", "12M"};

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
    for (const std::string_view k : kGsdRates) {
        const auto it = supported.find(QString::fromLatin1(k.data(), qsizetype(k.size())));
        if (it != supported.end() && it->second)
            out.push_back(it->first);
    }
    return out;
}

GsdDevice DeviceOf(const GsdParse &parse)
{
    const GsdFile &f = parse.file;
    GsdDevice d;
    d.vendor = f.text(f.vendor);
    d.model = f.text(f.model);
    d.ident = f.ident;
    for (std::size_t i = 0; i < kGsdRates.size(); ++i) {
        const QString rate = QString::fromLatin1(kGsdRates[i].data(), qsizetype(kGsdRates[i].size()));
        if (f.supported[i] >= 0)
            d.supported[rate] = f.supported[i] == 1;
        if (f.maxTsdr[i] >= 0)
            d.maxTsdr[rate] = f.maxTsdr[i];
    }
    d.minSlaveInterval = f.minSlaveInterval;
    for (const GsdFileModule &m : f.modules) // a module without usable bytes matches nothing
        d.modules.push_back({f.moduleName(m), std::vector<uint8_t>(m.cfg.begin(), m.cfg.end())});
    // A later text for the same number replaces an earlier one.
    for (const GsdDiagText &t : f.unitDiagBits)
        d.unitDiagBits[int(t.number)] = f.text(t.text);
    for (const GsdFileDiagArea &a : f.unitDiagAreas)
        d.unitDiagAreas.push_back(f.diagArea(a));
    for (const GsdDiagText &t : f.channelDiag)
        d.channelDiag[int(t.number)] = f.text(t.text);
    d.maxModule = f.maxModule;
    d.maxUserPrmDataLen = f.maxUserPrmDataLen;
    d.stop = parse.error;
    return d;
}

GsdDevice ParseGsdDevice(const QByteArray &bytes)
{
    return DeviceOf(ParseGsd(bytes));
}

std::optional<GsdDevice> ReadGsdDevice(const QString &path)
{
    const std::optional<QByteArray> bytes = ReadGsdBytes(path);
    if (!bytes)
        return std::nullopt;
    const GsdParse parse = ParseGsd(*bytes);
    if (parse.error && parse.error->kind == GsdParseError::Kind::NotGsd)
        return std::nullopt;
    GsdDevice d = DeviceOf(parse);
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
