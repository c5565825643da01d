// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The prompts seam on real Qt dialogs.
#include "core/prompts.h"

#include <QPointer>
#include <QWidget>

namespace meridan {

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget *parent = nullptr);
    ~QtPrompts() override;
    void setParent(QWidget *parent) { parent_ = parent; }

    int message(const QString &text, const QString &title, Icon icon, int buttons) override;
    std::optional<QString> input(const QString &prompt, const QString &title, const QString &preset) override;
    std::optional<QString> openFile(const FileDialogSpec &spec) override;
    std::optional<QString> saveFile(const FileDialogSpec &spec) override;
    void setBusy(bool busy) override;
    void statusChanged(const QString &text) override;
    void listChanged() override;

    // The main window hooks itself in here.
    std::function<void(const QString &)> onStatus;
    std::function<void()> onList;
    // The language flag the message boxes' buttons speak; unset: English.
    const int16_t *language = nullptr;

private:
    class FieldWatch;
    // The widget a message box belongs to and the one that has the focus
    // back once it is closed: the field whose entry is being checked, when
    // one is, else the widget with the focus.
    QWidget *focusField() const;

    QPointer<QWidget> parent_;
    FieldWatch *watch_ = nullptr;
    int busyDepth_ = 0;
};

// "Configdata (*.dp1)|*.dp1|all (*.*)|*.*" becomes Qt's "Configdata (*.dp1);;all (*.*)".
QString QtFilter(const QString &windowsFilter);

} // namespace meridan
