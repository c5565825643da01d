// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lays the printout's lines out on paper: a fixed-pitch font in an area of
// 9000 x 14500 twips (6.25 x 10.07 inches) centred on the page, a new page
// for every page of the printout and whenever the next line would not fit.
// Works on any paged device: a printer, its preview, a PDF writer.
#include "report/printout.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class QPagedPaintDevice;

namespace meridan {

struct RenderResult {
    bool ok = false;
    int pages = 0;  // sheets drawn
    QString error;  // why not, when !ok
};

RenderResult RenderPrintout(const Printout &printout, QPagedPaintDevice &device);

// The printout as a PDF document (A4). Empty with `error` set when it could
// not be drawn.
QByteArray PrintoutPdf(const Printout &printout, const QString &title, QString *error = nullptr);

// Writes the printout as a PDF file at `path` (replaced whole or left as it
// was). Done with the path, or Failed with the reason.
PrintOutcome WritePdf(const Printout &printout, const QString &path);

// The File menu's "Export PDF": asks for a file name (beside the
// configuration file, named after it) and writes the printout there as a
// PDF, with the status line as Print has it.
PrintOutcome ExportPdf(Context &ctx, const QDateTime &now = QDateTime::currentDateTime());

} // namespace meridan
