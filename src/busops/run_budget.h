// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long "run" may take before it gives up: long enough for the download of
// this configuration over this link, so a time-out means a board in trouble
// and not a large configuration on a slow line.
#include "core/image.h"

#include <vector>

namespace meridan {

namespace iface {
class Link;
}

// The slave records the download sends: those at stations 2..100.
int DownloadSlaves(const ConfigImage &image);

// A job carries a record's header and at most this many bytes after it.
constexpr int kMaxJobData = 244;

// A slave record the download would send that is longer than a job
// carries (Slave_Para_Len above 244): the master gets its first 244 bytes.
struct LongRecord {
    int station = 0;
    int length = 0;        // Slave_Para_Len
    // What is cut: only the part the master never reads (GSD code, name,
    // module list), or the parameters, identifier bytes and addresses too.
    bool masterPartCut = false;
};
std::vector<LongRecord> LongRecords(const ConfigImage &image);
// The time-out for downloading `image` over `link` and bringing the bus to
// Operate, in seconds: a job per status poll (the reply to each job is taken
// in by the next poll, which sends the next job) plus the time the link's
// wire needs for it, doubled, and the master's start-up; never below 30 s.
int RunTimeoutSeconds(const ConfigImage &image, const iface::Link &link);

} // namespace meridan
