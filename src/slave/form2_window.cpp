// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tooltips_window.h"
#include "slave/form2_window.h"

#include "core/context.h"
#include "iec/form4_window.h"
#include "slave/form7_window.h"
#include "slave/gsd_catalogue_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace meridan {

namespace {

// The module drop-down fills itself from the GSD tables when it opens.
class ModulCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> dropDown;
    void showPopup() override
    {
        if (dropDown)
            dropDown();
        QComboBox::showPopup();
    }
};

QLabel *MakeLabel(const char *name, const QString &text, QWidget *parent, QWidget *buddy = nullptr)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

// The size the user last gave the editor, for the next time it opens.
QSize rememberedSize;

// A field at least as wide as `chars` digits, so that its value never shows cut off.
void FitDigits(QLineEdit *e, int chars)
{
    const int width = e->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 16;
    e->setMinimumWidth(width);
    e->setMaximumWidth(qMax(e->maximumWidth() == QWIDGETSIZE_MAX ? width : e->maximumWidth(), width));
}

QPushButton *MakeButton(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

QLineEdit *Form2Window::Field(const char *name, QWidget *parent, bool readOnly)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(readOnly);
    return e;
}

Form2Window::Form2Window(Context &ctx, QWidget *parent, std::function<iface::Link *()> board)
    : QDialog(parent), ctx_(ctx), editor_(ctx)
{
    editor_.board = std::move(board);
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("PROFIBUS-DP Slave Editor"));
    setModal(true);

    sa_ = Field("F2_SA", this);
    sa_->setMaximumWidth(50);
    name_ = Field("Text2", this);
    name_->setMaxLength(20);
    id_ = Field("F2_ID", this);
    id_->setMaximumWidth(70);
    vendor_ = Field("Hersteller", this, true);
    model_ = Field("Geraet", this, true);
    hw_ = Field("F2_HW", this, true);
    sw_ = Field("F2_SW", this, true);
    prm_ = Field("F2_Prm", this);
    cfg_ = Field("F2_cfg", this);
    inAdr_ = Field("F2_InAdr", this);
    inLn_ = Field("F2_InLn", this, true);
    in_ = Field("F2_In", this, true);
    outAdr_ = Field("F2_OutAdr", this);
    outLn_ = Field("F2_OutLn", this, true);
    out_ = Field("F2_Out", this, true);
    for (QLineEdit *e : {inAdr_, inLn_, outAdr_, outLn_})
        e->setMaximumWidth(60);
    watchdog_ = Field("Watchdog", this);
    watchdog_->setText(QStringLiteral("1000"));
    minTsdr_ = Field("minTsdr", this);
    group_ = Field("Group", this);
    sl_ = Field("F2_SL", this, true);
    for (QLineEdit *e : {watchdog_, minTsdr_, group_, sl_})
        e->setMaximumWidth(60);
    for (auto [e, digits] : {std::pair{sa_, 3}, {id_, 4}, {inAdr_, 4}, {inLn_, 3}, {outAdr_, 4}, {outLn_, 3},
                             {watchdog_, 5}, {minTsdr_, 3}, {group_, 3}, {sl_, 3}})
        FitDigits(e, digits);
    meldung_ = Field("Meldung", this, true);
    meldung_->setText(QStringLiteral("O.K."));

    // Station, name and device
    auto *top = new QGridLayout;
    top->addWidget(MakeLabel("Label1", QStringLiteral("Slave Station"), this, sa_), 0, 0);
    top->addWidget(sa_, 0, 1);
    top->addWidget(MakeLabel("Label13", QStringLiteral("Name"), this, name_), 0, 2);
    top->addWidget(name_, 0, 3);
    top->addWidget(MakeLabel("Label14", QStringLiteral("Ident"), this, id_), 0, 4);
    top->addWidget(id_, 0, 5);
    top->addWidget(MakeLabel("Label15", QString(), this, vendor_), 1, 0); // captions: SetTexts
    top->addWidget(vendor_, 1, 1, 1, 3);
    top->addWidget(MakeLabel("Label6", QStringLiteral("HW"), this, hw_), 1, 4);
    top->addWidget(hw_, 1, 5);
    top->addWidget(MakeLabel("Label16", QString(), this, model_), 2, 0);
    top->addWidget(model_, 2, 1, 1, 3);
    top->addWidget(MakeLabel("Label7", QStringLiteral("SW"), this, sw_), 2, 4);
    top->addWidget(sw_, 2, 5);
    top->addWidget(MakeLabel("Label2", QStringLiteral("Parameter"), this, prm_), 3, 0);
    top->addWidget(prm_, 3, 1, 1, 5);
    top->addWidget(MakeLabel("Label3", QStringLiteral("Configuration"), this, cfg_), 4, 0);
    top->addWidget(cfg_, 4, 1, 1, 5);
    top->setColumnStretch(3, 1);

    // Process data
    auto *io = new QGridLayout;
    io->addWidget(MakeLabel("Label4", QStringLiteral("Input"), this, inAdr_), 0, 0);
    io->addWidget(inAdr_, 0, 1);
    io->addWidget(inLn_, 0, 2);
    io->addWidget(in_, 0, 3);
    io->addWidget(MakeLabel("Label5", QStringLiteral("Output"), this, outAdr_), 1, 0);
    io->addWidget(outAdr_, 1, 1);
    io->addWidget(outLn_, 1, 2);
    io->addWidget(out_, 1, 3);
    io->setColumnStretch(3, 1);

    // Bus values of the slave
    auto *bus = new QHBoxLayout;
    bus->addWidget(MakeLabel("Label9", QStringLiteral("Watchdog"), this, watchdog_));
    bus->addWidget(watchdog_);
    bus->addWidget(MakeLabel("Label10", QStringLiteral("ms"), this));
    bus->addSpacing(12);
    bus->addWidget(MakeLabel("Label11", QStringLiteral("minTsdr"), this, minTsdr_));
    bus->addWidget(minTsdr_);
    bus->addSpacing(12);
    bus->addWidget(MakeLabel("Label12", QStringLiteral("Group"), this, group_));
    bus->addWidget(group_);
    bus->addSpacing(12);
    label8_ = MakeLabel("Label8", QStringLiteral("Satzlänge"), this, sl_);
    bus->addWidget(label8_);
    bus->addWidget(sl_);
    bus->addStretch(1);

    // Modules and commands
    auto *modul = new ModulCombo(this);
    modul->setObjectName(QStringLiteral("Modul"));
    modul->setEditable(true);
    modul->lineEdit()->setReadOnly(true);
    modul->setInsertPolicy(QComboBox::NoInsert);
    modul->setEditText(QStringLiteral("Modul"));
    modul->setEnabled(false);
    modul->dropDown = [this] { Modul_DropDown(); };
    modul_ = modul;
    modList_ = new QListWidget(this);
    modList_->setObjectName(QStringLiteral("ModList"));
    modList_->installEventFilter(this);
    auto *modules = new QVBoxLayout;
    modules->addWidget(modul_);
    modules->addWidget(modList_, 1);

    // Every button has a mnemonic (Alt + letter); "Neu" follows the language.
    auto *setGP = MakeButton("SetGP", QStringLiteral("Set &Head Prm"), this);
    auto *cancel = MakeButton("Cancel", QStringLiteral("Cance&l"), this);
    auto *copy = MakeButton("CopyCom", QStringLiteral("&Copy"), this);
    auto *vars = MakeButton("Variablen", QStringLiteral("Edit &Vars"), this);
    auto *gsd = MakeButton("GSD", QStringLiteral("&GSD"), this);
    auto *neu = MakeButton("Neu", QString(), this);
    auto *autoAddr = MakeButton("F2_AutoAddr", QStringLiteral("&AutoAddr"), this);
    auto *disp = MakeButton("F2_Disp", QStringLiteral("&Recall"), this);
    auto *exit = MakeButton("F2_Exit", QStringLiteral("&OK"), this);
    auto *buttons = new QGridLayout;
    buttons->addWidget(gsd, 0, 0);
    buttons->addWidget(setGP, 0, 1);
    buttons->addWidget(neu, 1, 0);
    buttons->addWidget(disp, 1, 1);
    buttons->addWidget(autoAddr, 2, 0);
    buttons->addWidget(copy, 2, 1);
    buttons->addWidget(vars, 3, 0);
    buttons->setRowStretch(4, 1);
    buttons->addWidget(cancel, 5, 0);
    buttons->addWidget(exit, 5, 1);

    auto *lower = new QHBoxLayout;
    lower->addLayout(modules, 1);
    lower->addLayout(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(io);
    outer->addLayout(bus);
    outer->addLayout(lower, 1);
    outer->addWidget(meldung_);

    editor_.onMeldung = [this](const QString &t) { meldung_->setText(t); };
    // The fields are filled before a device file's error pauses the editor.
    editor_.onRecordReady = [this] { DisplaySlave(); };
    openForm7 = [this](const ExtSelection &sel) {
        Form7Window w(ctx_, sel, this);
        w.exec();
    };
    openVarEditor = [this] {
        iec::Form4Window w(ctx_, this);
        w.exec();
    };
    // The GSD button chooses from the catalogue; a station that has an ident
    // but no file yet sees the files of its ident first.
    editor_.chooseGsdFile = [this](const FileDialogSpec &spec) -> std::optional<QString> {
        GsdCatalogueDialog dialog(ctx_, spec, this);
        if (id_->text() != QLatin1String("0"))
            dialog.setFilter(id_->text().rightJustified(4, QLatin1Char('0')));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.chosen();
    };

    connect(sa_, &QLineEdit::textEdited, this, [this](const QString &t) { editor_.F2_SA_Change(t); });
    Committed(name_, [this] { name_->setText(editor_.Text2_LostFocus(name_->text())); });
    Committed(id_, [this] { editor_.F2_ID_LostFocus(id_->text()); });
    Committed(prm_, [this] { editor_.F2_Prm_LostFocus(prm_->text()); });
    Committed(cfg_, [this] { editor_.F2_cfg_LostFocus(cfg_->text()); });
    Committed(inAdr_, [this] { editor_.F2_InAdr_LostFocus(inAdr_->text()); });
    Committed(outAdr_, [this] { editor_.F2_OutAdr_LostFocus(outAdr_->text()); });
    Committed(watchdog_, [this] { editor_.Watchdog_LostFocus(watchdog_->text()); });
    connect(minTsdr_, &QLineEdit::textEdited, this, [this](const QString &t) { editor_.minTsdr_Change(t); });
    connect(group_, &QLineEdit::textEdited, this, [this](const QString &t) { editor_.Group_Change(t); });
    connect(modul_, &QComboBox::activated, this, &Form2Window::Modul_Click);
    connect(modList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { ModList_Click(modList_->row(item)); });
    connect(setGP, &QPushButton::clicked, this, &Form2Window::SetGP_Click);
    connect(gsd, &QPushButton::clicked, this, [this] {
        editor_.GSD_Click(id_->text(), name_->text());
        DisplaySlave();
    });
    connect(neu, &QPushButton::clicked, this, [this] {
        editor_.Neu_Click(sa_->text());
        DisplaySlave();
    });
    connect(disp, &QPushButton::clicked, this, [this] {
        editor_.F2_Disp_Click();
        DisplaySlave();
    });
    connect(autoAddr, &QPushButton::clicked, this, [this] {
        editor_.F2_AutoAddr_Click();
        DisplaySlave();
    });
    connect(copy, &QPushButton::clicked, this, [this] {
        editor_.CopyCom_Click();
        DisplaySlave();
    });
    connect(exit, &QPushButton::clicked, this, [this] {
        editor_.F2_Exit_Click(sa_->text());
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &Form2Window::reject);
    connect(vars, &QPushButton::clicked, this, [this] {
        if (openVarEditor)
            openVarEditor();
        DisplaySlave();
    });

    SetTexts();
    resize(rememberedSize.isValid() ? rememberedSize : sizeHint());
}

void Form2Window::hideEvent(QHideEvent *event)
{
    rememberedSize = size();
    QDialog::hideEvent(event);
}

void Form2Window::Committed(QLineEdit *edit, const std::function<void()> &commit)
{
    // Only what the user typed is committed; passing through a field leaves
    // the record alone.
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, commit] {
        if (busy_ || !edit->isModified())
            return;
        busy_ = true;
        edit->setModified(false);
        commit();
        busy_ = false;
        DisplaySlave();
    });
}

