// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/stationlist.h"

#include "core/context.h"
#include "config/listline.h"
#include "core/texts.h"

namespace meridan {

int List1_Click(Context &ctx, int listIndex, const DiagnosisRequest &request)
{
    State &st = ctx.st;
    const int station = listIndex + kListFirst;
    st.currentStation = station;
    st.listPosition = listIndex;
    ctx.status(QStringLiteral("Slave ") + NumText(station)
               + ctx.tr(QStringLiteral(" selected"), QStringLiteral(" ausgewählt")));
    if (station < 0 || station >= kSlots || !st.image.hasSlave(station))
        return station;
    if (request)
        request(station);
    return station;
}

int SelectSlaveStation(Context &ctx, int listIndex)
{
    ctx.st.currentStation = listIndex + kListFirst;
    ctx.st.listPosition = listIndex;
    return ctx.st.currentStation;
}

bool ClearSlave(Context &ctx, int listIndex)
{
    State &st = ctx.st;
    const int station = listIndex + kListFirst;
    st.currentStation = station;
    if (station <= 1 || station >= 100)
        return false;
    Record &slot = st.image.slot(station);
    for (int i = 0; i < 256; ++i) {
        slot[i] = 0;
        st.record[i] = 0;
    }
    st.record[3] = uint8_t(station);
    BuildListLine(st);
    ctx.ui.listChanged();
    return true;
}

} // namespace meridan
