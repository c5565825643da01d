// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "report/print_dialog.h"
#include "report_support.h"
#include "window_support.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace meridan::test {
namespace {

// Closes the modal dialog of type D once the event loop runs: `accept` or reject.
template <typename D>
void WhenShown(bool &shown, bool accept)
{
    QTimer::singleShot(0, [&shown, accept] {
        auto *d = qobject_cast<D *>(QApplication::activeModalWidget());
        shown = d != nullptr;
        if (d)
            accept ? d->accept() : d->reject();
    });
}

TEST(PrintWindow, fileMenu_exportWritesThePdf_printShowsThePreview_cancelSaysSo)
{
    Fixture f;
    f.st.language = kGerman;
    WindowPrompts ui;
    Context ctx{f.st, ui, f.pump, f.root};
    BusStack bus(ctx);
    MainWindow w(ctx, bus.comm);
    ui.window = &w;
    BuildDemoConfiguration(ctx);
    auto *exportPdf = w.findChild<QAction *>(QStringLiteral("DP_ExportPdf"));
    auto *print = w.findChild<QAction *>(QStringLiteral("DP_Print"));
    const auto melde1 = [&] { return w.findChild<QLineEdit *>(QStringLiteral("Melde1"))->text(); };
    ASSERT_TRUE(exportPdf && print && exportPdf->isEnabled() && print->isEnabled());

    const QString path = f.file(QStringLiteral("demo.pdf"));
    ui.files.push_back(path);
    exportPdf->trigger();
    EXPECT_EQ(ui.dialogs.back().title, QStringLiteral("Als PDF exportieren"));
    EXPECT_EQ(melde1(), QStringLiteral("Printing O.K.: ") + path);
    EXPECT_TRUE(ReadFile(path).startsWith("%PDF-"));
    exportPdf->trigger(); // no answer: the file dialog is cancelled
    EXPECT_EQ(melde1(), QStringLiteral("Drucken abgebrochen"));

    ui.statuses.clear();
    bool previewShown = false;
    WhenShown<QPrintPreviewDialog>(previewShown, false);
    print->trigger();
    EXPECT_TRUE(previewShown);
    EXPECT_EQ(ui.statuses, std::vector<QString>({QStringLiteral("Printing Configuration"), QStringLiteral("Drucken abgebrochen")}));
}

TEST(PrintWindow, previewsPrintButton_printsThroughThePrintDialog)
{
    Fixture f;
    BuildDemoConfiguration(f.ctx);
    PrintPreview preview(BuildPrintout(f.ctx, kPrintDate));
    const QString path = f.file(QStringLiteral("printed.pdf"));
    preview.printer().setOutputFileName(path);
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        for (QAction *a : preview.dialog().findChildren<QAction *>()) {
            if (a->text() == QLatin1String("Print")) {
                WhenShown<QPrintDialog>(dialogShown, true);
                a->trigger();
            }
        }
        if (preview.dialog().isVisible())
            preview.dialog().reject(); // nothing printed
    });
    const PrintOutcome out = preview.exec();
    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(out.kind, PrintOutcome::Kind::Done);
    EXPECT_EQ(out.detail, path);
    EXPECT_TRUE(ReadFile(path).startsWith("%PDF-"));
}

} // namespace
} // namespace meridan::test
