// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a device file says that gives the bytes of a stored station names:
// the device, its modules with their identifier bytes, and the named fields
// of the user parameters. Read without touching the record buffer or the GSD
// tables of the program; the configuration text and its comparison use it.
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace meridan {

struct Context;
class GsdTables;

struct PrmFieldName {
    QString name;          // the ExtUserPrmData name, blanks trimmed
    QString type;          // its data-type word: "Bit(3)", "Unsigned8", ...
    int offset = 0;        // byte within the block of the device or module
    int64_t min = 0;       // the range the device file allows
    int64_t max = 0;
    std::vector<int64_t> values;                    // a list's values; empty for a range
    std::vector<std::pair<int64_t, QString>> texts; // its text list; empty when none
};

struct ModuleNames {
    QString name;
    std::vector<uint8_t> cfg;          // its identifier bytes
    int prmLen = 0;                    // parameter bytes it adds to the record
    std::vector<PrmFieldName> fields;
};

struct DeviceNames {
    QString file;                      // the device file, without folder
    QString vendor, model;
    int prmLen = 0;                    // the device's own parameter bytes, before the modules'
    std::vector<PrmFieldName> fields;  // the device's own fields
    std::map<int, ModuleNames> modules; // by module number, 1..510
};

// The names the tables of a device file read hold.
DeviceNames NamesFromTables(const GsdTables &tables, const QString &file);

// The device files of stored stations, each found (FindDeviceFile) and read
// once; nullptr for a station whose file is not found or is no device file.
class DeviceNameLookup {
public:
    explicit DeviceNameLookup(const Context &ctx);
    ~DeviceNameLookup();
    const DeviceNames *operator()(const QString &gsdCode, int ident);

private:
    const Context &ctx_;
    std::map<std::pair<QString, int>, std::unique_ptr<DeviceNames>> found_;
};

} // namespace meridan
