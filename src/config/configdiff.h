// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What differs between two configurations, by station and field, in words:
// "station 12: watchdog 100 ms → 200 ms; module 2 removed". Two files, a file
// and its text, or the configuration in memory and the one a board holds.
#include "config/configtext.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace meridan {

class ConfigImage;

struct ConfigChange {
    enum class Part { File, Master, Station };
    Part part = Part::Station;
    int station = 0;   // Part::Station
    QString field;     // the text's key: "watchdog_ms", "modules", "parameters", ...; "station" when added or removed
    QString text;      // in words, without the station: "watchdog 100 ms → 200 ms"
};

// The differences from `a` to `b`. Two configurations are equal when their
// bytes are; the words name what the differing bytes mean, the device files
// (`names`) give modules and parameters their names.
std::vector<ConfigChange> CompareConfigs(const Dp1File &a, const Dp1File &b, const NameLookup &names, int16_t language);

// The configuration in memory (`mine`) against the one a board gave back, as
// far as a board keeps one: the master's bus parameter set (bytes 0..73) and
// the slave records of stations 1..125.
std::vector<ConfigChange> CompareWithBoard(const ConfigImage &mine, const ConfigImage &board, const NameLookup &names,
                                           int16_t language);

// One line per part: "master: TSL 7000 → 3500 tbit", "station 12: name
// "A" → "B"; module 2 removed", "station 40 removed".
QStringList ChangeLines(const std::vector<ConfigChange> &changes, int16_t language);
// Each change as {"part", "station", "field", "text"}.
QJsonArray ChangesJson(const std::vector<ConfigChange> &changes);

} // namespace meridan
