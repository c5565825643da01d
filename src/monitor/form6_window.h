// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Form6, the station diagnosis window: the three station status bytes bit
// by bit (Label2..Label9, one per bit from bit 7 down, in a frame per byte),
// the address of the master that parameterised the station, its ident
// number and the extended diagnosis, and below them in words why the
// station reports this. It shows a DiagView; the main window
// fills that from each diagnosis message while the window is visible.
#include "monitor/diagnosis.h"

#include <QWidget>
#include <array>

class QLabel;

namespace meridan {

class Form6Window : public QWidget {
    Q_OBJECT
public:
    explicit Form6Window(QWidget *parent = nullptr);

    // What the window shows; showView() copies it into the labels.
    DiagView view;
    void showView();

    // Label2 (bit 7) .. Label9 (bit 0) of byte 0..2.
    QLabel *bitLabel(int byte, int bit) const;

private:
    // The minimum size holds every label whole, the wrapped ones included,
    // and the window grows to it.
    void FitContent();

    std::array<std::array<QLabel *, 8>, 3> bits_{};
    QLabel *tMasterAdr_ = nullptr;
    QLabel *tIdentNr_ = nullptr;
    QLabel *tExtData_ = nullptr;
    QLabel *tExplain_ = nullptr;
};

} // namespace meridan
