// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form5_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace meridan {

Form5Dialog::Form5Dialog(const QStringList &targets, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Select Target"));
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(true);
    combo1_->setInsertPolicy(QComboBox::NoInsert);
    // The default target leads, whatever the file's order.
    const QString standard = QStringLiteral("OS9Target");
    combo1_->addItem(standard);
    for (const QString &t : targets)
        if (t.compare(standard, Qt::CaseInsensitive) != 0)
            combo1_->addItem(t);
    combo1_->setMinimumWidth(180);
    command1_ = new QPushButton(QStringLiteral("OK"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    // Enter belongs to the combo box; the button must not take it a second time.
    command1_->setAutoDefault(false);
    connect(command1_, &QPushButton::clicked, this, &Form5Dialog::Command1_Click);
    connect(combo1_->lineEdit(), &QLineEdit::returnPressed, this, &Form5Dialog::Command1_Click);
    auto *row = new QHBoxLayout(this);
    row->addWidget(combo1_, 1);
    row->addWidget(command1_);
}

void Form5Dialog::Command1_Click()
{
    if (confirmed_)
        return;
    target_ = combo1_->currentText();
    confirmed_ = true;
    accept();
}

} // namespace meridan
