// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help pages: HTML in German and English, built into the program and
// copied into ROOT/help/de and ROOT/help/en, where a user may adapt them.
#include <QString>
#include <QStringList>

namespace meridan {

class Root;
struct Context;

// The pages built into the program, as paths relative to the help folder
// ("de/index.html", ...).
QStringList BuiltInHelpPages();
// Copies every built-in page that is missing below ROOT/help; pages already
// there are left alone. Returns the number of pages copied.
int InstallHelp(const Root &root);
// The contents page for the language in force.
QString HelpIndexPath(const Context &ctx);

} // namespace meridan
