// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/run_budget.h"

#include "iface/link.h"

#include <algorithm>

namespace meridan {

namespace {
constexpr int kFloorSeconds = 30;
// Stopping the master, a Tessel card's firmware and the ready wait (500 x 10 ms).
constexpr qint64 kStartUpMs = 10000;
constexpr int kMasterDataBytes = 66;
constexpr int kMaxJobData = 244;
} // namespace

int DownloadSlaves(const ConfigImage &image)
{
    int n = 0;
    for (int s = 1; s <= 100 && s < kSlots; ++s)
        n += image.hasSlave(s) ? 1 : 0;
    return n;
}

int RunTimeoutSeconds(const ConfigImage &image, const iface::Link &link)
{
    const int poll = link.traits().pollMs;
    const auto job = [&](int dataBytes) { return qint64(poll) + link.transferMs(dataBytes); };
    // Offline, the master record, each slave record, Stop, Clear, Operate.
    qint64 ms = job(0) + job(kMasterDataBytes) + 3 * job(0);
    for (int s = 1; s <= 100 && s < kSlots; ++s)
        if (image.hasSlave(s))
            ms += job(std::min<int>(image.slot(s).bytes[7], kMaxJobData));
    const qint64 seconds = (kStartUpMs + 2 * ms + 999) / 1000;
    return int(std::max<qint64>(kFloorSeconds, seconds));
}

} // namespace meridan
