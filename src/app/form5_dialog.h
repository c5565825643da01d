// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Form5, "Select Target": the network target a TCP/IP item connects to. The
// combo box offers the targets zelpci.cfg names ("OS9Target" first) and
// takes any other name; Command1 or Enter in the combo box confirms,
// closing the window any other way cancels.
#include <QDialog>

class QComboBox;
class QPushButton;

namespace meridan {

class Form5Dialog : public QDialog {
    Q_OBJECT
public:
    explicit Form5Dialog(const QStringList &targets, QWidget *parent = nullptr);

    bool confirmed() const { return confirmed_; }
    // The combo box text when it was confirmed.
    QString target() const { return target_; }

private:
    void Command1_Click();

    QComboBox *combo1_ = nullptr;
    QPushButton *command1_ = nullptr;
    bool confirmed_ = false;
    QString target_;
};

} // namespace meridan
