// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/io_window.h"

#include "core/context.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace meridan {

namespace {

// A bit that is set lights up; a forced output gets a frame of its own.
const char *const kStyle = "QCheckBox[lit=\"true\"] { background-color: #8fdc8f; }"
                           "QCheckBox[forced=\"true\"], QLineEdit[forced=\"true\"] { border: 2px solid #e07800; }"
                           "QCheckBox[stale=\"true\"], QLabel[stale=\"true\"], QLineEdit[stale=\"true\"] { color: gray; }";

// Sets a style property, repolishing only when it changed.
void Mark(QWidget *w, const char *property, bool on)
{
    if (w->property(property).toBool() == on)
        return;
    w->setProperty(property, on);
    w->style()->unpolish(w);
    w->style()->polish(w);
}

} // namespace

IoWindow::IoWindow(Context &ctx, Commissioning &com, const Record &rec, QWidget *parent)
    : QDialog(parent), ctx_(ctx),
      test_(std::make_unique<io::IoTest>(ctx, com, io::StationModel(ctx, rec, com.connection().link().map())))
{
    setObjectName(QStringLiteral("IoTest"));
    setStyleSheet(QString::fromLatin1(kStyle));
    setSizeGripEnabled(true);
    poll_ = std::make_unique<io::IoPoll>(*test_);
    Build();
    test_->changed = [this] { showView(); };
    showView();
}

IoWindow::~IoWindow()
{
    poll_->stop();
    test_->changed = nullptr;
}

int IoWindow::intervalMs() const
{
    return test_->nextIntervalMs(poll_->baseMs());
}

void IoWindow::Build()
{
    const io::IoView view = io::MakeIoView(ctx_, *test_, intervalMs());
    auto *outer = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("IoStatus"));
    status_->setWordWrap(true);
    outer->addWidget(status_);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *inner = new QWidget(scroll);
    auto *rows = new QVBoxLayout(inner);
    for (const io::IoModuleView &m : view.modules) {
        auto *box = new QGroupBox(m.title, inner);
        auto *grid = new QGridLayout(box);
        int row = 0, col = 0;
        bool lastWasBit = false;
        for (const io::IoChannelView &cv : m.channels) {
            const io::IoChannel &c = *cv.channel;
            if (!c.word) {
                // Eight bits a row, a new row for each byte and each direction.
                if (lastWasBit && (c.k % 8 == 0 || col >= 8)) {
                    ++row;
                    col = 0;
                }
                auto *bit = new QCheckBox(cv.caption, box);
                bit->setObjectName(cv.name);
                bit->setToolTip(cv.tip);
                if (c.output()) {
                    connect(bit, &QCheckBox::clicked, this, [this, &c] { Bit_Click(c); });
                } else {
                    // Inputs show what the slave reports; a click changes nothing.
                    bit->setAttribute(Qt::WA_TransparentForMouseEvents);
                    bit->setFocusPolicy(Qt::NoFocus);
                    connect(bit, &QCheckBox::clicked, this, &IoWindow::showView);
                }
                grid->addWidget(bit, row, col++);
                bits_[cv.name] = bit;
                lastWasBit = true;
                continue;
            }
            if (lastWasBit || col > 0)
                ++row;
            col = 0;
            lastWasBit = false;
            auto *label = new QLabel(cv.caption, box);
            label->setToolTip(cv.tip);
            grid->addWidget(label, row, 0);
            if (c.output()) {
                auto *edit = new QLineEdit(box);
                edit->setObjectName(cv.name);
                edit->setToolTip(cv.tip + ctx_.tr(QStringLiteral("\nType a value (decimal or 0x hex) and press Return to force it."),
                                                  QStringLiteral("\nWert (dezimal oder 0x hex) eingeben, Return setzt ihn.")));
                connect(edit, &QLineEdit::returnPressed, this, [this, &c, edit] { Word_Return(c, edit); });
                grid->addWidget(edit, row, 1, 1, 3);
                words_[cv.name] = edit;
            } else {
                auto *value = new QLabel(box);
                value->setObjectName(cv.name);
                value->setTextInteractionFlags(Qt::TextSelectableByMouse);
                grid->addWidget(value, row, 1, 1, 3);
                values_[cv.name] = value;
            }
            ++row;
        }
        grid->setColumnStretch(8, 1);
        rows->addWidget(box);
    }
    rows->addStretch(1);
    scroll->setWidget(inner);
    outer->addWidget(scroll, 1);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("IoMessage"));
    message_->setWordWrap(true);
    outer->addWidget(message_);

    auto *buttons = new QHBoxLayout;
    release_ = new QPushButton(ctx_.tr(QStringLiteral("Release all"), QStringLiteral("Alle freigeben")), this);
    release_->setObjectName(QStringLiteral("ReleaseAll"));
    release_->setToolTip(ctx_.tr(QStringLiteral("Give every forced output back what it held before the first force"),
                                 QStringLiteral("Jedem gesetzten Ausgang zurückgeben, was er vor dem ersten Setzen hatte")));
    connect(release_, &QPushButton::clicked, this, &IoWindow::ReleaseAll_Click);
    auto *close = new QPushButton(ctx_.tr(QStringLiteral("Close"), QStringLiteral("Schließen")), this);
    close->setObjectName(QStringLiteral("CloseIo"));
    close->setAutoDefault(false);
    release_->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(release_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    outer->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(520, 360)));
}

