// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The station list commands: what selecting, double-clicking and clearing a
// line does to the configuration. The list shows stations 10..99; list index
// k stands for station k + 10, and no selection (-1) for station 9.
#include <functional>

namespace meridan {

struct Context;

// Asks the master for a station's diagnosis (when a board is connected).
using DiagnosisRequest = std::function<void(int station)>;

// A line was selected: remembers it, says so in the message line and, when
// the station holds a slave, asks for the station's diagnosis. Returns the
// station.
int List1_Click(Context &ctx, int listIndex, const DiagnosisRequest &request);

// Double-click or "Slave": makes the line's station the current one and
// remembers the line. Returns the station the slave editor opens.
int SelectSlaveStation(Context &ctx, int listIndex);

// "Clear Slave": empties the slave at the selected station (stations 2..99;
// the master slot is never touched) and returns its line to the empty form.
// Returns true when a slot was cleared.
bool ClearSlave(Context &ctx, int listIndex);

} // namespace meridan
