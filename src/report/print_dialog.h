// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The File menu's Print in the desktop program: a preview of the printout
// whose Print button opens the platform's print dialog, where a printer or a
// PDF file is chosen.
#include "report/render.h"

#include <QPrinter>
#include <memory>

class QPrintPreviewDialog;
class QWidget;

namespace meridan {

class PrintPreview {
public:
    explicit PrintPreview(Printout printout, QWidget *parent = nullptr);
    ~PrintPreview();

    QPrintPreviewDialog &dialog() { return *dialog_; }
    QPrinter &printer() { return printer_; }
    // Runs the preview modally: Done when it printed, Cancelled when it was
    // closed without printing, Failed when the printer or file refused.
    PrintOutcome exec();

private:
    Printout printout_;
    QPrinter printer_;
    std::unique_ptr<QPrintPreviewDialog> dialog_;
    RenderResult last_;
};

// File -> Print: the status line as the printout has it, the preview, then
// the print dialog.
PrintOutcome DP_Print_Click(Context &ctx, QWidget *parent);

} // namespace meridan
