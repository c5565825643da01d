// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Slave records for the I/O test's tests.
#include "core/bytes.h"
#include "core/context.h"
#include "config/image.h"
#include "slave/record.h"

#include <QString>
#include <vector>

namespace meridan::test {

// A slave record for `station` with identifier bytes `cfg` and the offsets
// given, stored in the image; the GSD code `code` (none: blanks) names its
// device file.
inline Record StoreSlave(Context &ctx, int station, const std::vector<uint8_t> &cfg, int inputOffset, int outputOffset,
                         uint16_t ident = 0x1234, const char *code = "TEST")
{
    State &st = ctx.st;
    st.currentStation = station;
    st.slave.inputOffset = inputOffset;
    st.slave.outputOffset = outputOffset;
    NewSlaveRecord(st);
    putBe16(st.record.span(), 30, ident);
    RemoveCfg(st);
    int i = 0;
    for (uint8_t b : cfg)
        st.slave.cfg[i++] = b;
    st.slave.c = i;
    InsertCfg(ctx);
    const int ud = SlaveLayout::of(st.record).userData();
    for (int k = 0; k < 4 && code; ++k)
        st.record[ud + k] = uint8_t(code[k]);
    StoreRecord(st, station);
    return st.record;
}

// The loop-back station of the demo: one output byte, one input byte, and a
// special-format identifier with a word each way.
inline const std::vector<uint8_t> kLoopCfg{0x20, 0x10, 0xC0, 0x40, 0x40};

} // namespace meridan::test
