// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tooltips_window.h"
#include "master/form3_window.h"

#include "core/context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace meridan {

namespace {

QLabel *MakeLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

struct Row {
    MasterField field;
    const char *label;
    const char *caption;
    const char *unitName; // nullptr: no unit label
    const char *unit;
};

// Label names follow the window's design: the tooltips hang on them.
constexpr Row kFdlRows[] = {
    {MasterField::Adr, "Label10", "Station Adr", nullptr, nullptr},
    {MasterField::TSL, "Label1", "Slot-Time", "L17", "Tbit"},
    {MasterField::MinT, "Label2", "Tsdr  min", "L18", "Tbit"},
    {MasterField::MaxT, "Label3", "max", "L19", "Tbit"},
    {MasterField::Tqui, "Label4", "Tqui", "L20", "Tbit"},
    {MasterField::Tset, "Label5", "Tset", "L21", "Tbit"},
    {MasterField::TRT, "Label6", "Target-Rotation-Time", "Label19", "Tbit"},
    {MasterField::Gap, "Label7", "Gap", nullptr, nullptr},
    {MasterField::HSA, "Label8", "Highest Station Addr", nullptr, nullptr},
    {MasterField::MRL, "Label9", "Max Retry Limit", nullptr, nullptr},
};
constexpr Row kDpRows[] = {
    {MasterField::MinS, "Label11", "Min Slave Interval", "L22", "ms"},
    {MasterField::Poll, "Label12", "Poll Timeout", "L23", "ms"},
    {MasterField::DCT, "Label13", "Data Control Time", "L24", "ms"},
};

} // namespace

