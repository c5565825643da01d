// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/iomap.h"

#include <exception>

namespace meridan::iec {

QString Channel::name() const
{
    return QString(QLatin1Char(dir == Dir::In ? 'I' : 'Q')) + QLatin1Char(word ? 'W' : 'X') + QString::number(k);
}

QString Channel::location(int base) const
{
    QString text = QStringLiteral(" AT %") + QLatin1Char(dir == Dir::In ? 'I' : 'Q') + QLatin1Char(word ? 'W' : 'X')
        + QString::number(base + address);
    if (!word)
        text += QLatin1Char('.') + QString::number(bit);
    return text;
}

const SlaveIo *IoMap::slave(int station) const
{
    for (const SlaveIo &s : slaves)
        if (s.station == station)
            return &s;
    return nullptr;
}

int IoMap::inputBytes() const
{
    int n = 0;
    for (const SlaveIo &s : slaves)
        if (s.hasInputs)
            n = s.inputLast + 1;
    return n;
}

int IoMap::outputBytes() const
{
    int n = 0;
    for (const SlaveIo &s : slaves)
        if (s.hasOutputs)
            n = s.outputLast + 1;
    return n;
}

IoMap BuildIoMap(const ConfigImage &image, const Record *current)
{
    IoMap map;
    int inCount = 0;
    int outCount = 0;
    const int currentStation = current && (*current)[0] == kSlaveMarker ? (*current)[3] : -1;
    for (int station = 1; station < kSlots; ++station) {
        const Record &rec = station == currentStation ? *current : image.slot(station);
        if (rec[0] != kSlaveMarker)
            continue;
        if (station < kFirstDownloadStation || station > kLastDownloadStation) {
            // The PLC would wait for data of a station the master never polls.
            map.notes << QStringLiteral("station %1 is left out: the download sends stations %2..%3 only")
                             .arg(station)
                             .arg(kFirstDownloadStation)
                             .arg(kLastDownloadStation);
            continue;
        }
        SlaveIo s;
        s.station = station;
        try {
            const SlaveLayout l = SlaveLayout::of(rec);
            const int count = l.c;
            if (count < 0 || l.cfgStart() + count > kSlotSize)
                throw RangeError("identifier bytes outside the record");
            const IoLengths io = DecodeIoLengths(rec);
            s.inputParam = io.inputOffset;
            s.outputParam = io.outputOffset;
            int number = 0;
            for (const CfgIdentifier &id : SplitIdentifiers(rec.bytes.data() + l.cfgStart(), count)) {
                IoModule m;
                m.number = ++number;
                m.id = id;
                m.inputAt = inCount;
                m.outputAt = outCount;
                inCount += id.inputBytes;
                outCount += id.outputBytes;
                s.modules.push_back(m);
            }
        } catch (const std::exception &e) {
            // Thrown before any module was counted: the slave has no I/O.
            map.notes << QStringLiteral("station %1: the record is damaged (%2), its I/O is left out")
                             .arg(station)
                             .arg(QString::fromLocal8Bit(e.what()));
        }
        s.inputFirst = s.modules.empty() ? inCount : s.modules.front().inputAt;
        s.outputFirst = s.modules.empty() ? outCount : s.modules.front().outputAt;
        s.hasInputs = inCount > s.inputFirst;
        s.hasOutputs = outCount > s.outputFirst;
        s.inputLast = inCount - 1;
        s.outputLast = outCount - 1;
        map.slaves.push_back(s);
    }
    return map;
}

std::vector<Channel> Channels(const IoModule &m)
{
    std::vector<Channel> out;
    const auto add = [&out](Dir dir, int bytes, bool words, int at) {
        if (words) {
            for (int w = 0; w < bytes / 2; ++w)
                out.push_back({dir, true, w, at + 2 * w, 0});
        } else {
            for (int k = 0; k < bytes * 8; ++k)
                out.push_back({dir, false, k, at + k / 8, k % 8});
        }
    };
    add(Dir::In, m.id.inputBytes, m.id.inputWords, m.inputAt);
    add(Dir::Out, m.id.outputBytes, m.id.outputWords, m.outputAt);
    return out;
}

std::optional<Channel> FindChannel(const SlaveIo &s, int module, Dir dir, int k)
{
    if (module < 1 || module > int(s.modules.size()) || k < 0)
        return std::nullopt;
    for (const Channel &c : Channels(s.modules[std::size_t(module - 1)]))
        if (c.dir == dir && c.k == k)
            return c;
    return std::nullopt;
}

} // namespace meridan::iec
