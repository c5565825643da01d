// SPDX-License-Identifier: GPL-3.0-or-later
#include "iec/form4_window.h"

#include "core/context.h"
#include "iec/addvar_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace meridan::iec {

namespace {

QPushButton *Button(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLabel *Label(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

Form4Window::Form4Window(Context &ctx, QWidget *parent) : QDialog(parent), ctx_(ctx), editor_(ctx)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("VarEdit"));
    setModal(true);

    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    list2_ = new QListWidget(this);
    list2_->setObjectName(QStringLiteral("List2"));
    list2_->setFont(mono);
    list1_ = new QListWidget(this);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setFont(mono);
    auto *attach = Button("Command1", QStringLiteral("<--"), this);
    attach->setToolTip(ctx.tr(QStringLiteral("Attach the variable to the channel"),
                              QStringLiteral("Variable an den Kanal binden")));
    auto *detach = Button("Command2", QStringLiteral("-->"), this);
    detach->setToolTip(ctx.tr(QStringLiteral("Detach the variable from the channel"),
                              QStringLiteral("Variable vom Kanal lösen")));
    auto *addVar = Button("AddVar", QStringLiteral("Add Var"), this);
    auto *delVar = Button("DelVar", QStringLiteral("Delete Var"), this);
    auto *exit = Button("Exit", QStringLiteral("Exit"), this);
    auto *frame = new QGroupBox(QStringLiteral("Var Type"), this);
    frame->setObjectName(QStringLiteral("Frame2"));
    typeBool_ = new QRadioButton(QStringLiteral("Bool"), frame);
    typeBool_->setObjectName(QStringLiteral("TypeBool"));
    typeInt_ = new QRadioButton(QStringLiteral("Int"), frame);
    typeInt_->setObjectName(QStringLiteral("TypeInt"));
    auto *types = new QVBoxLayout(frame);
    types->addWidget(typeBool_);
    types->addWidget(typeInt_);
    label3_ = Label("Label3", QString(), this);
    label3_->setFrameShape(QFrame::StyledPanel);

    auto *grid = new QGridLayout;
    grid->addWidget(Label("Label1", QStringLiteral("Modul"), this), 0, 0);
    grid->addWidget(combo1_, 1, 0);
    grid->addWidget(Label("Label2", QStringLiteral("Channel"), this), 2, 0);
    grid->addWidget(list2_, 3, 0);
    auto *arrows = new QVBoxLayout;
    arrows->addStretch(1);
    arrows->addWidget(attach);
    arrows->addWidget(detach);
    arrows->addStretch(1);
    grid->addLayout(arrows, 3, 1);
    grid->addWidget(Label("Label4", QStringLiteral("Multiprog wt Variables"), this), 2, 2);
    grid->addWidget(list1_, 3, 2);
    auto *side = new QVBoxLayout;
    side->addWidget(frame);
    side->addWidget(addVar);
    side->addWidget(delVar);
    side->addStretch(1);
    side->addWidget(exit);
    grid->addLayout(side, 3, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(grid, 1);
    outer->addWidget(label3_);

    askNewVar = [this]() -> std::optional<std::pair<QString, int>> {
        AddVarForm f(this);
        if (f.exec() != QDialog::Accepted)
            return std::nullopt;
        return std::make_pair(f.name(), f.type());
    };
    const auto then = [this](auto &&action) {
        return [this, action] {
            action();
            Display();
        };
    };
    connect(combo1_, &QComboBox::activated, this, [this](int i) {
        editor_.Combo1_Click(i);
        Display();
    });
    connect(list1_, &QListWidget::currentRowChanged, this, [this](int row) {
        editor_.List1_Click(row);
        Display();
    });
    connect(list2_, &QListWidget::currentRowChanged, this, [this](int row) { editor_.List2_Click(row); });
    // Double-clicks: a variable onto the chosen channel, a channel's variable off it.
    connect(list1_, &QListWidget::itemDoubleClicked, this, then([this] { editor_.Command1_Click(); }));
    connect(list2_, &QListWidget::itemDoubleClicked, this, then([this] { editor_.Command2_Click(); }));
    connect(attach, &QPushButton::clicked, this, then([this] { editor_.Command1_Click(); }));
    connect(detach, &QPushButton::clicked, this, then([this] { editor_.Command2_Click(); }));
    connect(typeBool_, &QRadioButton::clicked, this, then([this] { editor_.TypeBool_Click(); }));
    connect(typeInt_, &QRadioButton::clicked, this, then([this] { editor_.TypeInt_Click(); }));
    connect(delVar, &QPushButton::clicked, this, then([this] { editor_.DelVar_Click(); }));
    connect(addVar, &QPushButton::clicked, this, [this] {
        if (const auto answer = askNewVar ? askNewVar() : std::nullopt)
            editor_.AddVar(answer->first, answer->second);
        Display();
    });
    connect(exit, &QPushButton::clicked, this, &Form4Window::reject);
}

void Form4Window::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (loaded_)
        return;
    loaded_ = true;
    editor_.Form_Load();
    Display();
}

void Form4Window::Display()
{
    const VarView v = editor_.view();
    {
        const QSignalBlocker block(combo1_);
        if (combo1_->count() != v.modules.size()) {
            combo1_->clear();
            combo1_->addItems(v.modules);
        }
        combo1_->setCurrentIndex(v.module);
    }
    const auto fill = [](QListWidget *list, const QStringList &items, int current) {
        const QSignalBlocker block(list);
        list->clear();
        list->addItems(items);
        list->setCurrentRow(current);
    };
    fill(list2_, v.channels, v.channel);
    fill(list1_, v.variables, v.variable);
    for (int i = 0; i < list1_->count(); ++i)
        list1_->item(i)->setData(Qt::UserRole, v.variableIndex[std::size_t(i)]);
    {
        // Shows the chosen variable's type; no button is checked without one.
        const QSignalBlocker b1(typeBool_), b2(typeInt_);
        typeBool_->setAutoExclusive(false);
        typeInt_->setAutoExclusive(false);
        typeBool_->setChecked(v.type == kBool);
        typeInt_->setChecked(v.type == kInt);
        typeBool_->setAutoExclusive(true);
        typeInt_->setAutoExclusive(true);
    }
    label3_->setText(v.status);
}

void Form4Window::reject()
{
    if (closing_)
        return;
    closing_ = true;
    editor_.Form_Unload();
    Display();
    QDialog::reject();
    closing_ = false;
}

} // namespace meridan::iec
