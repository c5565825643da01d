// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window: the HTML help pages in a browser with back, forward and
// contents. One window, reused; it follows links between the pages.
#include <QWidget>

class QTextBrowser;
class QPushButton;

namespace meridan {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);
    // Makes `indexPage` the contents page and shows `page` (empty: the
    // contents); the buttons speak the language of the pages.
    void showPage(const QString &indexPage, const QString &title, bool german, const QString &page = {});
    QString currentPage() const;

private:
    QTextBrowser *browser_ = nullptr;
    QPushButton *back_ = nullptr;
    QPushButton *forward_ = nullptr;
    QPushButton *home_ = nullptr;
};

} // namespace meridan