Form3Window::Form3Window(Context &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), editor_(ctx)
{
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose); // the close box throws the edits away with the window

    auto addRows = [this](QGridLayout *grid, QWidget *frame, const auto &rows, int firstRow) {
        int r = firstRow;
        for (const Row &row : rows) {
            QLabel *label = MakeLabel(row.label, QString::fromLatin1(row.caption), frame);
            auto *edit = new QLineEdit(frame);
            edit->setObjectName(QString::fromLatin1(RuleFor(row.field).control));
            edit->setMinimumWidth(90);
            label->setBuddy(edit);
            fields_[std::size_t(row.field)] = edit;
            grid->addWidget(label, r, 0);
            grid->addWidget(edit, r, 1);
            if (row.unitName) {
                QLabel *unit = MakeLabel(row.unitName, QString::fromLatin1(row.unit), frame);
                grid->addWidget(unit, r, 2);
                if (row.field == MasterField::TSL)
                    l17_ = unit;
                if (row.field == MasterField::TRT)
                    label19_ = unit;
            }
            const MasterField f = row.field;
            connect(edit, &QLineEdit::editingFinished, this, [this, f] { FieldLostFocus(f); });
            ++r;
        }
    };

    // FDL parameters
    auto *frame1 = new QGroupBox(QStringLiteral("FDL-Parameter"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto *fdl = new QGridLayout(frame1);
    fdl->addWidget(MakeLabel("Label14", QStringLiteral("Baudrate"), frame1), 0, 0);
    combo1_ = new QComboBox(frame1);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(true);
    combo1_->lineEdit()->setReadOnly(true);
    combo1_->setInsertPolicy(QComboBox::NoInsert);
    combo1_->addItems(BaudDropDownTexts());
    combo1_->lineEdit()->installEventFilter(this); // the list opens from the keyboard too
    fdl->addWidget(combo1_, 0, 1);
    ms_ = new QCheckBox(QStringLiteral("ms"), frame1);
    ms_->setObjectName(QStringLiteral("ms"));
    fdl->addWidget(ms_, 0, 2);
    addRows(fdl, frame1, kFdlRows, 1);
    fdl->setColumnStretch(1, 1);

    // DP parameters
    auto *frame3 = new QGroupBox(QStringLiteral("DP-Parameter"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto *dp = new QGridLayout(frame3);
    addRows(dp, frame3, kDpRows, 0);
    dp->setColumnStretch(1, 1);

    // Options and commands
    auto *frame2 = new QGroupBox(QStringLiteral("Options"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto *opt = new QVBoxLayout(frame2);
    autoclear_ = new QCheckBox(QStringLiteral("AutoClear"), frame2);
    autoclear_->setObjectName(QStringLiteral("Autoclear"));
    recall_ = new QPushButton(QStringLiteral("Recall"), frame2);
    recall_->setObjectName(QStringLiteral("Recall"));
    setBus_ = new QPushButton(QStringLiteral("Default"), frame2);
    setBus_->setObjectName(QStringLiteral("SetBus"));
    exit_ = new QPushButton(QStringLiteral("OK"), frame2);
    exit_->setObjectName(QStringLiteral("Exit"));
    exit_->setDefault(false);
    exit_->setAutoDefault(false);
    opt->addWidget(autoclear_);
    opt->addStretch(1);
    opt->addWidget(setBus_);
    opt->addWidget(recall_);
    opt->addWidget(exit_);

    meldung_ = new QLabel(QStringLiteral("O.K"), this);
    meldung_->setObjectName(QStringLiteral("Meldung"));
    meldung_->setFrameShape(QFrame::StyledPanel);
    meldung_->setFrameShadow(QFrame::Sunken);

    check_ = new QLabel(this);
    check_->setObjectName(QStringLiteral("F3_Check"));
    check_->setWordWrap(true);

    auto *right = new QVBoxLayout;
    right->addWidget(frame3);
    right->addWidget(frame2, 1);
    auto *top = new QHBoxLayout;
    top->addWidget(frame1, 3);
    top->addLayout(right, 2);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addWidget(meldung_);
    outer->addWidget(check_);

    connect(combo1_, &QComboBox::activated, this, &Form3Window::Combo1_Click);
    connect(ms_, &QCheckBox::clicked, this, [this](bool on) {
        editor_.SetMs(on);
        DisplayMaster();
    });
    connect(autoclear_, &QCheckBox::clicked, this, [this](bool on) { editor_.SetAutoclear(on); });
    connect(setBus_, &QPushButton::clicked, this, &Form3Window::SetBus_Click);
    connect(recall_, &QPushButton::clicked, this, &Form3Window::Recall_Click);
    connect(exit_, &QPushButton::clicked, this, &Form3Window::Exit_Click);

    SetTexts();
    DisplayMaster();
}

void Form3Window::SetTexts()
{
    static const Tip kTips[] = {
        {"Label10", "FDL-Adr. vom Master", "FDL-Adr. of Master"},
        {"ms", "Umschaltung tbit/ms", "Switch between tbit/ms scaling"},
        {"Label1", "TSL, in Tbit, oder in ms, wenn \"ms\" angekreuzt ist", "TSL, in Tbit, or in ms while \"ms\" is ticked"},
        {"Label2", "Tsdrmin vom Master", "Tsdrmin of Master"},
        {"Label3", "Max. Antwortzeit vom Slave (siehe GSD-Datei)", "Max. answer Time of the Slave (see GSD-File)"},
        {"Label4", "Repeater Umschaltzeit. Default = 0", "Quit time for modulartor/repeater. Default = 0"},
        {"Label5", "Auslösezeit nach Interrupt. Default = 1", "Setup time. Default = 1"},
        {"Label6", "Soll Token Umlaufzeit. Zeit, innerhalb der Token umlaufen soll",
         "Target token rotation time: the time within which the token should circulate"},
        {"Label7", "GAP-Update Faktor", "GAP update faktor"},
        {"Label8", "Höchste FDL-Adresse von anderen Mastern", "Highest FDL address of other Masters"},
        {"Label9", "Default = 1", "Default = 1"},
        {"Label11", "Min. Zeitintervall für den Slave Listenumlauf",
         "Minimal time interval between two Slave scanning cycles"},
        {"Label12", "Nicht benutzt", "Not used"},
        {"Label13", "Der Master sendet zyklisch seinen Zustand innerhalb dieser Zeit allen Slaves",
         "The Master sends his operating mode within this time to all Slaves"},
        {"SetBus", "Setzt Master auf Default-Werte", "Sets default values"},
        {"Recall", "Rücksetzen auf Anfangswerte", "Recall all window-open data"},
        {"Autoclear", "Automatische Fehlerreaktion aus-/einschalten",
         "System error reaction (failure of a DP-Slave off/on"},
    };
    ApplyTips(*this, ctx_, kTips);
    setWindowTitle(ctx_.tr(QStringLiteral("PROFIBUS-DP Master Class 1 - Setup"), QStringLiteral("PROFIBUS-DP Master Klasse 1 - Setup")));
    ShowCheck();
}

void Form3Window::ShowCheck()
{
    const BusCheck check = CheckBus(ctx_, editor_.record(), files_);
    check_->setText(BusCheckLine(ctx_, check));
    check_->setToolTip(BusCheckReport(ctx_, check).join(QLatin1Char('\n')));
}

void Form3Window::Form_Activate()
{
    files_.clear(); // slaves or their device files may have changed meanwhile
    SetTexts();
    if (!editor_.Edited())
        editor_.Load();
    DisplayMaster();
}

void Form3Window::DisplayMaster()
{
    const MasterView v = editor_.Display();
    for (int i = 0; i < kMasterFieldCount; ++i)
        fields_[std::size_t(i)]->setText(v.fields[std::size_t(i)]); // also clears "modified"
    {
        const QSignalBlocker block(combo1_);
        combo1_->setEditText(v.baud);
    }
    l17_->setText(v.tslUnit);
    label19_->setText(v.trtUnit);
    ms_->setChecked(editor_.Ms());
    autoclear_->setChecked(v.autoclear);
    ShowCheck();
}

void Form3Window::FieldLostFocus(MasterField f)
{
    QLineEdit *edit = field(f);
    // Only what the user typed is committed: passing through a field must not
    // rewrite it (a slot time shown in ms would be read back as bit times).
    if (committing_ || !edit->isModified())
        return;
    committing_ = true;
    edit->setModified(false);
    editor_.Commit(f, edit->text());
    committing_ = false;
    DisplayMaster();
}

bool Form3Window::eventFilter(QObject *watched, QEvent *event)
{
    // The rate is chosen, never typed: Space, F4 and Alt+Down open the list.
    if (watched == combo1_->lineEdit() && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space || key->key() == Qt::Key_F4
            || (key->key() == Qt::Key_Down && key->modifiers() & Qt::AltModifier)) {
            combo1_->showPopup();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form3Window::Combo1_Click(int index)
{
    editor_.ChooseBaud(index);
    DisplayMaster();
}

void Form3Window::SetBus_Click()
{
    meldung_->setText(editor_.Default());
    DisplayMaster();
}

void Form3Window::Recall_Click()
{
    editor_.Load();
    DisplayMaster();
}

void Form3Window::Exit_Click()
{
    editor_.Ok();
    hide();
    Q_EMIT stored();
}

void Form3Window::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !committing_)
        Form_Activate();
}

void Form3Window::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

} // namespace meridan
