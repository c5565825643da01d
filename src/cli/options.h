// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command-line options shared by the commands: "--name VALUE" or
// "--name=VALUE" taken out of the arguments, and the board named by --hw.
#include "iface/hardware.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace meridan::cli {

// Takes "--NAME VALUE" or "--NAME=VALUE" out of `args` (the first one);
// nullopt when neither is there. `name` is given without the dashes.
std::optional<QString> TakeOption(QStringList &args, const QString &name);

// Takes "--hw NAME" out of `args`. nullopt with a reason in `error` when it is
// missing or not a hardware name.
std::optional<iface::HwChoice> TakeHwOption(QStringList &args, QString *error = nullptr);

// The hardware names for --help, one per line, indented by two blanks.
QString HwNameHelp();

} // namespace meridan::cli
