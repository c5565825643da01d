// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the I/O test knows of one configured station: its modules, as the
// record's identifier bytes split them (a compact byte, or a special-format
// byte with its length and manufacturer bytes), each module's input and
// output channels, named as the variable editor names them, and where each
// channel lies in the master's DP-RAM.
//
// A channel's full name is its kind, the module number M and the channel
// number K within the module: "IX2.5" is input bit 5 of module 2, "QW3.0"
// the first output word of module 3 (the same M and K as the variable
// comment "#S12M3K5" and `vars --attach NAME=M.K`). Bits are numbered
// through the module's bytes, 8 a byte; words through its words.
//
// Addresses: the input image of the board plus the record's input offset
// plus the channel's byte within the station's inputs; outputs the same with
// the output image and the output offset. A word is two bytes, high byte
// first, at its address.
#include "config/image.h"
#include "iec/iomap.h"
#include "iface/dpmap.h"
#include "slave/record.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace meridan {
struct Context;
}

namespace meridan::io {

using iec::Dir;

struct IoChannel {
    int module = 0;       // M, from 1
    Dir dir = Dir::In;
    bool word = false;
    int k = 0;            // bit number within the module, or word number
    int byte = 0;         // its (first) byte within the station's inputs or outputs
    int bit = 0;          // bit within that byte; bit channels only
    uint32_t address = 0; // DP-RAM address of that byte
    QString variable;     // the variable attached to it, if any

    bool output() const { return dir == Dir::Out; }
    // "IX5", "QW0": the name within its module, as the variable editor lists it.
    QString shortName() const;
    // "IX2.5", "QW3.0".
    QString name() const;
    // The variable's name where one is attached, else name().
    QString label() const { return variable.isEmpty() ? name() : variable; }
};

struct IoModuleRow {
    int number = 0;        // M
    QString name;          // the GSD module name; empty when the device file does not tell
    CfgIdentifier id;
    std::vector<IoChannel> channels; // inputs first, then outputs
};

struct IoStation {
    int station = 0;
    int inputOffset = 0, outputOffset = 0;   // the record's address table
    int inputLength = 0, outputLength = 0;   // bytes
    uint32_t inputAddress = 0, outputAddress = 0; // DP-RAM address of each first byte
    std::vector<IoModuleRow> modules;
    // Why the station's data cannot be read or written as configured (a
    // damaged record, data beyond the end of an image); empty when it can.
    QString problem;

    bool usable() const { return problem.isEmpty(); }
    // The channel called `name`: a channel name ("QX2.5", "qx2.5"; a word's
    // ".0" may be left out: "QW3") or an attached variable (any case).
    const IoChannel *find(const QString &name) const;
    std::vector<const IoChannel *> channels() const;
};

// The variables attached to a station's channels: (M, direction, K) -> name.
using ChannelNames = std::map<std::tuple<int, Dir, int>, QString>;

// The names the project's variables file attaches to `station`'s channels;
// none when the project has no variables file.
ChannelNames AttachedVariables(Context &ctx, int station);

// The model of the slave record `rec` on a board with map `map`; module
// names from `moduleNames` (one per module, in identifier order; empty
// entries where unknown), variables from `names`.
IoStation BuildIoStation(const Record &rec, const iface::DpramMap &map, const QStringList &moduleNames = {},
                         const ChannelNames &names = {});

// The GSD module name of each identifier of `rec`, from the device file its
// GSD code and ident number lead to (a module list entry first, else the
// first module of the file whose identifier bytes are the next ones of the
// record); empty entries where the file does not tell.
QStringList ModuleNamesOf(const Context &ctx, const Record &rec);

// A value typed for channel `c`: a bit 0 or 1; a word 0..65535, -32768..-1
// (as the INT it holds) or hexadecimal 0x0..0xFFFF. nullopt when it is none.
std::optional<int> ParseChannelValue(const IoChannel &c, const QString &text);
// A value as shown: a bit "0" or "1", a word in hex and decimal "0x01F4 500".
QString ValueText(const IoChannel &c, int value);

// Moves a station's addresses onto the images of another board's map (the
// person chose another Hardware item while the test was open).
void PlaceOn(IoStation &s, const iface::DpramMap &map);

// The whole model as the window and the CLI build it.
IoStation StationModel(Context &ctx, const Record &rec, const iface::DpramMap &map);

} // namespace meridan::io
