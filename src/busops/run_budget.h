// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long "run" may take before it gives up: long enough for the download of
// this configuration over this link, so a time-out means a board in trouble
// and not a large configuration on a slow line.
#include "core/image.h"

namespace meridan {

namespace iface {
class Link;
}

// The slave records the download sends: those at stations 1..100.
int DownloadSlaves(const ConfigImage &image);
// The time-out for downloading `image` over `link` and bringing the bus to
// Operate, in seconds: a job per status poll (the reply to each job is taken
// in by the next poll, which sends the next job) plus the time the link's
// wire needs for it, doubled, and the master's start-up; never below 30 s.
int RunTimeoutSeconds(const ConfigImage &image, const iface::Link &link);

} // namespace meridan
