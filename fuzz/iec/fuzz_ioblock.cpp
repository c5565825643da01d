// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the Ioconfig.cnf block parser: its lines must
// cover the input exactly, and every block must lie inside them.
#include "iec/ioconfig.h"

#include <cstdlib>

using namespace meridan;
using namespace meridan::iec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const IoText t = ParseIoBlock(bytes);
    qsizetype at = 0;
    for (const IoLine &l : t.lines) {
        if (l.start != at || l.content > l.size || l.size <= 0)
            std::abort();
        at += l.size;
    }
    if (at != bytes.size())
        std::abort();
    int after = -1;
    for (const IoBlock &b : t.blocks) {
        if (b.firstLine <= after || b.firstLine > b.lastLine || b.lastLine >= int(t.lines.size()))
            std::abort();
        after = b.lastLine;
    }
    return 0;
}
