// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File → "Compare with board…": what differs between the configuration in
// memory and the one the board holds, one line per station.
#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;

namespace meridan {

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    // `lines` empty: the board holds the configuration in memory.
    CompareDialog(const QString &title, const QString &summary, const QStringList &lines, QWidget *parent = nullptr);

private:
    QLabel *summary_ = nullptr;
    QListWidget *list_ = nullptr;
};

} // namespace meridan
