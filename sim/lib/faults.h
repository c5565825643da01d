// SPDX-License-Identifier: GPL-3.0-or-later
// Intermittent faults on the simulated bus, the kind that are hard to catch on site: a
// slave that drops out of the data exchange for a while, again and again (a loose
// connector), and a slave whose diagnosis comes and goes (a channel that trips).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace meridan::sim {

struct Flap {
    enum class Kind { DropOut, Diagnosis };
    Kind kind = Kind::DropOut;
    int station = 0;
    std::int64_t activeMs = 0; // how long the fault lasts (down, or diagnosis shown)
    std::int64_t everyMs = 0;  // one fault in each period this long
};

// "STATION:ACTIVE_MS:EVERY_MS": station 1..125, 0 < ACTIVE_MS < EVERY_MS <= one day.
std::optional<Flap> parseFlap(const std::string &text, Flap::Kind kind, std::string *error);

// Whether the fault is on `sinceMs` after the bus started exchanging data: each period
// begins with the slave well and ends with the fault.
bool flapActive(const Flap &f, std::int64_t sinceMs);

// The extended diagnosis a slave shows while its diagnosis fault is on, when the bus file
// gives it none of its own: a channel block, the first module, input channel 0, a bit, line
// break.
std::vector<std::uint8_t> flapDiagnosis();

} // namespace meridan::sim
