// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box: the program's caption and version.
#include <QDialog>

namespace meridan {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(const QString &caption, bool german, QWidget *parent = nullptr);
};

} // namespace meridan
