// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The extended user-parameter editor window (Form7), modal over the slave
// editor: one row per named field of a parameter block, a number field or a
// drop-down of texts. Every change goes straight into the record buffer;
// "O.K." only closes the window.
#include "slave/ext_prm_editor.h"

#include <QDialog>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace meridan {

struct Context;

class Form7Window : public QDialog {
    Q_OBJECT
public:
    Form7Window(Context &ctx, ExtSelection sel, QWidget *parent = nullptr);

    ExtPrmEditor &editor() { return editor_; }
    // Builds the rows from the GSD tables and the record buffer.
    void Form_Activate();

private:
    void ShowRow(int k);
    void Text_LostFocus(int k);
    void Combo_Click(int k, int index);

    Context &ctx_;
    ExtPrmEditor editor_;
    std::array<QLabel *, kExtPrmRows> labels_{};
    std::array<QLineEdit *, kExtPrmRows> texts_{};
    std::array<QComboBox *, kExtPrmRows> combos_{};
    QLineEdit *mnr_ = nullptr;
    QLineEdit *offset_ = nullptr;
    QPushButton *command1_ = nullptr;
};

} // namespace meridan
