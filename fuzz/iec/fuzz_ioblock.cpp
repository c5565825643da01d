// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the Ioconfig.cnf block parser and plans a rewrite
// for a small configuration; the rewrite of its own result must change
// nothing, as a second export of the same configuration does. (Not when a
// block has no end: taking our blocks out lets it run on into the lines
// that followed them, which is what ending it at the next PROGRAM line means.)
#include "iec/ioconfig.h"

#include <cstdlib>

using namespace meridan;
using namespace meridan::iec;

namespace {

IoMap SmallMap()
{
    IoMap map;
    SlaveIo a;
    a.station = 12;
    a.hasInputs = a.hasOutputs = true;
    a.inputLast = 7;
    a.outputLast = 3;
    a.inputParam = 256;
    SlaveIo b;
    b.station = 99;
    b.hasOutputs = true;
    b.outputFirst = 4;
    b.outputLast = 5;
    map.slaves = {a, b};
    return map;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const IoMap map = SmallMap();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const IoText t = ParseIoBlock(bytes);
    qsizetype total = 0;
    for (const IoLine &l : t.lines)
        total += l.size;
    if (total != bytes.size())
        std::abort();
    bool damaged = false;
    for (const IoBlock &b : t.blocks) {
        if (b.firstLine > b.lastLine || b.lastLine >= int(t.lines.size()))
            std::abort();
        damaged = damaged || !b.terminated;
    }
    const IoPlan first = PlanIoConfig(bytes, map);
    const IoPlan second = PlanIoConfig(first.text, map);
    if (!damaged && second.text != first.text)
        std::abort();
    return 0;
}
