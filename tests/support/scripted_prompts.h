// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Prompts for tests: records every message shown and answers from a script.
#include "core/prompts.h"

#include <QString>
#include <deque>
#include <vector>

namespace meridan::test {

struct Shown {
    QString text;
    QString title;
    Icon icon;
    int buttons;
};

class ScriptedPrompts : public Prompts {
public:
    int message(const QString &text, const QString &title, Icon icon, int buttons) override;
    std::optional<QString> input(const QString &prompt, const QString &title, const QString &preset) override;
    std::optional<QString> openFile(const FileDialogSpec &spec) override;
    std::optional<QString> saveFile(const FileDialogSpec &spec) override;
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void statusChanged(const QString &text) override { statuses.push_back(text); }
    void listChanged() override { ++listRefreshes; }

    std::vector<Shown> shown;            // every message box, in order
    std::deque<int> answers;             // button answers; Ok/first button when empty
    std::deque<std::optional<QString>> inputs; // input box answers; cancel when empty
    std::deque<std::optional<QString>> files;  // file dialog answers; cancel when empty
    std::vector<FileDialogSpec> dialogs; // every file dialog opened
    std::vector<QString> statuses;
    int listRefreshes = 0;
    int busyDepth = 0;

    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
    QString lastTitle() const { return shown.empty() ? QString() : shown.back().title; }
};

} // namespace meridan::test