void Form2Window::SetTexts()
{
    static const Tip kTips[] = {
        {"Label1", "FDL-Adr. vom Slave", "FDL-Adr. of Slave"},
        {"Text2", "Frei definierbarer Slave Name, max. 20 Zeichen", "User defined Slave name, max. 20 Char"},
        {"F2_ID", "ID-Nummer (Hex)", "ID-number (Hex)"},
        {"Hersteller", "Hersteller (von GSD-Datei)", "Manufacturer (from GSD-file)"},
        {"Geraet", "Type (von GSD-Datei)", "Type (from GSD-file)"},
        {"Label6", "HW-Version (von GSD-Datei)", "HW-Version (from GSD-file)"},
        {"Label7", "SW-Version (von GSD-Datei)", "SW-Version (from GSD-file)"},
        {"Label2", "User-Parameter, max. 64 Bytes (Hex)getrennt durch Leerzeichen",
         "User-Parameter, max. 64 Bytes (Hex)seperated by Spaces"},
        {"Label3", "Cfg-Bytes, max. 64 Bytes (Hex) getrennt durch Leerzeichen",
         "Cfg-Bytes, max. 64 Bytes (Hex) seperated by spaces"},
        {"Label4", "Adress-Offset von ersten Byte dieses Slave in dem I/O-DP-RAM (Hex)",
         "Adres offset of the first input byte of this slave within the I/O range (Hex)"},
        {"Label5", "Adress-Offset von ersten Byte dieses Slave in dem I/O-DP-RAM (Hex)",
         "Adres offset of the first input byte of this slave within the I/O range (Hex)"},
        {"Label11", "min. TSR von diesem Slave", "min. TSR of this slave"},
        {"Label12", "Wird bisher vom DPM1 nicht verwendet", "Group-code, not used by DPM1"},
        {"Label8", "Länge für diesen Slave-Record", "Length of the current slave record"},
        {"Neu", "Erzeugt leeren Slave-Record", "Prepears new slave record"},
        {"F2_Disp", "Setzt die Daten, wie sie beim öffnen des Fensters waren (Anfangszustand)",
         "Resset data to begin of Window"},
        {"F2_AutoAddr", "Automatische Berechnung des Adressoffsets der I/O-Daten",
         "Automatically input/output adressoffset calculation"},
        {"GSD", "Laden einer GSD-Datei", "Open GSD File"},
        {"CopyCom", "Kopiert Record an andere Profibusadresse", "Copies slave record to slave-adr.?"},
        {"Variablen", "IEC1131 Variablen-Editor", "IEC1131 variables editor"},
        {"Label9",
         "Slave-Watchdogzeit. Der Slave resetet, wenn der Master innerhalb dieser Zeit den Slave nicht "
         "anspricht. 0 = schaltet die Funktion aus",
         "Slave watchdog time. The slave switch to his reset state, if no master acess occours wthin this "
         "time. 0 disables this function"},
        {"F2_InLn", "Länge in Bytes", "Length of Bytes"},
        {"F2_OutLn", "Länge in Bytes", "Length of Bytes"},
        {"F2_Exit", "Speichern und zurück", "Save and Exit"},
    };
    ApplyTips(*this, ctx_, kTips);
    label8_->setText(ctx_.tr(QStringLiteral("record len"), QStringLiteral("Satzlänge")));
    findChild<QLabel *>(QStringLiteral("Label15"))->setText(ctx_.tr(QStringLiteral("Manufacturer"), QStringLiteral("Hersteller")));
    findChild<QLabel *>(QStringLiteral("Label16"))->setText(ctx_.tr(QStringLiteral("Device"), QStringLiteral("Gerät")));
    findChild<QPushButton *>(QStringLiteral("Neu"))->setText(ctx_.tr(QStringLiteral("&New"), QStringLiteral("&Neu")));
}

