// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small, plausible configurations for the window tests and the screenshots.
#include "core/state.h"
#include "core/bytes.h"
#include "config/image.h"

#include <QByteArray>

namespace meridan::test {

// A default master at the baud-rate `code`.
inline void PutDemoMaster(State &st, int code)
{
    Record m;
    m[11] = uint8_t(code);
    SetMasterDefaults(m);
    st.image.slot(0) = m;
}

// A slave record whose station list line shows `code`, the ident and `name`:
// three user parameter bytes, two identifier bytes, then the GSD code and
// the 20-character name in the slave user data.
inline Record DemoSlave(int station, uint16_t ident, const QByteArray &code, const QByteArray &name)
{
    Record r;
    constexpr int kLen = 100;
    r[0] = kSlaveMarker;
    r[3] = uint8_t(station);
    r[7] = kLen;
    putBe16(r.span(), 8, kLen);
    putBe16(r.span(), 30, ident);
    const int u = 3, c = 2;
    r[25] = uint8_t(9 + u);
    r[34 + u] = uint8_t(2 + c);
    r[35 + u] = 0x13; // 4 bytes in
    r[36 + u] = 0x23; // 4 bytes out
    const int data = 43 + u + c;
    for (int i = 0; i < 4; ++i)
        r[data + i] = uint8_t(i < code.size() ? code[i] : ' ');
    for (int i = 0; i < 20; ++i)
        r[data + 5 + i] = uint8_t(i < name.size() ? name[i] : ' ');
    return r;
}

inline void PutDemoSlave(State &st, int station, uint16_t ident, const QByteArray &code, const QByteArray &name)
{
    st.image.slot(station) = DemoSlave(station, ident, code, name);
}

} // namespace meridan::test
