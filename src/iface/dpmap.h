// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the master keeps each item in its DP-RAM, per board and connection.
// The connection picks one column; every mailbox, station list and start-up
// access reads its address from here.
#include <cstdint>

namespace meridan::iface {

enum class MapVariant { Tessel, Corvet, Serial, Network0, Network1 };

// A serial or TCP board: which bus-state address and line speed it needs.
enum class BoardModel { Ravelin, Dromon, Corvet };

struct DpramMap {
    MapVariant variant = MapVariant::Tessel;
    uint16_t boardType = 0x2000;     // board type word, also the process-data base
    uint16_t startByte = 0x0400;     // 0x52 "R" when the firmware runs
    uint16_t stationLists = 0x3000;  // 16 running bytes, then 16 diagnosis bytes
    uint16_t jobToggle = 0x3FF0;     // written by the host
    uint16_t masterToggle = 0x3FF8;  // written by the master
    uint16_t messageArea = 0x3025;
    uint16_t jobArea = 0x3125;
    uint16_t busState = 0x3FF6;      // 0 Offline, 1 Stop, 2 Clear, 3 Operate
    int32_t versionByte = 0x1953;    // -1: none (serial lines ask with "V")
    int32_t signature = 0x000C;      // "ZEL" at 3 bytes; -1: none
    int32_t loadRequest = 0x0D3B;    // -1: none
    uint32_t size = 0x4000;          // bytes of DP-RAM: addresses 0 .. size - 1
};

// The column of `variant`; `model` picks the serial and network bus-state
// address and the Corvet's serial start byte.
DpramMap MapFor(MapVariant variant, BoardModel model = BoardModel::Ravelin);

constexpr uint8_t kReady = 0x52; // "R": firmware running and ready

} // namespace meridan::iface
