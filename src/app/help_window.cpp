// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace meridan {

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);
    back_ = new QPushButton(this);
    back_->setObjectName(QStringLiteral("HelpBack"));
    forward_ = new QPushButton(this);
    forward_->setObjectName(QStringLiteral("HelpForward"));
    home_ = new QPushButton(this);
    home_->setObjectName(QStringLiteral("HelpHome"));
    back_->setShortcut(QKeySequence::Back);
    forward_->setShortcut(QKeySequence::Forward);

    auto *bar = new QHBoxLayout;
    bar->addWidget(back_);
    bar->addWidget(forward_);
    bar->addWidget(home_);
    bar->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);

    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(home_, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
    back_->setEnabled(false);
    forward_->setEnabled(false);
    resize(720, 560);
}

void HelpWindow::showPage(const QString &indexPage, const QString &title, bool german, const QString &page)
{
    setWindowTitle(title);
    back_->setText(german ? QStringLiteral("< Zurück") : QStringLiteral("< Back"));
    forward_->setText(german ? QStringLiteral("Vor >") : QStringLiteral("Forward >"));
    home_->setText(german ? QStringLiteral("Inhalt") : QStringLiteral("Contents"));
    // The history starts afresh at the contents page: clearHistory() keeps
    // the page shown at that moment as the first entry (and as "home"), and
    // after a change of language that is the page in the other language.
    browser_->setSource(QUrl::fromLocalFile(indexPage));
    browser_->clearHistory();
    if (!page.isEmpty() && page != indexPage)
        browser_->setSource(QUrl::fromLocalFile(page));
}

QString HelpWindow::currentPage() const
{
    return browser_->source().toLocalFile();
}

} // namespace meridan
