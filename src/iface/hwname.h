#pragma once
// The hardware names of the command-line tool: one word per connection the
// Hardware menu offers ("tessel", "vme:3", "dromon:com2", "ketch-tcp:Ketch").
#include "iface/dpmap.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace meridan {
struct Context;
}

namespace meridan::iface {

struct HwChoice {
    enum class Kind { None, Tessel, Vme, CorvetDpram, Serial, Network };
    Kind kind = Kind::None;
    int vmeSlot = 0;        // Vme: 1..15
    int port = 0;           // Serial: 1 or 2
    BoardModel model = BoardModel::Ravelin;
    int variant = 0;        // Network: map variant 0 or 1
    QString target;         // Network: target name, empty for "OS9Target"
};

// nullopt with a reason in `error` for a name that is not one of HwNameHelp().
std::optional<HwChoice> ParseHwName(const QString &name, QString *error = nullptr);

// The list of names for --help, one per line, indented by two blanks.
QString HwNameHelp();

// Takes "--hw NAME" or "--hw=NAME" out of `args`. nullopt with a reason in
// `error` when it is missing or not a hardware name.
std::optional<HwChoice> TakeHwOption(QStringList &args, QString *error = nullptr);

// A number argument: "0x1F" (hexadecimal) or "31" (decimal), at most `max`.
std::optional<uint32_t> ParseNumberArg(const QString &text, uint32_t max);

// Connects as the menu item of `choice` does; true when a master answered
// (always true for None, which disconnects).
bool ConnectHw(Context &ctx, const HwChoice &choice);

} // namespace meridan::iface
