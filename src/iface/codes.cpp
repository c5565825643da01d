// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/codes.h"

namespace meridan::iface {

std::optional<BusMode> BusModeOf(uint8_t code)
{
    switch (code) {
    case Code(BusMode::Offline): return BusMode::Offline;
    case Code(BusMode::Stop): return BusMode::Stop;
    case Code(BusMode::Clear): return BusMode::Clear;
    case Code(BusMode::Operate): return BusMode::Operate;
    default: return std::nullopt;
    }
}

std::optional<BusMode> BusModeOfState(uint8_t state)
{
    return state <= 3 ? BusModeOf(uint8_t(state << 6)) : std::nullopt;
}

QString BusModeText(BusMode mode)
{
    switch (mode) {
    case BusMode::Offline: return QStringLiteral("Offline");
    case BusMode::Stop: return QStringLiteral("Stop");
    case BusMode::Clear: return QStringLiteral("Clear");
    case BusMode::Operate: return QStringLiteral("Operate");
    }
    return {};
}

void SetJob(Record &rec, JobCode code, uint8_t parameter)
{
    rec[0] = Code(code);
    rec[3] = parameter;
    rec[7] = 0;
}

QString VersionText(uint8_t v)
{
    return QStringLiteral("%1.%2").arg(v / 16).arg(v % 16);
}

} // namespace meridan::iface
