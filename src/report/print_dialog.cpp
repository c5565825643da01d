// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/print_dialog.h"

#include "core/context.h"

#include <QPrintPreviewDialog>

namespace meridan {

PrintPreview::PrintPreview(Printout printout, QWidget *parent)
    : printout_(std::move(printout)), printer_(QPrinter::HighResolution)
{
    dialog_ = std::make_unique<QPrintPreviewDialog>(&printer_, parent);
    dialog_->setObjectName(QStringLiteral("PrintPreview"));
    // The preview and the print itself both come through here; the last
    // call before the dialog closes is the one that went to the printer.
    QObject::connect(dialog_.get(), &QPrintPreviewDialog::paintRequested, dialog_.get(),
                     [this](QPrinter *printer) { last_ = RenderPrintout(printout_, *printer); });
}

PrintPreview::~PrintPreview() = default;

PrintOutcome PrintPreview::exec()
{
    using Kind = PrintOutcome::Kind;
    if (dialog_->exec() != QDialog::Accepted)
        return {Kind::Cancelled, {}};
    if (!last_.ok)
        return {Kind::Failed, last_.error};
    if (printer_.printerState() == QPrinter::Error || printer_.printerState() == QPrinter::Aborted)
        return {Kind::Failed, {}};
    if (printer_.outputFormat() == QPrinter::PdfFormat)
        return {Kind::Done, printer_.outputFileName()};
    return {Kind::Done, {}};
}

PrintOutcome DP_Print_Click(Context &ctx, QWidget *parent)
{
    return PrintConfiguration(ctx, [&](const Printout &printout) {
        PrintPreview preview(printout, parent);
        preview.printer().setDocName(DocumentName(ctx));
        preview.dialog().setWindowTitle(ctx.tr(QStringLiteral("Print"), QStringLiteral("Drucken")));
        return preview.exec();
    });
}

} // namespace meridan
