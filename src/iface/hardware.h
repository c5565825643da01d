// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Hardware items: one catalogue that the main window's Hardware menu and
// the command line's --hw names are both made from, and the link factory that
// opens the connection an item stands for. This is the one place that looks
// at which kind of connection an item is.
#include "iface/dpmap.h"
#include "iface/link.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace meridan::iface {

// How long a serial monitor may take to answer "V" with its version.
constexpr int kVersionReplyMs = 2000;

struct HwChoice {
    enum class Kind { None, Tessel, Vme, CorvetDpram, Serial, Network };
    Kind kind = Kind::None;
    int vmeSlot = 0;        // Vme: 1..15
    int port = 0;           // Serial: 1 or 2
    BoardModel model = BoardModel::Ravelin;
    int variant = 0;        // Network: map variant 0 or 1
    QString target;         // Network: target name, empty for "OS9Target"
    bool operator==(const HwChoice &) const = default;
};

// What a link to the board of `c` is like, and where that board keeps things.
LinkTraits TraitsFor(const HwChoice &c);
DpramMap MapOf(const HwChoice &c);

// The item asks for a network target first (the "Select Target" dialog).
bool AsksForTarget(const HwChoice &c);
// The item locks the commands while it connects (all but Tessel and VME).
bool LocksCommands(const HwChoice &c);
// Whether two choices reach the same board (the menu's check mark); the
// target name does not count.
bool SameBoard(const HwChoice &a, const HwChoice &b);

// A submenu of the Hardware menu.
struct HwMenu {
    const char *objectName;
    const char *caption;
    const char *parent; // objectName of the submenu it sits in; nullptr: the Hardware menu
};

// One item: where it sits, its captions, its command-line name and what it connects.
struct HwItem {
    QString objectName; // "RavelinCom1", "VMESLOT3"
    const char *menu;   // objectName of its submenu; nullptr: the Hardware menu
    QString english;
    QString german;     // empty: the same in both languages
    QString cliName;    // "ravelin:com1", "vme:3", "ketch-tcp"
    HwChoice choice;
};

const std::vector<HwMenu> &HardwareMenus();
const std::vector<HwItem> &HardwareItems();

// The command line's hardware names. nullopt with a reason in `error` for a
// name that is not one of HwNameHelp().
std::optional<HwChoice> ParseHwName(const QString &name, QString *error = nullptr);

// What a connection attempt left behind.
struct OpenResult {
    std::unique_ptr<Link> link;     // the board that answered; null when none did
    QString status;                 // the message line afterwards
    bool eepromMenu = false;        // the EEPROM menu's state after the attempt
    std::optional<bool> eraseItem;  // "Erase": set by the serial items that decide it
    std::optional<BusMode> mode;    // the bus mode read while connecting
};

// Opens the connection of `choice` (not None): checks that a master answers,
// reads its firmware version and bus state. `progress` receives the message
// line's intermediate texts. Texts in the language `language`.
OpenResult OpenLink(const HwChoice &choice, LinkEnv &env, int16_t language,
                    const std::function<void(const QString &)> &progress);

// Closing the link of the previous item before `next` connects: every item
// but the serial ones first says goodbye to a serial monitor.
bool GoodbyeBefore(const HwChoice &next);

} // namespace meridan::iface
