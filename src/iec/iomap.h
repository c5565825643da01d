// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each slave's process data lies in the soft PLC's I/O areas: the
// model both the I/O configuration blocks and the variables' AT addresses
// are made from, so the two files always agree.
//
// Inputs and outputs are counted separately, each from 0, over all slaves in
// ascending station order and within a slave in identifier order. A module
// that declares inputs and outputs counts in both. Addresses are byte
// addresses: a word module advances the count by 2, exactly as the record
// model counts the slave's input and output lengths, and a word channel's
// address is the address of its first byte. A special-format identifier
// covers its length and manufacturer-specific bytes; only its length bytes
// declare data.
//
// The module number M of a channel ("#S12M3K5") is the number of the
// configuration identifier within the slave, from 1 in identifier order: it
// depends on the record's identifier bytes alone, so it survives a missing
// GSD file. A GSD module with several identifiers gives several modules.
#include "config/image.h"
#include "slave/record.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace meridan::iec {

enum class Dir { In, Out };

// The stations the download sends to the master: it walks the image with
// NextSlave from station 1, so the first it can send is 2, and it never
// looks past 100. Only these get I/O areas; a record elsewhere is noted.
constexpr int kFirstDownloadStation = 2;
constexpr int kLastDownloadStation = 100;

// One module of a slave: a configuration identifier and where its data lies.
struct IoModule {
    int number = 0;      // M, from 1
    CfgIdentifier id;    // the identifier, its data lengths and organisation
    int inputAt = 0;     // first input byte in the running input count
    int outputAt = 0;    // first output byte in the running output count
};

// One slave's share of the I/O areas, before the base offsets are added.
struct SlaveIo {
    int station = 0;
    bool hasInputs = false;
    bool hasOutputs = false;
    int inputFirst = 0, inputLast = 0;   // byte range in the input count
    int outputFirst = 0, outputLast = 0;
    int inputParam = 0;   // the record's input offset in the master's I/O data
    int outputParam = 0;  // the record's output offset
    std::vector<IoModule> modules;
};

// A channel of a module: a bit of byte-organised data or a word of
// word-organised data.
struct Channel {
    Dir dir = Dir::In;
    bool word = false;
    int k = 0;        // bit number (bit channels) or word number within the module
    int address = 0;  // byte address in the running count (base not added)
    int bit = 0;      // bit within the byte, bit channels only

    // "IX5", "QW0": the channel's name within its module.
    QString name() const;
    // " AT %IX3.5" with `base` added to the address.
    QString location(int base) const;
};

struct IoMap {
    std::vector<SlaveIo> slaves;  // ascending station order
    QStringList notes;            // records that could not be read

    const SlaveIo *slave(int station) const;
    int inputBytes() const;   // bytes of the whole input count
    int outputBytes() const;
};

// The map of every slave record in the image. `current`, when given, stands
// for the slot of its station (byte 3): the record being edited counts as it
// is now, stored or not.
IoMap BuildIoMap(const ConfigImage &image, const Record *current = nullptr);

// The channels of a module: inputs first, then outputs.
std::vector<Channel> Channels(const IoModule &m);
// The channel k of module m of a direction; nullopt when there is none.
std::optional<Channel> FindChannel(const SlaveIo &s, int module, Dir dir, int k);

} // namespace meridan::iec
