// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a device file says about the device on the bus, read without touching
// the record buffer or the GSD tables: the baud rates it supports and its
// response times, its modules and limits, and the texts of its diagnosis
// bits. The diagnosis explainer and the bus parameter check read it.
#include "slave/gsd_file.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace meridan {

struct Context;

struct GsdDeviceModule {
    QString name;
    std::vector<uint8_t> cfg; // its identifier bytes
};

struct GsdDevice {
    QString path;
    QString file; // name without folder
    QString vendor, model;
    int ident = -1;
    std::map<QString, bool> supported; // "1.5M" -> 1.5M_supp = 1
    std::map<QString, int> maxTsdr;    // "1.5M" -> MaxTsdr_1.5M
    int minSlaveInterval = 0;          // Min_Slave_Intervall, 100 us units; 0 = not stated
    std::vector<GsdDeviceModule> modules;
    // Unit_Diag_Bit(n): bit n of the device-related diagnosis, bit 0 being
    // bit 0 of the first byte after the block header.
    std::map<int, QString> unitDiagBits;
    std::vector<GsdDiagArea> unitDiagAreas;
    std::map<int, QString> channelDiag; // Channel_Diag(n): error types 16..31
    qint64 maxModule = -1;         // Max_Module; -1 when not given
    qint64 maxUserPrmDataLen = -1; // Max_User_Prm_Data_Len; -1 when not given
    // Where and why the file could not be read to its end; what came before
    // that line is here.
    std::optional<GsdParseError> stop;

    // The rate of a baud-rate code (master byte 11) is supported.
    bool supports(int baudCode) const;
    // MaxTsdr at the rate of a baud-rate code, when the file gives it.
    std::optional<int> maxTsdrAt(int baudCode) const;
    // The rates the file supports, slowest first ("9.6", "93.75", "1.5M", ...).
    std::vector<QString> supportedRates() const;
};

// The GSD key suffix of a baud-rate code ("1.5M" for code 6); empty outside 0..9.
QString GsdBaudKey(int code);
// A baud-rate code's rate for people: "1.5 Mbit/s", "93.75 kbit/s", with the
// decimal point of the locale as every number shown. `key` may also be a GSD
// suffix of a rate the master does not offer ("45.45").
QString RateText(int code);
QString RateKeyText(const QString &key);

// The device view of a parsed file.
GsdDevice DeviceOf(const GsdParse &parse);
GsdDevice ParseGsdDevice(const QByteArray &bytes);
// nullopt when the file cannot be read or is no device description.
std::optional<GsdDevice> ReadGsdDevice(const QString &path);
// The device file of a configured station (by its GSD code and ident
// number, see FindDeviceFile); nullopt when none is found or readable.
std::optional<GsdDevice> StationDevice(const Context &ctx, int station);

} // namespace meridan