void IoWindow::showView()
{
    const io::IoView view = io::MakeIoView(ctx_, *test_, intervalMs());
    setWindowTitle(view.caption);
    status_->setText(view.status);
    release_->setEnabled(view.anyForced);
    for (const io::IoModuleView &m : view.modules)
        for (const io::IoChannelView &cv : m.channels) {
            if (const auto b = bits_.find(cv.name); b != bits_.end()) {
                QCheckBox *bit = b->second;
                bit->setChecked(cv.value == 1);
                bit->setEnabled(cv.value.has_value());
                if (cv.channel->output())
                    bit->setFocusPolicy(cv.editable ? Qt::StrongFocus : Qt::NoFocus);
                Mark(bit, "lit", cv.lit && !view.stale);
                Mark(bit, "forced", cv.forced);
                Mark(bit, "stale", view.stale);
                continue;
            }
            if (const auto w = words_.find(cv.name); w != words_.end()) {
                QLineEdit *edit = w->second;
                // What the person is typing stays until Return.
                if (!(edit->hasFocus() && edit->isModified()))
                    edit->setText(cv.valueText);
                edit->setReadOnly(!cv.editable);
                Mark(edit, "forced", cv.forced);
                Mark(edit, "stale", view.stale);
                continue;
            }
            if (const auto l = values_.find(cv.name); l != values_.end()) {
                l->second->setText(cv.valueText);
                Mark(l->second, "stale", view.stale);
            }
        }
}

void IoWindow::Report(const Outcome &out)
{
    // A refusal is said in the window; a question answered no says nothing.
    if (out.failure == Failure::Cancelled)
        return;
    message_->setText(out ? QString() : out.why);
}

void IoWindow::Bit_Click(const io::IoChannel &c)
{
    const std::optional<int> now = test_->value(c);
    Report(now ? test_->Force(c, *now ? 0 : 1) : Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("not read yet"), QStringLiteral("noch nicht gelesen"))));
    showView(); // the box shows the board's value, whatever the click did
}

void IoWindow::Word_Return(const io::IoChannel &c, QLineEdit *edit)
{
    const QString typed = edit->text().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    const std::optional<int> value = io::ParseChannelValue(c, typed);
    if (!value) {
        Report(Outcome::Fail(Failure::BadInput, ctx_.tr(QStringLiteral("%1: a word is 0..65535, -32768..-1 or 0x0..0xFFFF, not %2"),
                                                        QStringLiteral("%1: ein Wort ist 0..65535, -32768..-1 oder 0x0..0xFFFF, nicht %2"))
                                                    .arg(c.label(), edit->text())));
        return;
    }
    edit->setModified(false);
    Report(test_->Force(c, *value));
    showView();
}

void IoWindow::ReleaseAll_Click()
{
    Report(test_->ReleaseAll());
    showView();
}

void IoWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!poll_->active())
        poll_->start();
}

void IoWindow::done(int result)
{
    poll_->stop();
    const Outcome out = test_->Close();
    if (!out)
        message_->setText(out.why);
    QDialog::done(result);
}

} // namespace meridan
