// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/io_station.h"

#include "core/bytes.h"
#include "core/context.h"
#include "core/texts.h"
#include "iec/vars.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_device.h"

#include <QRegularExpression>
#include <algorithm>
#include <exception>

namespace meridan::io {

QString IoChannel::shortName() const
{
    return QString(QLatin1Char(dir == Dir::In ? 'I' : 'Q')) + QLatin1Char(word ? 'W' : 'X') + QString::number(k);
}

QString IoChannel::name() const
{
    return QString(QLatin1Char(dir == Dir::In ? 'I' : 'Q')) + QLatin1Char(word ? 'W' : 'X') + QString::number(module)
        + QLatin1Char('.') + QString::number(k);
}

std::vector<const IoChannel *> IoStation::channels() const
{
    std::vector<const IoChannel *> all;
    for (const IoModuleRow &m : modules)
        for (const IoChannel &c : m.channels)
            all.push_back(&c);
    return all;
}

const IoChannel *IoStation::find(const QString &name) const
{
    static const QRegularExpression channel(QStringLiteral("^([IQ])([XW])(\\d+)(?:\\.(\\d+))?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString wanted = name.trimmed();
    if (const auto m = channel.match(wanted); m.hasMatch()) {
        const Dir dir = m.captured(1).toUpper() == QLatin1String("I") ? Dir::In : Dir::Out;
        const bool word = m.captured(2).toUpper() == QLatin1String("W");
        const int module = m.captured(3).toInt();
        // A bit needs its number; a word may leave out ".0".
        if (m.captured(4).isEmpty() && !word)
            return nullptr;
        const int k = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
        for (const IoChannel *c : channels())
            if (c->module == module && c->dir == dir && c->word == word && c->k == k)
                return c;
        return nullptr;
    }
    for (const IoChannel *c : channels())
        if (!c->variable.isEmpty() && c->variable.compare(wanted, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

ChannelNames AttachedVariables(Context &ctx, int station)
{
    ChannelNames names;
    iec::VarTable table;
    iec::ReadVars(ctx, table);
    for (const iec::VarEntry &e : table.entries)
        if (!e.deleted() && e.attached() && e.station == station && e.dir)
            names[{e.module, *e.dir, e.channel}] = e.name;
    return names;
}

IoStation BuildIoStation(const Record &rec, const iface::DpramMap &map, const QStringList &moduleNames,
                         const ChannelNames &names)
{
    IoStation s;
    s.station = rec[3];
    try {
        const SlaveLayout l = SlaveLayout::of(rec);
        if (l.c < 0 || l.cfgStart() + l.c > kSlotSize || l.addTab() + 4 > kSlotSize)
            throw RangeError("identifier bytes outside the record");
        const IoLengths io = DecodeIoLengths(rec);
        s.inputOffset = io.inputOffset;
        s.outputOffset = io.outputOffset;
        s.inputLength = io.inputLength;
        s.outputLength = io.outputLength;
        s.inputAddress = iface::InputImage(map) + uint32_t(io.inputOffset);
        s.outputAddress = iface::OutputImage(map) + uint32_t(io.outputOffset);
        int in = 0, out = 0;
        for (const CfgIdentifier &id : SplitIdentifiers(rec.bytes.data() + l.cfgStart(), l.c)) {
            IoModuleRow row;
            row.number = int(s.modules.size()) + 1;
            row.id = id;
            if (row.number <= moduleNames.size())
                row.name = moduleNames[row.number - 1];
            // The variable editor's channels, counted within this station.
            iec::IoModule m;
            m.number = row.number;
            m.id = id;
            m.inputAt = in;
            m.outputAt = out;
            for (const iec::Channel &c : iec::Channels(m)) {
                IoChannel ch;
                ch.module = row.number;
                ch.dir = c.dir;
                ch.word = c.word;
                ch.k = c.k;
                ch.byte = c.address;
                ch.bit = c.bit;
                ch.address = (c.dir == Dir::In ? s.inputAddress : s.outputAddress) + uint32_t(c.address);
                if (const auto n = names.find({ch.module, ch.dir, ch.k}); n != names.end())
                    ch.variable = n->second;
                row.channels.push_back(ch);
            }
            in += id.inputBytes;
            out += id.outputBytes;
            s.modules.push_back(row);
        }
        if (io.inputOffset + io.inputLength > iface::kInputImageSize)
            s.problem = QStringLiteral("the inputs (offset %1, %2 bytes) reach past the input image (%3 bytes)")
                            .arg(HexUpper(unsigned(io.inputOffset)))
                            .arg(io.inputLength)
                            .arg(iface::kInputImageSize);
        else if (io.outputOffset + io.outputLength > iface::kOutputImageSize)
            s.problem = QStringLiteral("the outputs (offset %1, %2 bytes) reach past the output image (%3 bytes)")
                            .arg(HexUpper(unsigned(io.outputOffset)))
                            .arg(io.outputLength)
                            .arg(iface::kOutputImageSize);
    } catch (const std::exception &e) {
        s.modules.clear();
        s.problem = QStringLiteral("the record is damaged (%1)").arg(QString::fromLocal8Bit(e.what()));
    }
    return s;
}

QStringList ModuleNamesOf(const Context &ctx, const Record &rec)
{
    QStringList names;
    try {
        const SlaveLayout l = SlaveLayout::of(rec);
        if (l.c < 0 || l.cfgStart() + l.c > kSlotSize)
            return names;
        const uint8_t *cfg = rec.bytes.data() + l.cfgStart();
        const std::vector<CfgIdentifier> ids = SplitIdentifiers(cfg, l.c);
        for (std::size_t i = 0; i < ids.size(); ++i)
            names << QString();
        QString code;
        for (int i = 0; i < 4; ++i)
            code += QChar(rec[l.userData() + i]);
        const std::optional<GsdDevice> device = ReadGsdDevice(FindDeviceFile(ctx, code, be16(rec.span(), 30)));
        if (!device)
            return names;
        // Does the device module `m` give the identifiers from `at` on?
        const auto covers = [&](const GsdDeviceModule &m, std::size_t at) -> std::size_t {
            const std::vector<CfgIdentifier> own = SplitIdentifiers(m.cfg.data(), int(m.cfg.size()));
            if (own.empty() || at + own.size() > ids.size())
                return 0;
            for (std::size_t k = 0; k < own.size(); ++k) {
                const CfgIdentifier &have = ids[at + k];
                if (have.size != own[k].size
                    || !std::equal(m.cfg.begin() + own[k].first, m.cfg.begin() + own[k].first + own[k].size, cfg + have.first))
                    return 0;
            }
            return own.size();
        };
        const std::vector<int> list = ModuleList(rec);
        std::size_t at = 0, entry = 0;
        while (at < ids.size()) {
            const GsdDeviceModule *found = nullptr;
            std::size_t n = 0;
            // The module list says which GSD module comes next; where it
            // runs out or disagrees, the first module that fits.
            if (entry < list.size() && list[entry] >= 1 && std::size_t(list[entry]) <= device->modules.size()
                && (n = covers(device->modules[std::size_t(list[entry] - 1)], at)) > 0)
                found = &device->modules[std::size_t(list[entry] - 1)];
            for (std::size_t m = 0; !found && m < device->modules.size(); ++m)
                if ((n = covers(device->modules[m], at)) > 0)
                    found = &device->modules[m];
            ++entry;
            if (!found) {
                ++at;
                continue;
            }
            for (std::size_t k = 0; k < n; ++k)
                names[qsizetype(at + k)] = found->name;
            at += n;
        }
    } catch (const std::exception &) {
        // A damaged record: the names found so far stay.
    }
    return names;
}

std::optional<int> ParseChannelValue(const IoChannel &c, const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    int v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        v = t.mid(2).toInt(&ok, 16);
        ok = ok && !t.mid(2).startsWith(QLatin1Char('-')) && !t.mid(2).startsWith(QLatin1Char('+'));
    } else {
        v = t.toInt(&ok, 10);
    }
    if (!ok)
        return std::nullopt;
    if (!c.word)
        return v == 0 || v == 1 ? std::optional<int>(v) : std::nullopt;
    if (v >= -32768 && v < 0)
        return v + 0x10000;
    return v >= 0 && v <= 0xFFFF ? std::optional<int>(v) : std::nullopt;
}

QString ValueText(const IoChannel &c, int value)
{
    if (!c.word)
        return QString::number(value);
    return QStringLiteral("0x") + HexUpper(unsigned(value), 4) + QLatin1Char(' ') + QString::number(value);
}

void PlaceOn(IoStation &s, const iface::DpramMap &map)
{
    s.inputAddress = iface::InputImage(map) + uint32_t(s.inputOffset);
    s.outputAddress = iface::OutputImage(map) + uint32_t(s.outputOffset);
    for (IoModuleRow &m : s.modules)
        for (IoChannel &c : m.channels)
            c.address = (c.dir == Dir::In ? s.inputAddress : s.outputAddress) + uint32_t(c.byte);
}

IoStation StationModel(Context &ctx, const Record &rec, const iface::DpramMap &map)
{
    return BuildIoStation(rec, map, ModuleNamesOf(ctx, rec), AttachedVariables(ctx, rec[3]));
}

} // namespace meridan::io
