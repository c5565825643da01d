// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A readable account of a configuration: the master record field by field and
// each slave's decoded record, as JSON.
#include <QJsonObject>

namespace meridan {

class ConfigImage;
class Record;

QJsonObject DumpMaster(const Record &master);
QJsonObject DumpSlave(const Record &slave);
// {"master": {...} or null, "slaves": [...]} for slaves 1..125 in station order.
QJsonObject DumpConfig(const ConfigImage &image);

} // namespace meridan
