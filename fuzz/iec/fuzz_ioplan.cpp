// SPDX-License-Identifier: GPL-3.0-or-later
// Plans the rewrite of arbitrary Ioconfig.cnf bytes for a small configuration:
// the rewrite of its own result must change nothing, as a second export of the
// same configuration does, and must be recognised as this program's own
// output. (Not when a block has no end: taking our blocks out lets it run on
// into the lines that followed them, which is what ending it at the next
// PROGRAM line means.)
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
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const IoPlan first = PlanIoConfig(bytes, map);
    for (const IoBlock &b : ParseIoBlock(bytes).blocks)
        if (!b.terminated)
            return 0;
    if (PlanIoConfig(first.text, map).text != first.text || !IsOwnOutput(first.text))
        std::abort();
    return 0;
}
