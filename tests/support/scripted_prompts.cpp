// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_prompts.h"

namespace meridan::test {

int ScriptedPrompts::message(const QString &text, const QString &title, Icon icon, int buttons)
{
    shown.push_back({text, title, icon, buttons});
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    if (buttons & Ok)
        return Ok;
    return buttons & Yes ? Yes : Cancel;
}

std::optional<QString> ScriptedPrompts::input(const QString &, const QString &, const QString &)
{
    if (inputs.empty())
        return std::nullopt;
    auto a = inputs.front();
    inputs.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompts::openFile(const FileDialogSpec &spec)
{
    dialogs.push_back(spec);
    if (files.empty())
        return std::nullopt;
    auto a = files.front();
    files.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompts::saveFile(const FileDialogSpec &spec)
{
    return openFile(spec);
}

} // namespace meridan::test
