// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render.h"

#include "core/context.h"
#include "core/savefile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace meridan {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kAreaWidth = 9000.0;  // twips
constexpr double kAreaHeight = 14500.0;
constexpr double kPointSize = 10.0;
constexpr double kSmallestPointSize = 6.0;

QFont PrintFont(double pointSize)
{
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace

RenderResult RenderPrintout(const Printout &printout, QPagedPaintDevice &device)
{
    RenderResult r;
    QPainter painter;
    if (!painter.begin(&device)) {
        r.error = QStringLiteral("the printer or file cannot be opened");
        return r;
    }
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    const QPageLayout layout = device.pageLayout();
    const QRectF full = layout.fullRectPixels(int(dpiX));
    const QRectF paint = layout.paintRectPixels(int(dpiX));
    const double areaW = kAreaWidth * dpiX / kTwipsPerInch;
    const double areaH = kAreaHeight * dpiY / kTwipsPerInch;
    // The area is centred on the sheet; the painter's origin is the corner of
    // the printable part, inside the margins.
    const double left = (full.width() - areaW) / 2 - paint.left();
    const double top = (full.height() - areaH) / 2 - paint.top();

    // One font for the whole document: smaller only when a line would run
    // past the area's right edge.
    QFont font = PrintFont(kPointSize);
    {
        const QFontMetricsF fm(font, &device);
        double widest = 0;
        for (const QStringList &page : printout.pages) {
            for (const QString &line : page)
                widest = std::max(widest, fm.horizontalAdvance(line));
        }
        if (widest > areaW)
            font = PrintFont(std::max(kSmallestPointSize, kPointSize * areaW / widest));
    }
    painter.setFont(font);
    const QFontMetricsF fm(font, &device);
    const double step = fm.lineSpacing();

    double y = top;
    r.pages = 1;
    const auto newPage = [&] {
        if (!device.newPage())
            return false;
        ++r.pages;
        y = top;
        return true;
    };
    bool ok = true;
    for (std::size_t p = 0; p < printout.pages.size() && ok; ++p) {
        if (p > 0)
            ok = newPage();
        for (const QString &line : printout.pages[p]) {
            if (!ok)
                break;
            if (y + step > top + areaH && y > top)
                ok = newPage();
            if (ok && !line.trimmed().isEmpty())
                painter.drawText(QPointF(left, y + fm.ascent()), line);
            y += step;
        }
    }
    if (!painter.end() || !ok) {
        r.error = QStringLiteral("the page could not be finished");
        return r;
    }
    r.ok = true;
    return r;
}

QByteArray PrintoutPdf(const Printout &printout, const QString &title, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    RenderResult r;
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(title);
        pdf.setCreator(QStringLiteral("Meridan"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        r = RenderPrintout(printout, pdf);
    }
    if (!r.ok) {
        if (error)
            *error = r.error;
        return {};
    }
    return bytes;
}

PrintOutcome WritePdf(const Printout &printout, const QString &path)
{
    using Kind = PrintOutcome::Kind;
    QString error;
    const QByteArray pdf = PrintoutPdf(printout, QFileInfo(path).completeBaseName(), &error);
    if (pdf.isEmpty())
        return {Kind::Failed, error};
    error = WriteWholeFile(path, pdf);
    if (!error.isEmpty())
        return {Kind::Failed, error};
    return {Kind::Done, path};
}

PrintOutcome ExportPdf(Context &ctx, const QDateTime &now)
{
    return PrintConfiguration(ctx, [&ctx](const Printout &printout) -> PrintOutcome {
        using Kind = PrintOutcome::Kind;
        const QString config = ctx.root.mapPath(ctx.st.configFileName);
        FileDialogSpec spec;
        spec.title = ctx.tr(QStringLiteral("Export PDF"), QStringLiteral("Als PDF exportieren"));
        spec.filter = QStringLiteral("PDF (*.pdf)|*.pdf|all (*.*)|*.*");
        spec.defaultSuffix = QStringLiteral("pdf");
        spec.initialDir = config.isEmpty() ? ctx.root.setupDir() : QFileInfo(config).path();
        spec.fileName = spec.initialDir + QLatin1Char('/') + DocumentName(ctx) + QStringLiteral(".pdf");
        const std::optional<QString> path = ctx.ui.saveFile(spec);
        if (!path || path->isEmpty())
            return {Kind::Cancelled, {}};
        return WritePdf(printout, *path);
    }, now);
}

} // namespace meridan
