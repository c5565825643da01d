// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/form7_window.h"

#include "core/context.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace meridan {

Form7Window::Form7Window(Context &ctx, ExtSelection sel, QWidget *parent)
    : QDialog(parent), ctx_(ctx), editor_(ctx, sel)
{
    setObjectName(QStringLiteral("Form7"));
    setModal(true);

    auto *head = new QHBoxLayout;
    auto *mnrLabel = new QLabel(ctx.tr(QStringLiteral("Module No.:"), QStringLiteral("Modul Nr.:")), this);
    mnrLabel->setObjectName(QStringLiteral("Label25"));
    mnr_ = new QLineEdit(this);
    mnr_->setObjectName(QStringLiteral("A_MNR"));
    mnr_->setReadOnly(true);
    mnr_->setMaximumWidth(60);
    auto *offLabel = new QLabel(ctx.tr(QStringLiteral("Module Parameter Offset"), QStringLiteral("Modul Parameter Offset")), this);
    offLabel->setObjectName(QStringLiteral("Label26"));
    offset_ = new QLineEdit(this);
    offset_->setObjectName(QStringLiteral("A_Offset"));
    offset_->setReadOnly(true);
    offset_->setMaximumWidth(60);
    head->addWidget(mnrLabel);
    head->addWidget(mnr_);
    head->addSpacing(20);
    head->addWidget(offLabel);
    head->addWidget(offset_);
    head->addStretch(1);

    auto *rowsWidget = new QWidget(this);
    auto *grid = new QGridLayout(rowsWidget);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    for (int k = 0; k < kExtPrmRows; ++k) {
        const QString n = QString::number(k + 1);
        auto *label = new QLabel(rowsWidget);
        label->setObjectName(QStringLiteral("Label") + n);
        label->setFont(mono);
        auto *text = new QLineEdit(rowsWidget);
        text->setObjectName(QStringLiteral("Text") + n);
        text->setMinimumWidth(110);
        auto *combo = new QComboBox(rowsWidget);
        combo->setObjectName(QStringLiteral("Combo") + n);
        combo->setMinimumWidth(200);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(22);
        combo->setEditable(true);
        combo->lineEdit()->setReadOnly(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        grid->addWidget(label, k, 0);
        grid->addWidget(text, k, 1);
        grid->addWidget(combo, k, 1); // a row shows one of the two
        labels_[std::size_t(k)] = label;
        texts_[std::size_t(k)] = text;
        combos_[std::size_t(k)] = combo;
        connect(text, &QLineEdit::editingFinished, this, [this, k] { Text_LostFocus(k); });
        connect(combo, &QComboBox::activated, this, [this, k](int index) { Combo_Click(k, index); });
    }
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(kExtPrmRows, 1);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(rowsWidget);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    command1_ = new QPushButton(QStringLiteral("O.K."), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setAutoDefault(false);
    connect(command1_, &QPushButton::clicked, this, [this] { accept(); });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1_);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(head);
    outer->addWidget(scroll, 1);
    outer->addLayout(buttons);
    resize(860, 480);

    Form_Activate();
}

void Form7Window::Form_Activate()
{
    editor_.Build();
    setWindowTitle(editor_.caption());
    mnr_->setText(editor_.moduleNumberText());
    offset_->setText(editor_.offsetText());
    for (int k = 0; k < kExtPrmRows; ++k)
        ShowRow(k);
}

void Form7Window::ShowRow(int k)
{
    const ExtRow &row = editor_.rows()[std::size_t(k)];
    QLabel *label = labels_[std::size_t(k)];
    QLineEdit *text = texts_[std::size_t(k)];
    QComboBox *combo = combos_[std::size_t(k)];
    label->setVisible(row.visible);
    text->setVisible(row.visible && row.textList == 0);
    combo->setVisible(row.visible && row.textList != 0);
    if (!row.visible)
        return;
    label->setText(row.label);
    text->setText(row.text);
    text->setReadOnly(!row.editable);
    text->setModified(false);
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(row.items);
    combo->setEnabled(row.editable);
    // The text of the value, "---" when the list has none for it.
    combo->setCurrentIndex(row.items.indexOf(row.comboText));
    combo->setEditText(row.comboText);
}

void Form7Window::Text_LostFocus(int k)
{
    QLineEdit *text = texts_[std::size_t(k)];
    if (!text->isModified())
        return;
    text->setModified(false);
    editor_.CommitText(k, text->text());
    ShowRow(k);
}

void Form7Window::Combo_Click(int k, int index)
{
    editor_.CommitCombo(k, index);
    ShowRow(k);
}

} // namespace meridan
