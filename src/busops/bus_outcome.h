// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The outcome of a bus operation, with what it found out about the board.
#include "core/outcome.h"
#include "iface/codes.h"

#include <optional>

namespace meridan {

struct BusOutcome : Outcome {
    BusOutcome() = default;
    BusOutcome(Outcome o) : Outcome(std::move(o)) {}

    // The mode the board reported last, when the operation read it.
    std::optional<iface::BusMode> mode;
    // Records: how many the board took or gave back (-1: not counted), and
    // how many there are to take or give.
    int loaded = -1;
    int total = -1;
};

} // namespace meridan
