// SPDX-License-Identifier: GPL-3.0-or-later
// Where each board variant keeps its bytes in the DP-RAM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace meridan::sim {

enum class BoardKind {
    Tessel,       // PCI card, DP-RAM file, boot loader
    Vme,          // board in a VME slot: the Tessel map
    CorvetDpram,  // Corvet reached through its DP-RAM
    Ravelin,      // serial, 9600 baud, firmware 5.2 by default (byte-wise mailbox)
    Dromon,       // serial, 19200 baud, frame mode
    CorvetSerial, // Corvet on a serial line, 19200 baud, frame mode
    Net0,         // network target, map variant 0 (Ravelin/Dromon over TCP)
    Ketch,        // network target, map variant 1
};

struct BoardMap {
    std::uint32_t size = 0x4000;
    std::uint32_t base = 0;          // process-data area
    std::uint32_t startByte = 0;
    std::uint32_t stationLists = 0;  // running bits, diagnosis bits at +0x10
    std::uint32_t jobToggle = 0;
    std::uint32_t masterToggle = 0;
    std::uint32_t messageArea = 0;
    std::uint32_t jobArea = 0;
    std::vector<std::uint32_t> busState;
    std::optional<std::uint32_t> versionByte;
    bool signature = false; // "ZEL" at 0x000C
    bool loader = false;    // boot loader registers and load request byte
};

// Loader registers of the Tessel card (see docs/boot-protocol.md).
namespace loader {
constexpr std::uint32_t Cmd = 0x0D30;
constexpr std::uint32_t Status = 0x0D31;
constexpr std::uint32_t Cpu = 0x0D32;
constexpr std::uint32_t Len = 0x0D34;
constexpr std::uint32_t Seq = 0x0D36;
constexpr std::uint32_t Request = 0x0D3B;
constexpr std::uint32_t Window = 0x0800;
constexpr std::uint32_t WindowSize = 0x0400;
} // namespace loader

constexpr std::uint8_t ReadyMark = 0x52; // "R"
// The process-data area at `base`: the input image the firmware writes for
// its slaves, then the output image the host writes for them (driver-protocol.md).
constexpr std::uint32_t ProcessAreaSize = 0x0F00;
constexpr std::uint32_t InputImageSize = 0x0800;
constexpr std::uint32_t OutputImageOffset = 0x0800;
constexpr std::uint32_t OutputImageSize = ProcessAreaSize - OutputImageOffset;
constexpr std::uint32_t MailboxAreaSize = 256;

BoardMap mapFor(BoardKind kind);
bool isSerial(BoardKind kind);
bool isNetwork(BoardKind kind);
bool isDpramFile(BoardKind kind);
int baudFor(BoardKind kind);
std::uint8_t defaultVersion(BoardKind kind);
std::string kindName(BoardKind kind);
std::optional<BoardKind> kindFromName(const std::string &name);

} // namespace meridan::sim
