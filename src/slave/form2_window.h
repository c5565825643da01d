// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave editor window (Form2), modal over the main window. It shows what
// the SlaveEditor's DisplaySlave gives and forwards every event to it; the
// extended parameter editor (Form7) opens from its module list and from
// "Set Head Prm".
#include "slave/slave_editor.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace meridan {

struct Context;

class Form2Window : public QDialog {
    Q_OBJECT
public:
    // `board`: the connected board, for the live process data.
    explicit Form2Window(Context &ctx, QWidget *parent = nullptr, std::function<iface::Link *()> board = {});

    SlaveEditor &editor() { return editor_; }
    // Opens the extended parameter editor for a block; by default Form7,
    // modal. Tests replace it to see the block chosen.
    std::function<void(const ExtSelection &)> openForm7;
    // Opens the variable editor (Form4) on the record buffer, modal.
    std::function<void()> openVarEditor;
    // Opens the I/O test on the record buffer's station, modal; unset (no
    // bus commands around the editor): the button stays disabled.
    std::function<void()> openIoTest;

    void Form_Activate();
    void DisplaySlave();
    // Tooltips and the captions that follow the language.
    void SetTexts();

    void reject() override; // Cancel, Escape and the close box

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *Field(const char *name, QWidget *parent, bool readOnly = false);
    void Committed(QLineEdit *edit, const std::function<void()> &commit);
    void Modul_DropDown();
    void Modul_Click(int index);
    void ModList_Click(int row);
    void ModList_KeyDown();
    void SetGP_Click();

    Context &ctx_;
    SlaveEditor editor_;
    QLineEdit *sa_ = nullptr, *name_ = nullptr, *id_ = nullptr;
    QLineEdit *vendor_ = nullptr, *model_ = nullptr, *hw_ = nullptr, *sw_ = nullptr;
    QLineEdit *prm_ = nullptr, *cfg_ = nullptr;
    QLineEdit *inAdr_ = nullptr, *inLn_ = nullptr, *in_ = nullptr;
    QLineEdit *outAdr_ = nullptr, *outLn_ = nullptr, *out_ = nullptr;
    QLineEdit *watchdog_ = nullptr, *minTsdr_ = nullptr, *group_ = nullptr, *sl_ = nullptr;
    QLineEdit *meldung_ = nullptr;
    QLabel *label8_ = nullptr;
    QPushButton *ioTest_ = nullptr;
    QComboBox *modul_ = nullptr;
    QListWidget *modList_ = nullptr;
    bool activated_ = false;
    bool busy_ = false;
};

} // namespace meridan
