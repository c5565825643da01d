// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/form6_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace meridan {

namespace {

QLabel *Value(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFrameShape(QFrame::StyledPanel);
    l->setMinimumWidth(60);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QLabel *Caption(const char *name, const char *text, QWidget *parent)
{
    auto *l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

Form6Window::Form6Window(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form6"));
    auto *frames = new QHBoxLayout;
    for (int byte = 0; byte < 3; ++byte) {
        auto *frame = new QGroupBox(QStringLiteral("Byte %1").arg(byte + 1), this);
        frame->setObjectName(QStringLiteral("Frame%1").arg(byte + 1));
        auto *col = new QVBoxLayout(frame);
        for (int bit = 7; bit >= 0; --bit) {
            auto *l = new QLabel(DiagBitName(byte, bit), frame);
            // Label2 carries bit 7, Label9 bit 0; the index is the byte.
            l->setObjectName(QStringLiteral("Label%1_%2").arg(9 - bit).arg(byte));
            l->setEnabled(false);
            col->addWidget(l);
            bits_[std::size_t(byte)][std::size_t(bit)] = l;
        }
        col->addStretch(1);
        frames->addWidget(frame);
    }

    auto *values = new QGridLayout;
    values->addWidget(Caption("MasterAdr", "Master Addres:", this), 0, 0);
    values->addWidget(tMasterAdr_ = Value("TMasterAdr", this), 0, 1);
    values->addWidget(Caption("IdentNr", "Ident Number", this), 1, 0);
    values->addWidget(tIdentNr_ = Value("TidentNr", this), 1, 1);
    values->addWidget(Caption("LExtData", "Extended Data", this), 2, 0);
    values->addWidget(tExtData_ = Value("TExtData", this), 2, 1);
    tExtData_->setWordWrap(true);
    values->setColumnStretch(1, 1);

    tExplain_ = Value("TExplain", this);
    tExplain_->setWordWrap(true);
    tExplain_->setMinimumWidth(420);
    tExplain_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(frames);
    outer->addLayout(values);
    outer->addWidget(tExplain_, 1);
    showView();
}

QLabel *Form6Window::bitLabel(int byte, int bit) const
{
    if (byte < 0 || byte > 2 || bit < 0 || bit > 7)
        return nullptr;
    return bits_[std::size_t(byte)][std::size_t(bit)];
}

void Form6Window::showView()
{
    setWindowTitle(view.caption);
    for (int byte = 0; byte < 3; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            bits_[std::size_t(byte)][std::size_t(bit)]->setEnabled(view.bits[std::size_t(byte)][std::size_t(bit)]);
    tMasterAdr_->setText(view.masterAdr);
    tIdentNr_->setText(view.identNr);
    tExtData_->setText(view.extData);
    tExplain_->setText(view.explanation.join(QLatin1Char('\n')));
    tExplain_->setVisible(!view.explanation.isEmpty());
    FitContent();
}

void Form6Window::FitContent()
{
    // The explanation and the extended data wrap: their height depends on
    // the width, which a window's minimum size does not follow by itself,
    // so the bit labels above them were squeezed. The minimum is the height
    // the content needs at the narrowest width.
    QLayout *l = layout();
    l->invalidate();
    l->activate();
    const int w = l->totalMinimumSize().width();
    const int h = std::max(l->totalMinimumSize().height(), l->hasHeightForWidth() ? l->totalHeightForWidth(w) : 0);
    setMinimumSize(w, h);
    if (width() < w || height() < h)
        resize(std::max(width(), w), std::max(height(), h));
}

} // namespace meridan
