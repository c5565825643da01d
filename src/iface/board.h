#pragma once
// The interface state: how the master board is reached and what the host
// knows about it. One object, created by main() (or a test) next to the
// State and reached by core operations through Context::board. The
// interface kind itself stays in State::interfaceKind.
#include "iface/dpmap.h"
#include "iface/driver.h"
#include "iface/serialio.h"
#include "monitor/panel.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

namespace meridan {
struct Context;
class Pump;
class Root;
} // namespace meridan

namespace meridan::iface {

// One remembered byte of a station list: most stations of a round share it.
struct StationCache {
    int index = 0;
    uint8_t value = 0;
};

class Board {
public:
    Board(const Root &root, Pump &pump, std::unique_ptr<SerialIo> serialIo = std::make_unique<QtSerialIo>());

    DriverLibrary driver;
    std::unique_ptr<SerialIo> serial;

    // --- connection ---
    DpramMap map = MapFor(MapVariant::Tessel);
    BoardModel model = BoardModel::Ravelin; // serial and TCP boards
    bool boardVariant = false;  // true for a Dromon or Corvet
    int16_t corvetFlag = 0;     // -1 for a Corvet
    int16_t vmeFlag = 0;        // -1 when a VME slot was chosen
    int32_t networkHandle = 0;  // what PCI_InitEx returned
    QString targetName;         // network target; "OS9Target" when empty
    double firmwareVersion = 0;
    QString versionText;
    bool frameMode = false;     // serial firmware above 5.2: jobs and messages as frames
    int serialPortNumber = 0;   // 1 or 2 while a serial line is chosen
    // The main window's live status a connection sets (the version text goes
    // to hwText until the status poll takes it over); the window shows it.
    Panel view;

    // --- serial link ---
    bool serialTimeout = false; // the last command's reply did not come in time
    int16_t msgPending = 0;     // a message was taken in while a command waited
    QByteArray reply;           // reply text of the current command
    std::array<uint8_t, 17> runList{}; // live list from the serial frames
    std::array<uint8_t, 17> diaList{};

    // --- mailbox ---
    int msgRequestCounter = 0;
    int liveRequestCounter = 0;
    int liveMissCounter = 0;
    StationCache runCache;
    StationCache diaCache;

    // --- DP-RAM access ---
    bool accessLock = false;
};

// The board of a context; nullptr when the program runs without one.
Board *BoardOf(Context &ctx);

} // namespace meridan::iface