void Form2Window::Form_Activate()
{
    SetTexts();
    editor_.Form_Activate();
    DisplaySlave();
}

void Form2Window::DisplaySlave()
{
    const SlaveView v = editor_.DisplaySlave();
    const auto put = [](QLineEdit *e, const QString &text) {
        const QSignalBlocker block(e);
        e->setText(text); // also clears "modified"
        if (!e->hasFocus())
            e->setCursorPosition(0); // a narrow field shows the start of its text
    };
    put(sa_, v.station);
    put(id_, v.ident);
    put(watchdog_, v.watchdog);
    put(minTsdr_, v.minTsdr);
    put(group_, v.group);
    put(cfg_, v.cfg);
    put(sl_, v.recordLength);
    put(name_, v.name);
    put(prm_, v.prm);
    put(inAdr_, v.inAdr);
    put(inLn_, v.inLn);
    put(in_, v.in);
    put(outAdr_, v.outAdr);
    put(outLn_, v.outLn);
    put(out_, v.out);
    put(vendor_, v.vendor);
    put(model_, v.model);
    put(hw_, v.hw);
    put(sw_, v.sw);
    {
        const QSignalBlocker block(modul_);
        modul_->setEnabled(v.modulEnabled);
        if (v.modulEnabled)
            Modul_DropDown();
        else
            modul_->clear();
        modul_->setCurrentIndex(-1);
        modul_->setEditText(v.modulText);
    }
    modList_->clear();
    for (int i = 0; i < v.modules.size(); ++i) {
        auto *item = new QListWidgetItem(v.modules[i], modList_);
        item->setData(Qt::UserRole, v.moduleEntries[std::size_t(i)].listByte);
    }
    meldung_->setText(editor_.meldung());
}

