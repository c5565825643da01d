// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/prompts.h"

#include <QTextStream>
#include <cstdio>

namespace meridan {

namespace {
QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}
} // namespace

int CliPrompts::message(const QString &text, const QString &title, Icon, int buttons)
{
    if (!quiet) {
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        err() << (title.isEmpty() ? QString() : title + QStringLiteral(": ")) << flat << Qt::endl;
    }
    if (buttons & Ok)
        return Ok;
    if (buttons & Yes)
        return Yes;
    return buttons & No ? No : Cancel;
}

std::optional<QString> CliPrompts::input(const QString &prompt, const QString &title, const QString &preset)
{
    return std::nullopt;
}

std::optional<QString> CliPrompts::openFile(const FileDialogSpec &)
{
    auto p = nextPath;
    nextPath.reset();
    return p;
}

std::optional<QString> CliPrompts::saveFile(const FileDialogSpec &)
{
    auto p = nextPath;
    nextPath.reset();
    return p;
}

void CliPrompts::statusChanged(const QString &text)
{
    if (onStatus)
        onStatus(text);
}

} // namespace meridan
