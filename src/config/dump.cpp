// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dump.h"

#include "core/bytes.h"
#include "config/image.h"
#include "core/texts.h"
#include "slave/record.h"

#include <QJsonArray>

namespace meridan {

namespace {

QJsonArray Bytes(const Record &rec, int from, int count)
{
    QJsonArray a;
    for (int i = 0; i < count && from + i < kSlotSize; ++i)
        a.append(int(rec.bytes[std::size_t(from + i)]));
    return a;
}

QString Latin1Text(const Record &rec, int from, int count)
{
    QString s;
    for (int i = 0; i < count && from + i < kSlotSize; ++i) {
        const uint8_t b = rec.bytes[std::size_t(from + i)];
        if (b == 0)
            break;
        s += QChar(b);
    }
    return s;
}

} // namespace

QJsonObject DumpMaster(const Record &m)
{
    const auto b = m.span();
    QJsonObject o;
    o[QStringLiteral("address")] = b[10];
    o[QStringLiteral("baud_code")] = b[11];
    const BaudInfo *baud = BaudFor(b[11]);
    o[QStringLiteral("baud_text")] = baud ? QString::fromLatin1(baud->shown).trimmed() : QString::number(b[11]);
    o[QStringLiteral("tsl")] = be16(b, 12);
    o[QStringLiteral("min_tsdr")] = be16(b, 14);
    o[QStringLiteral("max_tsdr")] = be16(b, 16);
    o[QStringLiteral("tqui")] = int(b[18]) - 1; // stored as the entered value + 1
    o[QStringLiteral("tset")] = b[19];
    o[QStringLiteral("ttr")] = qint64(be32(b, 20));
    o[QStringLiteral("gap")] = b[24];
    o[QStringLiteral("hsa")] = b[25];
    o[QStringLiteral("retry_limit")] = b[26];
    o[QStringLiteral("auto_clear")] = bool(b[27] & 0x80);
    o[QStringLiteral("min_slave_interval")] = be16(b, 28);
    o[QStringLiteral("poll_timeout")] = be16(b, 30);
    o[QStringLiteral("data_control_time")] = be16(b, 32);
    o[QStringLiteral("class2_name")] = Latin1Text(m, 42, 32).trimmed();
    return o;
}

QJsonObject DumpSlave(const Record &r)
{
    const auto b = r.span();
    const SlaveLayout l = SlaveLayout::of(r);
    const IoLengths io = DecodeIoLengths(r);
    QJsonObject o;
    o[QStringLiteral("station")] = b[3];
    o[QStringLiteral("ident")] = HexUpper(be16(b, 30), 4);
    o[QStringLiteral("slave_para_len")] = be16(b, 8);
    o[QStringLiteral("user_parameter_bytes")] = Bytes(r, 33, qMax(0, l.u));
    o[QStringLiteral("identifier_bytes")] = Bytes(r, l.cfgStart(), qMax(0, l.c));
    o[QStringLiteral("input_offset")] = io.inputOffset;
    o[QStringLiteral("input_length")] = io.inputLength;
    o[QStringLiteral("output_offset")] = io.outputOffset;
    o[QStringLiteral("output_length")] = io.outputLength;
    o[QStringLiteral("watchdog_factors")] = QJsonArray{int(b[27]), int(b[28])};
    o[QStringLiteral("min_tsdr")] = b[29];
    o[QStringLiteral("group")] = b[32];
    const int ud = l.userData();
    o[QStringLiteral("gsd_code")] = Latin1Text(r, ud, 4);
    o[QStringLiteral("name")] = Latin1Text(r, ud + 5, 20).trimmed();
    QJsonArray modules;
    for (int m : ModuleList(r))
        modules.append(m);
    o[QStringLiteral("module_list")] = modules;
    return o;
}

QJsonObject DumpConfig(const ConfigImage &image)
{
    QJsonObject o;
    o[QStringLiteral("master")] = image.hasMaster() ? QJsonValue(DumpMaster(image.slot(0))) : QJsonValue(QJsonValue::Null);
    QJsonArray slaves;
    for (int s = 1; s < kSlots; ++s)
        if (image.hasSlave(s))
            slaves.append(DumpSlave(image.slot(s)));
    o[QStringLiteral("slaves")] = slaves;
    return o;
}

} // namespace meridan