void Form2Window::Modul_DropDown()
{
    const QSignalBlocker block(modul_);
    const QString shown = modul_->currentText();
    modul_->clear();
    for (const auto &[name, m] : editor_.Modul_DropDown())
        modul_->addItem(name, m);
    modul_->setCurrentIndex(-1);
    modul_->setEditText(shown);
}

void Form2Window::Modul_Click(int index)
{
    if (index < 0)
        return;
    editor_.Modul_Click(modul_->itemData(index).toInt());
    DisplaySlave();
}

void Form2Window::ModList_Click(int row)
{
    const ExtSelection sel = editor_.ModList_Click(row);
    if (sel.position < 1)
        return;
    if (openForm7)
        openForm7(sel);
    DisplaySlave();
}

void Form2Window::SetGP_Click()
{
    if (openForm7)
        openForm7(SlaveEditor::SetGP_Click());
    DisplaySlave();
}

void Form2Window::ModList_KeyDown()
{
    const int row = modList_->currentRow();
    if (row < 0)
        return;
    editor_.ModList_Delete(row);
    DisplaySlave();
}

bool Form2Window::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == modList_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        ModList_KeyDown();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Form2Window::reject()
{
    editor_.Cancel_Click();
    QDialog::reject();
}

void Form2Window::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (editor_.reloadFlag())
        Form_Activate();
    activated_ = true;
}

void Form2Window::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Back from a message box or the parameter editor: the record as it is now.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && activated_ && !busy_) {
        editor_.GetSlave();
        DisplaySlave();
    }
}

} // namespace meridan
