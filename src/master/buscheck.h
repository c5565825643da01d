// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus parameter check: whether the master's bus parameters can work for
// the configured slaves and their device files at the chosen baud rate, and
// how long one bus cycle takes. Every finding names the rule it applies.
#include "config/image.h"
#include "slave/gsd_device.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace meridan {

struct Context;

struct BusFinding {
    enum class Level { Error, Warning, Note };
    Level level = Level::Note;
    QString rule; // "slot-time", "watchdog", ... (docs/bus-check.md)
    QString text;
};

// One slave as the estimate sees it: its data bytes and how late it may answer.
struct CycleSlave {
    int inputs = 0;
    int outputs = 0;
    int tsdr = 0; // tbit
};

// The bus cycle estimate; times in bit times (tbit) unless named ms.
struct BusCycle {
    int slaves = 0;
    int baudCode = 0;
    double bitMs = 0;        // one bit time in ms
    double cycle = 0;        // every slave polled once plus the master's token handling
    double cycleMs = 0;
    double minIntervalMs = 0; // the master's Min Slave Interval
    double pollMs = 0;        // how often a slave is polled: the larger of the two
    double suggestedTtr = 0;
};

// The estimate for `slaves` under the bus parameters of master record `master`
// (a known baud-rate code in byte 11).
BusCycle EstimateCycle(const Record &master, const std::vector<CycleSlave> &slaves);

struct BusCheck {
    std::vector<BusFinding> findings; // errors first, then warnings, then notes
    std::optional<BusCycle> cycle;    // none without a usable master record
    int count(BusFinding::Level level) const;
};

// The device files of the configured stations, each read once while the
// owner keeps it (the bus parameter editor checks after every field).
class DeviceFiles {
public:
    const GsdDevice *of(const Context &ctx, int station);
    void clear() { files_.clear(); }

private:
    std::map<int, std::optional<GsdDevice>> files_;
};

// Checks master record `master` against the slaves of the configuration image.
BusCheck CheckBus(const Context &ctx, const Record &master, DeviceFiles &files);

// The findings, one a line ("error [slot-time]: ..."), the estimate, and the
// counts, in the language in force.
QStringList BusCheckReport(const Context &ctx, const BusCheck &check);
// One line for the bus parameter editor: the counts and the first finding
// that is not a note, or the cycle estimate when all is well.
QString BusCheckLine(const Context &ctx, const BusCheck &check);

} // namespace meridan
