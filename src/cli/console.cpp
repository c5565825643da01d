// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console.h"

#include <cstdio>
#include <unistd.h>

namespace meridan::cli {

Console::Console(QTextStream &err) : err_(err), terminal_(isatty(fileno(stderr)) != 0) {}

Console::~Console()
{
    clearProgress();
}

void Console::error(const QString &text)
{
    QString flat = text.trimmed();
    if (flat.isEmpty() || said_.contains(flat))
        return;
    said_.insert(flat);
    clearProgress();
    // A text of several lines gives several lines, each named after the command.
    for (const QString &line : flat.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        err_ << "meridan-cli " << command << ": " << line.trimmed() << '\n';
    err_.flush();
}

int Console::message(const QString &text, const QString &, Icon, int buttons)
{
    // What the window shows in a box is said on stderr, without the box's title.
    if (!quiet)
        error(text);
    if (buttons & Yes)
        return assumeYes ? Yes : No;
    return buttons & Ok ? Ok : Cancel;
}

std::optional<bool> Console::confirm(const QString &, const QString &)
{
    if (assumeYes)
        return true;
    return std::nullopt;
}

void Console::statusChanged(const QString &text)
{
    if (verbose) {
        if (!text.isEmpty()) {
            err_ << text << '\n';
            err_.flush();
        }
        return;
    }
    if (!progress_ || text.isEmpty())
        return;
    // One line, rewritten in place.
    err_ << '\r' << text.left(120) << "\x1b[K";
    err_.flush();
    lineShown_ = true;
}

void Console::progress(bool on)
{
    if (!on)
        clearProgress();
    progress_ = on && terminal_ && !quiet && !verbose;
}

void Console::clearProgress()
{
    if (!lineShown_)
        return;
    err_ << "\r\x1b[K";
    err_.flush();
    lineShown_ = false;
}

} // namespace meridan::cli
