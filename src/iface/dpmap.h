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

// The process-data area begins at the board type word and holds two images:
// the inputs the master gathers from its slaves, and above them the outputs
// the host hands the master for its slaves. A slave record's input offset
// indexes the input image, its output offset the output image, each from 0,
// so a slave's outputs never land on another one's inputs. The area ends
// below the bytes a Corvet on a serial line keeps at 0x1FF6 and up.
constexpr uint16_t kInputImageSize = 0x0800;
constexpr uint16_t kOutputImageOffset = 0x0800; // from the process-data base
constexpr uint16_t kOutputImageSize = 0x0700;

// The first byte of each image in the board's DP-RAM.
constexpr uint32_t InputImage(const DpramMap &m) { return m.boardType; }
constexpr uint32_t OutputImage(const DpramMap &m) { return uint32_t(m.boardType) + kOutputImageOffset; }

} // namespace meridan::iface
