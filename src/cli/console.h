// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The prompts seam for meridan-cli. Nobody sits in front of it: a message
// box becomes a line on stderr named after the command, a question is
// answered no (yes with --yes), a confirmation is only given with --yes, and
// the window's message line becomes the message log on stderr with -v. On a
// terminal, a long operation shows one progress line instead.
#include "core/prompts.h"

#include <QSet>
#include <QTextStream>

namespace meridan::cli {

class Console : public Prompts {
public:
    explicit Console(QTextStream &err);
    ~Console() override;

    QString command;        // for "meridan-cli COMMAND: ..."
    bool verbose = false;   // -v: the message log on stderr
    bool quiet = false;     // -q: errors only
    bool assumeYes = false; // --yes

    int message(const QString &text, const QString &title, Icon icon, int buttons) override;
    std::optional<bool> confirm(const QString &question, const QString &title) override;
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> openFile(const FileDialogSpec &) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogSpec &) override { return std::nullopt; }
    void setBusy(bool) override {}
    void statusChanged(const QString &text) override;

    // From now on (on a terminal, without -v or -q) each new message-line
    // text replaces one progress line on stderr; off clears it.
    void progress(bool on);
    // "meridan-cli COMMAND: text" on stderr, once for the same text.
    void error(const QString &text);

private:
    void clearProgress();
    QTextStream &err_;
    bool terminal_ = false;
    bool progress_ = false;
    bool lineShown_ = false;
    QSet<QString> said_; // texts already on stderr
};

} // namespace meridan::cli
