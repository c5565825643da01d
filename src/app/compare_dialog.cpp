// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compare_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace meridan {

CompareDialog::CompareDialog(const QString &title, const QString &summary, const QStringList &lines, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CompareDialog"));
    setWindowTitle(title);
    summary_ = new QLabel(summary, this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    summary_->setWordWrap(true);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("CompareList"));
    list_->addItems(lines);
    list_->setVisible(!lines.isEmpty());
    list_->setMinimumWidth(560);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("CompareOk"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
}

} // namespace meridan
