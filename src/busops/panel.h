// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's live status, as plain data the core writes and the window
// shows: the connection text, the bus mode, the firmware check boxes, the
// station marks and what is enabled. Keeping it in the core lets the CLI and
// the tests run the status poll and the bus commands without a window.
#include "iface/codes.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace meridan {

// Mark colours as 0xBBGGRR.
constexpr uint32_t kMarkRed = 0xFF;       // the station has diagnosis
constexpr uint32_t kMarkBlue = 0xFF0000;  // the station runs without diagnosis
constexpr uint32_t kMarkIdle = 0x808080;  // configured, takes no part in the data exchange

struct StationMark {
    bool visible = false;
    uint32_t colour = kMarkBlue;
};

struct Panel {
    QString hwText;        // HWtxt
    std::optional<iface::BusMode> mode; // the bus mode shown in Betriebsart; none: empty
    bool load = false;     // "Firmware Load"
    bool run = false;      // "Firmware RUN"
    bool communication = false; // Check1, ticked while a tick runs

    // Status timer.
    bool timerEnabled = true;
    int timerInterval = 100; // ms
    bool timerBusy = false;

    // Command state (LockCommands / UnlockCommands).
    bool runEnabled = true;      // F1_Run
    bool haltEnabled = false;    // F1_Halt
    bool hardwareMenuEnabled = true;
    bool debugEnabled = false;   // Command2 and VScroll1
    bool eepromMenuEnabled = false;
    bool eraseEnabled = false;   // EE_Erase
    int16_t eepromMenuState = 0; // -1 enabled, 0 disabled: what UnlockCommands gives back
    bool busy = false;           // the hourglass is showing

    int listTopRow = 0;          // top row of the station list (station - 10)
    int listRows = 8;            // rows the station list shows, as many as its height allows
    // One per station list row, counted from the top row; the rows shown are marked.
    std::array<StationMark, 90> marks{};

    // Global Control bytes (Text4, Text5).
    uint8_t gcControl = 0;
    uint8_t gcGroup = 0;

    // The text of Betriebsart.
    QString betriebsart() const { return mode ? iface::BusModeText(*mode) : QString(); }
    bool operating() const { return run && mode == iface::BusMode::Operate; }

    // Called whenever something shown changed; the window repaints from here.
    std::function<void()> changed;
    void notify() const
    {
        if (changed)
            changed();
    }
};

} // namespace meridan
