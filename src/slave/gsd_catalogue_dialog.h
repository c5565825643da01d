// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GSD button's dialog: the device files of ROOT/GSD by vendor, model,
// ident and revision, narrowed by a filter field; "Other file..." leads to
// the plain file dialog for a file anywhere.
#include "core/prompts.h"
#include "slave/gsd_catalogue.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QTableWidget;

namespace meridan {

struct Context;

class GsdCatalogueDialog : public QDialog {
    Q_OBJECT
public:
    // `spec` is what the plain file dialog is opened with.
    GsdCatalogueDialog(Context &ctx, FileDialogSpec spec, QWidget *parent = nullptr);

    void setFilter(const QString &text);
    // The file chosen, once the dialog was accepted.
    const std::optional<QString> &chosen() const { return chosen_; }

private:
    void Filter_Change();
    void Open_Click();
    void Browse_Click();

    Context &ctx_;
    FileDialogSpec spec_;
    GsdCatalogue cat_;
    QLineEdit *filter_ = nullptr;
    QTableWidget *table_ = nullptr;
    std::optional<QString> chosen_;
};

} // namespace meridan
