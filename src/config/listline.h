// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The station list lines: one text per station 1..125 (index station - 1);
// the main window shows stations 10..99.
#include <QString>
#include <QStringList>

namespace meridan {

struct State;
class Record;

// " 10. ": the station with its leading blank and ". ".
QString EmptyListLine(int station);
// Resets the lines of stations 10..99 to their empty form.
void ResetListLines(State &st);
// The line of the slave record in `rec`: station, GSD code, ident in hex,
// ": ", name. A zero byte ends the visible text.
QString ListLineFor(const Record &rec);
// Rebuilds the line of the station in record buffer byte 3 (1..125).
void BuildListLine(State &st);
// The 90 lines the station list shows, station 10 first.
QStringList ListeLines(const State &st);

} // namespace meridan
