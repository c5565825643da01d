// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The variable editor window (Form4, "VarEdit"), modal over the slave
// editor. It shows what the VarEditor's view() gives and forwards every event
// to it; Add Var asks through the AddVarForm dialog.
#include "iec/var_editor.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <utility>

class QComboBox;
class QLabel;
class QListWidget;
class QRadioButton;

namespace meridan::iec {

class Form4Window : public QDialog {
    Q_OBJECT
public:
    explicit Form4Window(Context &ctx, QWidget *parent = nullptr);

    VarEditor &editor() { return editor_; }
    // Asks for a new variable's name and type; by default the AddVarForm
    // dialog, modal. Tests replace it.
    std::function<std::optional<std::pair<QString, int>>()> askNewVar;

    void Display();
    void reject() override; // Exit, Escape and the close box: Form_Unload

protected:
    void showEvent(QShowEvent *event) override;

private:
    Context &ctx_;
    VarEditor editor_;
    bool loaded_ = false;
    bool closing_ = false;
    QComboBox *combo1_ = nullptr;
    QListWidget *list1_ = nullptr, *list2_ = nullptr;
    QRadioButton *typeBool_ = nullptr, *typeInt_ = nullptr;
    QLabel *label3_ = nullptr;
};

} // namespace meridan::iec
