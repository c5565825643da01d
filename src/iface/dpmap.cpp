// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/dpmap.h"

namespace meridan::iface {

DpramMap MapFor(MapVariant variant, BoardModel model)
{
    DpramMap m;
    m.variant = variant;
    switch (variant) {
    case MapVariant::Tessel:
        break;
    case MapVariant::Corvet:
        m = {variant, 0x0000, 0x1FFF, 0x1000, 0x1FF0, 0x1FF8, 0x1025, 0x1125, 0x1FF6, 0x1953, -1, -1, 0x2000};
        break;
    case MapVariant::Serial:
        m = {variant, 0x1000, 0x0400, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, 0x3006, -1, -1, -1};
        if (model == BoardModel::Dromon)
            m.busState = 0x2FF6;
        if (model == BoardModel::Corvet) {
            m.busState = 0x1FF6;
            m.startByte = 0x1FFF;
        }
        break;
    case MapVariant::Network0:
        m = {variant, 0x1000, 0x0400, 0x2000, 0x3000, 0x3008, 0x2025, 0x2125, 0x3006, 0x0717, -1, -1};
        if (model == BoardModel::Dromon)
            m.busState = 0x2FF6;
        break;
    case MapVariant::Network1:
        m = {variant, 0x2000, 0x0400, 0x3000, 0x3FF0, 0x3FF8, 0x3025, 0x3125, 0x3FF6, 0x1953, -1, -1};
        break;
    }
    return m;
}

} // namespace meridan::iface
