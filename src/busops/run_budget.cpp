// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/run_budget.h"

#include "config/image.h"
#include "core/bytes.h"
#include "iface/link.h"
#include "slave/record.h"

#include <algorithm>

namespace meridan {

namespace {
constexpr int kFloorSeconds = 30;
// Stopping the master, a Tessel card's firmware and the ready wait (500 x 10 ms).
constexpr qint64 kStartUpMs = 10000;
constexpr int kMasterDataBytes = 66;
} // namespace

int DownloadSlaves(const ConfigImage &image)
{
    int n = 0;
    for (int s = kFirstDownloaded; s <= kLastDownloaded; ++s)
        n += image.hasSlave(s) ? 1 : 0;
    return n;
}

std::vector<LongRecord> LongRecords(const ConfigImage &image)
{
    std::vector<LongRecord> found;
    for (int s = kFirstDownloaded; s <= kLastDownloaded; ++s) {
        if (!image.hasSlave(s))
            continue;
        const Record &r = image.slot(s);
        const int length = be16(r.span(), 8);
        if (length <= kMaxJobData)
            continue;
        // The master reads everything up to the slave user data (the
        // address table included); what follows is the program's own.
        bool masterPartCut = true;
        try {
            masterPartCut = SlaveLayout::of(r).userData() > 8 + kMaxJobData;
        } catch (const std::exception &) {
        }
        found.push_back({s, length, masterPartCut});
    }
    return found;
}

int RunTimeoutSeconds(const ConfigImage &image, const iface::Link &link)
{
    const int poll = link.traits().pollMs;
    const auto job = [&](int dataBytes) { return qint64(poll) + link.transferMs(dataBytes); };
    // Offline, the master record, each slave record, Stop, Clear, Operate.
    qint64 ms = job(0) + job(kMasterDataBytes) + 3 * job(0);
    for (int s = kFirstDownloaded; s <= kLastDownloaded; ++s)
        if (image.hasSlave(s))
            ms += job(std::min<int>(image.slot(s).bytes[7], kMaxJobData));
    const qint64 seconds = (kStartUpMs + 2 * ms + 999) / 1000;
    return int(std::max<qint64>(kFloorSeconds, seconds));
}

} // namespace meridan
