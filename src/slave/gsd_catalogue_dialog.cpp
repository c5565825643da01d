// SPDX-License-Identifier: GPL-3.0-or-later
#include "slave/gsd_catalogue_dialog.h"

#include "core/context.h"
#include "core/texts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace meridan {

namespace {

QPushButton *MakeButton(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

GsdCatalogueDialog::GsdCatalogueDialog(Context &ctx, FileDialogSpec spec, QWidget *parent)
    : QDialog(parent), ctx_(ctx), spec_(std::move(spec)),
      cat_(GsdCatalogue::Load(ctx.root.gsdDir(), CatalogueIndexFile(ctx.root)))
{
    setObjectName(QStringLiteral("GsdCatalogue"));
    setWindowTitle(ctx_.tr(QStringLiteral("GSD catalogue"), QStringLiteral("GSD-Katalog")));
    setModal(true);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("Filter"));
    filter_->setPlaceholderText(ctx_.tr(QStringLiteral("vendor, model or ident"), QStringLiteral("Hersteller, Gerät oder Ident")));
    filter_->setClearButtonEnabled(true);
    auto *label = new QLabel(QStringLiteral("Filter"), this);
    label->setBuddy(filter_);

    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QStringLiteral("Files"));
    table_->setHorizontalHeaderLabels({ctx_.tr(QStringLiteral("Vendor"), QStringLiteral("Hersteller")),
                                       ctx_.tr(QStringLiteral("Model"), QStringLiteral("Gerät")), QStringLiteral("Ident"),
                                       QStringLiteral("Revision"), ctx_.tr(QStringLiteral("File"), QStringLiteral("Datei"))});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    auto *open = MakeButton("Open", ctx_.tr(QStringLiteral("Open"), QStringLiteral("Öffnen")), this);
    open->setDefault(true);
    auto *browse = MakeButton("Browse", ctx_.tr(QStringLiteral("Other file..."), QStringLiteral("Andere Datei...")), this);
    auto *cancel = MakeButton("Cancel", ctx_.tr(QStringLiteral("Cancel"), QStringLiteral("Abbrechen")), this);

    auto *top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(filter_, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(browse);
    buttons->addStretch(1);
    buttons->addWidget(open);
    buttons->addWidget(cancel);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(table_, 1);
    outer->addLayout(buttons);
    resize(760, 420);

    connect(filter_, &QLineEdit::textChanged, this, &GsdCatalogueDialog::Filter_Change);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &GsdCatalogueDialog::Open_Click);
    connect(open, &QPushButton::clicked, this, &GsdCatalogueDialog::Open_Click);
    connect(browse, &QPushButton::clicked, this, &GsdCatalogueDialog::Browse_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Filter_Change();
}

void GsdCatalogueDialog::setFilter(const QString &text)
{
    filter_->setText(text);
}

void GsdCatalogueDialog::Filter_Change()
{
    const std::vector<const GsdCatalogueEntry *> shown = cat_.matching(filter_->text());
    table_->setRowCount(int(shown.size()));
    for (int r = 0; r < int(shown.size()); ++r) {
        const GsdCatalogueEntry &e = *shown[std::size_t(r)];
        const QString ident = e.header.ident < 0 ? QString() : HexUpper(unsigned(e.header.ident), 4);
        const QString cells[] = {e.header.vendor, e.header.model, ident, e.header.revision, e.file};
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, e.path);
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
    if (!shown.empty())
        table_->selectRow(0);
}

void GsdCatalogueDialog::Open_Click()
{
    const QTableWidgetItem *item = table_->item(table_->currentRow(), 0);
    if (!item)
        return;
    chosen_ = item->data(Qt::UserRole).toString();
    accept();
}

void GsdCatalogueDialog::Browse_Click()
{
    const std::optional<QString> path = ctx_.ui.openFile(spec_);
    if (!path || path->isEmpty())
        return;
    chosen_ = path;
    accept();
}

} // namespace meridan
