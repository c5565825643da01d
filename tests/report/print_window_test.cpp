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

struct PrintWindow {
    QTemporaryDir tmp;
    Root root{tmp.path()};
    State st;
    WindowPrompts ui;
    VirtualPump pump;
    Context ctx{st, ui, pump, root};
    std::unique_ptr<MainWindow> w;

    PrintWindow()
    {
        root.ensureLayout();
        QFile settings(root.settingsFile());
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[LANGUAGE]\r\n 1\r\n");
        settings.close();
        w = std::make_unique<MainWindow>(ctx);
        ui.window = w.get();
        w->endProgram = [] {};
        w->Form_Load();
        BuildDemoConfiguration(ctx);
    }
    QAction *action(const char *name) const { return w->findChild<QAction *>(QString::fromLatin1(name)); }
    QString melde1() const { return w->findChild<QLineEdit *>(QStringLiteral("Melde1"))->text(); }
};

QByteArray FileStart(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(5) : QByteArray();
}

TEST(PrintWindow, exportPdf_writesTheChosenFile_orSaysItWasCancelled)
{
    PrintWindow f;
    QAction *exportPdf = f.action("DP_ExportPdf");
    ASSERT_NE(exportPdf, nullptr);
    EXPECT_TRUE(exportPdf->isEnabled());
    EXPECT_EQ(exportPdf->text(), QStringLiteral("&Export PDF…"));
    const QString path = f.tmp.filePath(QStringLiteral("demo.pdf"));
    f.ui.files.push_back(path);
    exportPdf->trigger();
    EXPECT_EQ(f.ui.dialogs.back().title, QStringLiteral("Export PDF"));
    EXPECT_EQ(f.melde1(), QStringLiteral("Printing O.K.: ") + path);
    EXPECT_EQ(FileStart(path), QByteArray("%PDF-"));

    exportPdf->trigger(); // no answer: the dialog is cancelled
    EXPECT_EQ(f.melde1(), QStringLiteral("Printing cancelled"));
}

TEST(PrintWindow, print_opensThePreview_closingItCancels)
{
    PrintWindow f;
    f.w->sp_deutsch_Click();
    QAction *print = f.action("DP_Print");
    ASSERT_TRUE(print->isEnabled());
    EXPECT_EQ(f.action("DP_ExportPdf")->text(), QStringLiteral("Als PDF &exportieren…"));
    f.ui.statuses.clear();
    bool previewShown = false;
    QTimer::singleShot(0, [&] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        previewShown = preview != nullptr;
        if (preview)
            preview->reject();
    });
    print->trigger();
    EXPECT_TRUE(previewShown);
    EXPECT_EQ(f.ui.statuses.front(), QStringLiteral("Printing Configuration"));
    EXPECT_EQ(f.melde1(), QStringLiteral("Drucken abgebrochen"));
}

TEST(PrintWindow, previewsPrintButton_printsThroughThePrintDialog)
{
    PrintWindow f;
    PrintPreview preview(BuildPrintout(f.ctx, kPrintDate), f.w.get());
    const QString path = f.tmp.filePath(QStringLiteral("printed.pdf"));
    preview.printer().setOutputFileName(path);
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        QAction *print = nullptr;
        for (QAction *a : preview.dialog().findChildren<QAction *>()) {
            if (a->text() == QLatin1String("Print"))
                print = a;
        }
        if (!print) {
            preview.dialog().reject();
            return;
        }
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            dialogShown = dialog != nullptr;
            if (dialog)
                dialog->accept();
        });
        print->trigger();
    });
    const PrintOutcome out = preview.exec();
    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(out.kind, PrintOutcome::Kind::Done);
    EXPECT_EQ(out.detail, path);
    EXPECT_EQ(FileStart(path), QByteArray("%PDF-"));
}

} // namespace
} // namespace meridan::test
