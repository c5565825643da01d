#include "app/main_window.h"

#include "config/listline.h"

#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace meridan {

MainWindow::MainWindow(Context &ctx, QWidget *parent) : QMainWindow(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("Form1"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    list1_ = new QListWidget(central);
    list1_->setObjectName(QStringLiteral("List1"));
    melde1_ = new QLineEdit(central);
    melde1_->setObjectName(QStringLiteral("Melde1"));
    melde1_->setReadOnly(true);
    layout->addWidget(list1_);
    layout->addWidget(melde1_);
    setCentralWidget(central);
    SetLanguageTexts();
    UpdateListe();
}

void MainWindow::SetLanguageTexts()
{
    setWindowTitle(ctx_.tr(QStringLiteral("ZEL PROFIBUS-DP Configurator V"), QStringLiteral("ZEL PROFIBUS-DP Konfigurator V"))
                   + QStringLiteral(MERIDAN_VERSION));
    melde1_->clear();
}

void MainWindow::UpdateListe()
{
    list1_->clear();
    list1_->addItems(ListeLines(ctx_.st));
}

} // namespace meridan
