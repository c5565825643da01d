// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam to the person in front of the program: message boxes, input boxes,
// file dialogs, the busy cursor and the main window's status line. The GUI
// implements it with Qt dialogs, the CLI on stderr, tests with a script.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace meridan {

enum class Icon { None, Information, Warning, Critical, Question };

// Store ("Save") and Discard: the question before changed work is given up.
enum Button : int { Ok = 1, Cancel = 2, Yes = 4, No = 8, Store = 16, Discard = 32 };

struct FileDialogSpec {
    QString title;
    QString filter;       // "Configdata (*.dp1)|*.dp1|all (*.*)|*.*"
    QString defaultSuffix;
    QString initialDir;
    QString fileName;     // preset
};

class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a message box; returns the button pressed (Ok when only Ok).
    virtual int message(const QString &text, const QString &title, Icon icon = Icon::None,
                        int buttons = Ok) = 0;
    // A question that an operation needs answered before it goes ahead (a
    // master restarted, the EEPROM cleared): true yes, false no; nullopt when
    // nobody is there to answer (a script that did not confirm beforehand).
    virtual std::optional<bool> confirm(const QString &question, const QString &title)
    {
        return message(question, title, Icon::Question, Yes | No) == Yes;
    }
    // An input box; nullopt on Cancel.
    virtual std::optional<QString> input(const QString &prompt, const QString &title,
                                         const QString &preset = {}) = 0;
    virtual std::optional<QString> openFile(const FileDialogSpec &spec) = 0;
    virtual std::optional<QString> saveFile(const FileDialogSpec &spec) = 0;
    virtual void setBusy(bool busy) = 0;
    // The status line (Melde1) changed; the state already holds the text.
    virtual void statusChanged(const QString &text) {}
    // The station list lines changed and the list should be rebuilt.
    virtual void listChanged() {}
};

// Non-interactive prompts for tools and benches: messages go to stderr (unless
// quiet), questions take their default, nobody confirms, dialogs are
// cancelled unless a path is given.
class CliPrompts : public Prompts {
public:
    bool quiet = false;
    int message(const QString &text, const QString &title, Icon icon, int buttons) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &preset) override;
    std::optional<bool> confirm(const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> openFile(const FileDialogSpec &spec) override;
    std::optional<QString> saveFile(const FileDialogSpec &spec) override;
    void setBusy(bool) override {}
    void statusChanged(const QString &text) override;
    std::optional<QString> nextPath; // answer to the next file dialog
    // Each new status line text, as it appears (the bus commands print them).
    std::function<void(const QString &)> onStatus;
};

} // namespace meridan
