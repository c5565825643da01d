// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bus parameter editor window (Form3), non-modal. It forwards every edit
// to a MasterEditor and shows what the editor says. OK hides the window; the
// close box destroys it without storing. A line under the fields says
// whether the bus parameters hold for the configured slaves.
#include "master/buscheck.h"
#include "master/master_editor.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace meridan {

struct Context;

class Form3Window : public QWidget {
    Q_OBJECT
public:
    explicit Form3Window(Context &ctx, QWidget *parent = nullptr);

    MasterEditor &editor() { return editor_; }

    // The window became active: tooltips for the language in force, the
    // master from slot 0 unless the user has edits pending, and the display.
    void Form_Activate();
    // DisplayMaster: every control from the editor's record.
    void DisplayMaster();
    // Tooltips and texts of the language in force.
    void SetTexts();

Q_SIGNALS:
    // OK stored the master into the configuration.
    void stored();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *field(MasterField f) const { return fields_[std::size_t(f)]; }
    void FieldLostFocus(MasterField f);
    void Combo1_Click(int index);
    void SetBus_Click();
    void Recall_Click();
    void Exit_Click();
    // The bus parameter check of the master being edited (F3_Check).
    void ShowCheck();

    Context &ctx_;
    MasterEditor editor_;
    std::array<QLineEdit *, kMasterFieldCount> fields_{};
    QComboBox *combo1_ = nullptr;
    QCheckBox *ms_ = nullptr;
    QCheckBox *autoclear_ = nullptr;
    QLabel *l17_ = nullptr;
    QLabel *label19_ = nullptr;
    QLabel *meldung_ = nullptr;
    QLabel *check_ = nullptr;
    DeviceFiles files_; // read again on every activation
    QPushButton *recall_ = nullptr;
    QPushButton *exit_ = nullptr;
    QPushButton *setBus_ = nullptr;
    bool committing_ = false;
};

} // namespace meridan
