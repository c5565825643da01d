// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Add Variable dialog (AddVarForm): a name and BOOL or INT.
#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace meridan::iec {

class AddVarForm : public QDialog {
    Q_OBJECT
public:
    explicit AddVarForm(QWidget *parent = nullptr);
    QString name() const;
    // kInt when TypeInt is chosen, else kBool.
    int type() const;

private:
    QLineEdit *name_ = nullptr;
    QRadioButton *int_ = nullptr;
};

} // namespace meridan::iec
