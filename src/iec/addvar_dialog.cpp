// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/addvar_dialog.h"

#include "iec/vars.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace meridan::iec {

AddVarForm::AddVarForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AddVarForm"));
    setWindowTitle(QStringLiteral("Add Variable"));
    setModal(true);
    auto *label = new QLabel(QStringLiteral("Enter new Varname"), this);
    label->setObjectName(QStringLiteral("Label1"));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("VarName"));
    label->setBuddy(name_);

    auto *frame = new QGroupBox(QStringLiteral("Type"), this);
    frame->setObjectName(QStringLiteral("Typeframe"));
    int_ = new QRadioButton(QStringLiteral("INT"), frame);
    int_->setObjectName(QStringLiteral("TypeInt"));
    auto *boolean = new QRadioButton(QStringLiteral("BOOL"), frame);
    boolean->setObjectName(QStringLiteral("TypeBool"));
    boolean->setChecked(true);
    auto *types = new QHBoxLayout(frame);
    types->addWidget(int_);
    types->addWidget(boolean);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(label);
    outer->addWidget(name_);
    outer->addWidget(frame);
    outer->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString AddVarForm::name() const
{
    return name_->text();
}

int AddVarForm::type() const
{
    return int_->isChecked() ? kInt : kBool;
}

} // namespace meridan::iec
