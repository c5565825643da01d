// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_prompts_window.h"

#include "core/texts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace meridan {

QString QtFilter(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i];
    return out.join(QStringLiteral(";;"));
}

// Notes the field that is losing the focus: an entry is checked while it
// does, and the widget taking the focus over is already the focus widget.
class QtPrompts::FieldWatch : public QObject {
public:
    QPointer<QWidget> leaving;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut && watched->isWidgetType())
            leaving = static_cast<QWidget *>(watched);
        else if (event->type() == QEvent::FocusIn)
            leaving = nullptr;
        return false;
    }
};

QtPrompts::QtPrompts(QWidget *parent) : parent_(parent), watch_(new FieldWatch)
{
    QCoreApplication::instance()->installEventFilter(watch_);
}

QtPrompts::~QtPrompts()
{
    delete watch_;
}

QWidget *QtPrompts::focusField() const
{
    QWidget *field = watch_->leaving ? watch_->leaving.data() : QApplication::focusWidget();
    return field && field->isVisible() ? field : nullptr;
}

int QtPrompts::message(const QString &text, const QString &title, Icon icon, int buttons)
{
    // The box belongs to the window it speaks about: one from the non-modal
    // master editor stays over that editor.
    const QPointer<QWidget> field = focusField();
    QMessageBox box(field ? field->window() : parent_.data());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::None: break;
    }
    // Qt's own button texts are English only: each button says its word in
    // the language in force.
    const bool german = language && IsGerman(*language);
    struct Kind {
        Button button;
        QMessageBox::StandardButton standard;
        const char *english;
        const char *german;
    };
    static const Kind kinds[] = {
        {Store, QMessageBox::Save, "&Save", "&Speichern"},   {Discard, QMessageBox::Discard, "&Discard", "&Verwerfen"},
        {Yes, QMessageBox::Yes, "&Yes", "&Ja"},              {No, QMessageBox::No, "&No", "&Nein"},
        {Ok, QMessageBox::Ok, "OK", "OK"},                   {Cancel, QMessageBox::Cancel, "Cancel", "Abbrechen"},
    };
    QMessageBox::StandardButtons std;
    for (const Kind &k : kinds)
        if (buttons & k.button)
            std |= k.standard;
    box.setStandardButtons(std ? std : QMessageBox::Ok);
    for (const Kind &k : kinds)
        if (QAbstractButton *b = box.button(k.standard))
            b->setText(QString::fromUtf8(german ? k.german : k.english));
    // A message box in the middle of a bus operation shows the normal cursor.
    const bool busy = busyDepth_ > 0;
    if (busy)
        QApplication::restoreOverrideCursor();
    const int r = box.exec();
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (field) {
        field->activateWindow();
        field->setFocus(Qt::OtherFocusReason); // back to the entry the box was about
    }
    switch (r) {
    case QMessageBox::Cancel: return Cancel;
    case QMessageBox::Yes: return Yes;
    case QMessageBox::No: return No;
    case QMessageBox::Save: return Store;
    case QMessageBox::Discard: return Discard;
    default: return Ok;
    }
}

std::optional<QString> QtPrompts::input(const QString &prompt, const QString &title, const QString &preset)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title, prompt, QLineEdit::Normal, preset, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompts::openFile(const FileDialogSpec &spec)
{
    QFileDialog dlg(parent_, spec.title, spec.fileName.isEmpty() ? spec.initialDir : spec.fileName, QtFilter(spec.filter));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(spec.defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}

std::optional<QString> QtPrompts::saveFile(const FileDialogSpec &spec)
{
    QFileDialog dlg(parent_, spec.title, spec.fileName.isEmpty() ? spec.initialDir : spec.fileName, QtFilter(spec.filter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(spec.defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}

void QtPrompts::setBusy(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QApplication::restoreOverrideCursor();
    }
}

void QtPrompts::statusChanged(const QString &text)
{
    if (onStatus)
        onStatus(text);
}

void QtPrompts::listChanged()
{
    if (onList)
        onList();
}

} // namespace meridan
