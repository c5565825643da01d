// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/about_dialog.h"
#include "app/compare_dialog.h"
#include "app/form5_dialog.h"
#include "app/help.h"
#include "app/help_window.h"
#include "core/settings.h"
#include "config/startup.h"
#include "config/configfile.h"
#include "config/listline.h"
#include "config/configdiff.h"
#include "busops/commissioning.h"
#include "busops/eeprom.h"
#include "events/bus_watch.h"
#include "events/event_list.h"
#include "events/events_window.h"
#include "iface/hardware.h"
#include "iface/zelpci_cfg.h"
#include "io/io_window.h"
#include "master/form3_window.h"
#include "monitor/diagnosis.h"
#include "monitor/form6_window.h"
#include "report/print_dialog.h"
#include "slave/form2_window.h"
#include "slave/gsd_names.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QMenuBar>
#include <QScreen>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <map>

static void InitIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace meridan {

QIcon ProgramIcon()
{
    InitIconResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/icons/meridan-%1.png").arg(size);
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon.isNull() ? QIcon::fromTheme(QStringLiteral("meridan")) : icon;
}

namespace {

template <typename W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A check box that shows the master's state; the program ticks it, not the user.
QCheckBox *Indicator(const char *name, const QString &text, QWidget *parent)
{
    auto *box = Named(new QCheckBox(text, parent), name);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

// Gives each item of `menu` (and of its submenus) without a mnemonic a
// letter or digit of its text that no other item of the menu uses, taken
// from its last word first ("Slot 3" gets the 3). A menu with more items
// than characters to go round leaves the last ones without.
void AddMnemonics(QMenu *menu)
{
    QString used;
    const QList<QAction *> actions = menu->actions();
    for (QAction *a : actions) {
        const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < a->text().size())
            used += a->text()[amp + 1].toLower();
    }
    for (QAction *a : actions) {
        if (a->menu())
            AddMnemonics(a->menu());
        QString text = a->text();
        if (a->isSeparator() || text.contains(QLatin1Char('&')))
            continue;
        const qsizetype lastWord = text.lastIndexOf(QLatin1Char(' ')) + 1;
        for (qsizetype k = 0; k < text.size(); ++k) {
            const qsizetype i = (lastWord + k) % text.size();
            if (text[i].isLetterOrNumber() && !used.contains(text[i].toLower())) {
                used += text[i].toLower();
                a->setText(text.insert(i, QLatin1Char('&')));
                break;
            }
        }
    }
}

QLineEdit *Display(const char *name, QWidget *parent)
{
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    return edit;
}

} // namespace

MainWindow::MainWindow(Context &ctx, Commissioning &comm, QWidget *parent)
    : QMainWindow(parent), ctx_(ctx), comm_(comm), conn_(comm.connection()), eepromOps_(std::make_unique<Eeprom>(ctx, comm))
{
    setObjectName(QStringLiteral("Form1"));
    // The secondary windows are children of this one and show the same icon.
    setWindowIcon(ProgramIcon());
    endProgram = [] { QCoreApplication::quit(); };
    openSlaveEditor = [this](int) {
        Form2Window form2(ctx_, this, [this] { return &conn_.link(); });
        // The I/O test of the record as edited, over the slave editor.
        form2.openIoTest = [this, &form2] { IoWindow(ctx_, comm_, ctx_.st.record, &form2).exec(); };
        form2.exec();
    };
    BuildControls();
    BuildMenus();
    SetLanguageTexts();
    list1_->addItems(ListeLines(ctx_.st));
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::FocusWindowChanged);
    ConnectBusControls();
    resize(860, 600);
}

Form3Window *MainWindow::masterEditor() const
{
    return form3_.data();
}

HelpWindow *MainWindow::helpWindow() const
{
    return help_.data();
}

IoWindow *MainWindow::ioWindow() const
{
    return io_.data();
}

Form6Window *MainWindow::diagnosisWindow() const
{
    return form6_.data();
}

MainWindow::~MainWindow()
{
    delete eventsWindow_;
    comm_.panel().changed = nullptr;
    comm_.onDiagnosis = nullptr;
}

void MainWindow::BuildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));

    auto *label5 = Named(new QLabel(QStringLiteral("PROFIBUS"), central), "Label5");
    QFont titleFont = label5->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    label5->setFont(titleFont);

    maste_ = Display("Maste", central);
    maste_->setFocusPolicy(Qt::NoFocus);
    maste_->installEventFilter(this);

    list1_ = Named(new QListWidget(central), "List1");
    list1_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setMinimumWidth(300);
    list1_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    list1_->viewport()->installEventFilter(this);
    list1_->installEventFilter(this); // Enter opens the slave editor
    connect(list1_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        ListRowsShown();
        PlaceMarks();
    });
    // The station marks: a narrow strip beside List1 with one bar per visible row.
    marksColumn_ = Named(new QWidget(central), "Marks");
    marksColumn_->setFixedWidth(8);
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        auto *line = new QFrame(marksColumn_);
        line->setObjectName(QStringLiteral("Line%1").arg(i + 3));
        line->setAutoFillBackground(true);
        line->hide();
        marks_[i] = line;
    }
    connect(list1_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!updating_ && row >= 0)
            List1_Click(row);
    });
    connect(list1_, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });

    // Commands
    f1Master_ = Named(new QPushButton(QStringLiteral("&Master"), central), "F1_Master");
    f1Slave_ = Named(new QPushButton(QStringLiteral("&Slave"), central), "F1_Slave");
    clear_ = Named(new QPushButton(QStringLiteral("&Clear Slave"), central), "Clear");
    f1Run_ = Named(new QPushButton(QStringLiteral("&Run"), central), "F1_Run");
    f1Halt_ = Named(new QPushButton(QStringLiteral("Stop/Go"), central), "F1_Halt");
    exitbutton_ = Named(new QPushButton(QStringLiteral("Exit"), central), "Exitbutton");
    connect(f1Master_, &QPushButton::clicked, this, &MainWindow::F1_Master_Click);
    connect(f1Slave_, &QPushButton::clicked, this, &MainWindow::F1_Slave_Click);
    connect(clear_, &QPushButton::clicked, this, &MainWindow::Clear_Click);
    connect(exitbutton_, &QPushButton::clicked, this, &MainWindow::Exitbutton_Click);
    auto *buttons = new QGridLayout;
    buttons->addWidget(f1Master_, 0, 0);
    buttons->addWidget(f1Slave_, 0, 1);
    buttons->addWidget(clear_, 0, 2);
    buttons->addWidget(f1Run_, 1, 0);
    buttons->addWidget(f1Halt_, 1, 1);
    buttons->addWidget(exitbutton_, 1, 2);

    // Interface and master state
    frame1_ = Named(new QGroupBox(QStringLiteral("Status"), central), "Frame1");
    hwtxt_ = Display("HWtxt", frame1_);
    betriebsart_ = Display("Betriebsart", frame1_);
    load_ = Indicator("Load", QStringLiteral("Firmware Load"), frame1_);
    run_ = Indicator("Run", QStringLiteral("Firmware RUN"), frame1_);
    auto *status = new QGridLayout(frame1_);
    status->addWidget(hwtxt_, 0, 0);
    status->addWidget(betriebsart_, 0, 1);
    status->addWidget(load_, 1, 0);
    status->addWidget(run_, 1, 1);

    // Global Control: control byte, group byte, send
    auto *frame2 = Named(new QGroupBox(QStringLiteral("Global Control"), central), "Frame2");
    auto *label7 = Named(new QLabel(QStringLiteral("Cntr:"), frame2), "Label7");
    auto *text4 = text4_ = Named(new QLineEdit(QStringLiteral("0"), frame2), "Text4");
    auto *label8 = Named(new QLabel(QStringLiteral("Group:"), frame2), "Label8");
    auto *text5 = text5_ = Named(new QLineEdit(QStringLiteral("0"), frame2), "Text5");
    auto *command1 = command1_ = Named(new QPushButton(QStringLiteral("Send"), frame2), "Command1");
    auto *check1 = check1_ = Indicator("Check1", QStringLiteral("Communication"), frame2);
    text4->setMaximumWidth(50);
    text5->setMaximumWidth(50);
    label7->setBuddy(text4);
    label8->setBuddy(text5);
    auto *gc = new QGridLayout(frame2);
    gc->addWidget(label7, 0, 0);
    gc->addWidget(text4, 0, 1);
    gc->addWidget(label8, 0, 2);
    gc->addWidget(text5, 0, 3);
    gc->addWidget(command1, 0, 4);
    gc->addWidget(check1, 1, 0, 1, 5);
    gc->setColumnStretch(5, 1);

    // DP-RAM debug view
    auto *debug = Named(new QFrame(central), "DebugFrame");
    debug->setFrameShape(QFrame::StyledPanel);
    auto *label4 = Named(new QLabel(QStringLiteral("DPR Debug"), debug), "Label4");
    QFont bold = label4->font();
    bold.setBold(true);
    label4->setFont(bold);
    label1_ = Named(new QLabel(debug), "Label1");
    label2_ = Named(new QLabel(debug), "Label2");
    label3_ = Named(new QLabel(debug), "Label3");
    auto *text1 = text1_ = Named(new QLineEdit(debug), "Text1");
    auto *text2 = text2_ = Display("Text2", debug);
    auto *text3 = text3_ = Named(new QLineEdit(debug), "Text3");
    auto *vscroll1 = vscroll1_ = Named(new QScrollBar(Qt::Vertical, debug), "VScroll1");
    auto *command2 = command2_ = Named(new QPushButton(QStringLiteral("OK"), debug), "Command2");
    // Scroll positions are DP-RAM addresses; the address field reaches the rest.
    vscroll1->setRange(0, 0x7FFF);
    vscroll1->setFixedHeight(text1->sizeHint().height());
    label1_->setBuddy(text1);
    label3_->setBuddy(text3);
    auto *dbg = new QGridLayout(debug);
    dbg->addWidget(label4, 0, 0, 1, 4);
    dbg->addWidget(label1_, 1, 0);
    dbg->addWidget(text1, 1, 1);
    dbg->addWidget(vscroll1, 1, 2);
    dbg->addWidget(label2_, 2, 0);
    dbg->addWidget(text2, 2, 1);
    dbg->addWidget(label3_, 3, 0);
    dbg->addWidget(text3, 3, 1);
    dbg->addWidget(command2, 3, 2, 1, 2);
    dbg->setColumnStretch(1, 1);

    // Message line
    label6_ = Named(new QLabel(QStringLiteral("Messages:"), central), "Label6");
    melde1_ = Display("Melde1", central);
    label6_->setBuddy(melde1_);

    timer1_ = Named(new QTimer(this), "Timer1");
    timer1_->setInterval(100);

    auto *left = new QVBoxLayout;
    left->addWidget(label5);
    left->addWidget(maste_);
    auto *listRow = new QHBoxLayout;
    listRow->setSpacing(2);
    listRow->addWidget(list1_, 1);
    listRow->addWidget(marksColumn_);
    left->addLayout(listRow, 1);
    auto *right = new QVBoxLayout;
    right->addLayout(buttons);
    right->addWidget(frame1_);
    right->addWidget(frame2);
    right->addWidget(debug);
    right->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addLayout(left, 3);
    top->addLayout(right, 2);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(label6_);
    bottom->addWidget(melde1_, 1);
    auto *outer = new QVBoxLayout(central);
    outer->addLayout(top, 1);
    outer->addLayout(bottom);
    setCentralWidget(central);
}

void MainWindow::BuildMenus()
{
    auto action = [this](QMenu *menu, const char *name, auto slot) {
        QAction *a = menu->addAction(QString());
        a->setObjectName(QString::fromLatin1(name));
        if constexpr (!std::is_same_v<decltype(slot), std::nullptr_t>)
            connect(a, &QAction::triggered, this, slot);
        return a;
    };

    file_ = Named(menuBar()->addMenu(QString()), "File");
    neufile_ = action(file_, "Neufile", &MainWindow::Neufile_Click);
    laden_ = action(file_, "Laden", &MainWindow::Laden_Click);
    save_ = action(file_, "Save", &MainWindow::Save_Click);
    file_->addSeparator();
    dpPrint_ = action(file_, "DP_Print", nullptr);
    exportPdf_ = action(file_, "DP_ExportPdf", nullptr);
    // Printing needs no board: there is always a configuration in memory.
    connect(dpPrint_, &QAction::triggered, this, [this] {
        DP_Print_Click(ctx_, this);
        ShowStatus();
    });
    connect(exportPdf_, &QAction::triggered, this, [this] {
        ExportPdf(ctx_);
        ShowStatus();
    });
    compareBoard_ = action(file_, "CompareBoard", &MainWindow::CompareBoard_Click);
    compareBoard_->setEnabled(false);
    file_->addSeparator();
    fileExit_ = action(file_, "File_Exit", &MainWindow::File_Exit_Click);
    neufile_->setShortcut(QKeySequence::New);
    laden_->setShortcut(QKeySequence::Open);
    save_->setShortcut(QKeySequence::Save);
    dpPrint_->setShortcut(QKeySequence::Print);
    fileExit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // The interface choices, from the catalogue of Hardware items.
    hwmen_ = Named(menuBar()->addMenu(QString()), "HWmen");
    std::map<QString, QMenu *> menus;
    for (const iface::HwMenu &m : iface::HardwareMenus()) {
        QMenu *parent = m.parent ? menus.at(QString::fromLatin1(m.parent)) : hwmen_;
        menus[QString::fromLatin1(m.objectName)] = Named(parent->addMenu(QString::fromLatin1(m.caption)), m.objectName);
    }
    for (const iface::HwItem &item : iface::HardwareItems()) {
        QMenu *menu = item.menu ? menus.at(QString::fromLatin1(item.menu)) : hwmen_;
        QAction *a = menu->addAction(item.english);
        a->setObjectName(item.objectName);
        a->setCheckable(true);
        if (!item.german.isEmpty())
            hwItems_.push_back({a, item.english, item.german});
        hwChoices_.push_back({a, item.choice});
        if (item.choice.kind == iface::HwChoice::Kind::None) {
            noHW_ = a;
            connect(a, &QAction::triggered, this, &MainWindow::noHW_Click);
        } else {
            const iface::HwChoice c = item.choice;
            connect(a, &QAction::triggered, this, [this, c] { HardwareItem(c); });
        }
    }

    eeprom_ = Named(menuBar()->addMenu(QStringLiteral("&EEPROM")), "EEPROM");
    for (auto [name, text] : {std::pair{"Burn", "&Burn"}, {"Upload", "&Read"}, {"EEStart", "&Start"},
                              {"EEStop", "S&top"}, {"EE_Erase", "&Erase"}}) {
        QAction *a = eeprom_->addAction(QString::fromLatin1(text));
        a->setObjectName(QString::fromLatin1(name));
        a->setEnabled(false);
        if (qstrcmp(name, "EE_Erase") == 0)
            eeErase_ = a;
        if (qstrcmp(name, "EEStart") == 0)
            eeStart_ = a;
        if (qstrcmp(name, "EEStop") == 0)
            eeStop_ = a;
        if (qstrcmp(name, "Burn") == 0)
            burn_ = a;
        if (qstrcmp(name, "Upload") == 0)
            upload_ = a;
    }
    eeprom_->setEnabled(false);

    option_ = Named(menuBar()->addMenu(QString()), "Option");
    spEnglisch_ = action(option_, "sp_englisch", &MainWindow::sp_englisch_Click);
    spDeutsch_ = action(option_, "sp_deutsch", &MainWindow::sp_deutsch_Click);
    spEnglisch_->setCheckable(true);
    option_->addSeparator();
    fastDownload_ = action(option_, "FastDownload", &MainWindow::FastDownload_Click);
    fastDownload_->setCheckable(true);
    spDeutsch_->setCheckable(true);

    BuildEventLog();

    help_menu_ = Named(menuBar()->addMenu(QStringLiteral("&?")), "Help");
    hilfe_ = action(help_menu_, "Hilfe", &MainWindow::Hilfe_Click);
    info_ = action(help_menu_, "Info", &MainWindow::Info_Click);
    hilfe_->setShortcut(QKeySequence::HelpContents);
}

void MainWindow::SetLanguageTexts()
{
    const auto T = [this](const char *english, const char *german) {
        return ctx_.tr(QString::fromUtf8(english), QString::fromUtf8(german));
    };
    UpdateTitle();
    maste_->setText(T("Master Class1", "Master Klasse1"));
    f1Master_->setToolTip(T("Master record editor", "DP-Master Konfigurator"));
    f1Slave_->setToolTip(T("Slave record editor", "DP-Slave Konfigurator"));
    clear_->setToolTip(T("Clear selected slave", "Löscht gewählten Slave"));
    f1Run_->setToolTip(T("Starts the Profibus", "Startet den Profibus"));
    f1Halt_->setText(T("Stop/&Go", "Halt/&Go"));
    f1Halt_->setToolTip(QStringLiteral("Halt/Go Profibus"));
    exitbutton_->setText(T("E&xit", "E&nde"));
    label1_->setText(T("Address", "Adresse"));
    label1_->setToolTip(T("Selects the DP-RAM address", "Eingabe der DP-RAM-Adresse"));
    label2_->setText(T("Value:", "Wert:"));
    label2_->setToolTip(T("Shows the current value at address", "Zeigt aktuellen Inhalt der Adresse"));
    label3_->setText(T("Input:", "Eingabe:"));
    label3_->setToolTip(T("Edit field, enter the data with OK", "Byte-Eingabe, senden der Daten mit OK"));
    for (QLabel *l : {label1_, label2_, label3_}) {
        if (l->buddy())
            l->buddy()->setToolTip(l->toolTip());
    }
    if (auto *text2 = findChild<QLineEdit *>(QStringLiteral("Text2")))
        text2->setToolTip(label2_->toolTip());

    file_->setTitle(T("&File", "&Datei"));
    neufile_->setText(T("&New", "&Neu"));
    laden_->setText(T("&Load", "&Laden"));
    save_->setText(T("&Store", "&Speichern"));
    dpPrint_->setText(T("&Print", "&Drucken"));
    exportPdf_->setText(T("&Export PDF…", "Als PDF &exportieren…"));
    compareBoard_->setText(T("&Compare with board…", "Mit &Karte vergleichen…"));
    fileExit_->setText(T("E&xit", "&Beenden"));
    hwmen_->setTitle(QStringLiteral("&Hardware"));
    for (const Translated &t : hwItems_)
        t.action->setText(ctx_.tr(t.english, t.german));
    AddMnemonics(hwmen_);
    option_->setTitle(QStringLiteral("&Option"));
    spEnglisch_->setText(T("&English", "&Englisch"));
    spDeutsch_->setText(T("&German", "&Deutsch"));
    spDeutsch_->setChecked(IsGerman(ctx_.st.language));
    spEnglisch_->setChecked(!IsGerman(ctx_.st.language));
    fastDownload_->setText(T("&Fast download", "&Schneller Download"));
    fastDownload_->setChecked(ctx_.st.fastDownload);
    hilfe_->setText(T("&Help", "&Hilfe"));
    info_->setText(QStringLiteral("&Info"));
    EventLogTexts();

    ShowHardware();
    ctx_.status(QString());
    ShowStatus();
}

void MainWindow::ShowHardware()
{
    // The poll writes the connection text; until its next tick it shows
    // "no Hardware" in the language just chosen.
    if (!conn_.connected()) {
        comm_.panel().hwText = conn_.hwText();
        hwtxt_->setText(comm_.panel().hwText);
    }
}

void MainWindow::ShowStatus()
{
    if (melde1_->text() != ctx_.st.melde1)
        melde1_->setText(ctx_.st.melde1);
    melde1_->setCursorPosition(0);
    // Whatever changed the status line may have changed the configuration too.
    UpdateTitle();
}

QString MainWindow::Caption() const
{
    return ctx_.tr(QStringLiteral("ZEL PROFIBUS-DP Configurator V"), QStringLiteral("ZEL PROFIBUS-DP Konfigurator V"))
        + QStringLiteral(MERIDAN_VERSION);
}

bool MainWindow::Modified() const
{
    for (int s = 0; s < kSlots; ++s)
        if (!(ctx_.st.image.slot(s) == savedImage_.slot(s)))
            return true;
    return false;
}

void MainWindow::KeepAsSaved(const QString &file)
{
    savedImage_ = ctx_.st.image;
    titleFile_ = file.isEmpty() ? QString() : QFileInfo(file).fileName();
    UpdateTitle();
}

void MainWindow::UpdateTitle()
{
    // Every change to the image shows, whoever made it (an editor, Clear
    // Slave, Copy, Read): the image is compared with the one last saved.
    const bool modified = Modified();
    const QString file = titleFile_.isEmpty() ? ctx_.tr(QStringLiteral("(untitled)"), QStringLiteral("(unbenannt)")) : titleFile_;
    const QString title = Caption() + QStringLiteral(" - ") + file + (modified ? QStringLiteral(" *") : QString());
    if (windowTitle() != title)
        setWindowTitle(title);
}

bool MainWindow::MayGiveUpChanges()
{
    if (!Modified())
        return true;
    const int answer = ctx_.ui.message(ctx_.tr(QStringLiteral("Save changes?"), QStringLiteral("Änderungen speichern?")),
                                       Caption(), Icon::Question, Store | Discard | Cancel);
    if (answer == Discard)
        return true;
    if (answer != Store)
        return false;
    Save_Click();
    return !Modified(); // a store the user cancelled, or that failed, keeps the work
}

void MainWindow::Form_Load(const QString &folderArgument)
{
    State &st = ctx_.st;
    st.listPosition = 0;
    st.language = kGerman;
    ReadSettings(ctx_);
    SetLanguageTexts();
    const bool found = StartupConfig(ctx_, folderArgument);
    KeepAsSaved(found ? st.configFileName : QString());
    eeprom_->setEnabled(false);
    {
        const QSignalBlocker block(list1_);
        list1_->clear();
        list1_->addItems(ListeLines(st));
    }
    startupMessage_ = found ? QString() : st.melde1;
    ShowStatus();
}

void MainWindow::Form_Activate()
{
    UpdateListe();
    if (!startupMessage_.isEmpty()) {
        // The first selection would overwrite it before anyone could read it.
        ctx_.status(startupMessage_);
        startupMessage_.clear();
    }
    ShowStatus();
}

void MainWindow::UpdateListe()
{
    const int pos = ctx_.st.listPosition;
    updating_ = true;
    list1_->clear();
    list1_->addItems(ListeLines(ctx_.st));
    if (pos >= 0 && pos < list1_->count())
        list1_->setCurrentRow(pos);
    updating_ = false;
    if (pos >= 0 && pos < list1_->count())
        List1_Click(pos);
}

void MainWindow::List1_Click(int listIndex)
{
    meridan::List1_Click(ctx_, listIndex, [this](int station) { comm_.RequestDiagnosis(station); });
    ShowStatus();
}

void MainWindow::OpenSlaveEditor(int listIndex)
{
    const int station = SelectSlaveStation(ctx_, listIndex);
    openSlaveEditor(station);
    // The modal editor is closed again: the main window is active once more.
    Form_Activate();
}

void MainWindow::List1_DblClick()
{
    OpenSlaveEditor(list1_->currentRow());
}

void MainWindow::F1_Slave_Click()
{
    OpenSlaveEditor(list1_->currentRow());
}

void MainWindow::F1_Master_Click()
{
    if (!form3_) {
        form3_ = new Form3Window(ctx_, this);
        connect(form3_, &Form3Window::stored, this, &MainWindow::UpdateTitle);
        PlaceOverMain(form3_);
    }
    form3_->show();
    form3_->raise();
    form3_->activateWindow();
}

void MainWindow::Clear_Click()
{
    ClearSlave(ctx_, list1_->currentRow());
    ShowStatus();
}

void MainWindow::Neufile_Click()
{
    if (!MayGiveUpChanges())
        return;
    Neufile(ctx_);
    KeepAsSaved({}); // a new configuration has nothing to lose yet
    ShowStatus();
}

void MainWindow::Laden_Click()
{
    if (!MayGiveUpChanges())
        return;
    if (Laden(ctx_))
        KeepAsSaved(ctx_.st.configFileName);
    ShowStatus();
}

void MainWindow::Save_Click()
{
    if (Save(ctx_))
        KeepAsSaved(ctx_.st.configFileName);
    ShowStatus();
}

void MainWindow::sp_deutsch_Click()
{
    ChooseLanguage(kGerman);
}

void MainWindow::sp_englisch_Click()
{
    ChooseLanguage(kEnglish);
}

void MainWindow::ChooseLanguage(int16_t language)
{
    if (meridan::ChooseLanguage(ctx_, language)) {
        SetLanguageTexts();
        if (form3_)
            form3_->SetTexts();
        if (form6_) {
            form6_->view.caption = DiagCaption(ctx_.st.language, ctx_.st.currentStation);
            form6_->setWindowTitle(form6_->view.caption);
        }
        HelpFollowsLanguage();
    }
    spDeutsch_->setChecked(IsGerman(ctx_.st.language));
    spEnglisch_->setChecked(!IsGerman(ctx_.st.language));
}

void MainWindow::FastDownload_Click()
{
    ChooseFastDownload(ctx_, fastDownload_->isChecked());
    fastDownload_->setChecked(ctx_.st.fastDownload);
}

void MainWindow::Hilfe_Click()
{
    QString page = HelpIndexPath(ctx_);
    if (!QFileInfo::exists(page))
        InstallHelp(ctx_.root); // deleted since start-up: put the pages back
    if (!QFileInfo::exists(page)) {
        ctx_.ui.message(ctx_.tr(QStringLiteral("Help file not found: "), QStringLiteral("Hilfedatei nicht gefunden: ")) + page,
                        Caption(), Icon::Warning);
        return;
    }
    if (!help_) {
        help_ = new HelpWindow(this);
        PlaceOverMain(help_);
    }
    ShowHelp(page, page);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::ShowHelp(const QString &index, const QString &page)
{
    help_->showPage(index, ctx_.tr(QStringLiteral("Help"), QStringLiteral("Hilfe")) + QStringLiteral(" - ") + Caption(),
                    IsGerman(ctx_.st.language), page);
}

void MainWindow::HelpFollowsLanguage()
{
    // An open help window turns to the same page in the language now chosen.
    if (!help_ || !help_->isVisible())
        return;
    const QString index = HelpIndexPath(ctx_);
    const QString page = QFileInfo(index).absolutePath() + QLatin1Char('/') + QFileInfo(help_->currentPage()).fileName();
    ShowHelp(index, QFileInfo::exists(page) ? page : index);
}

void MainWindow::Info_Click()
{
    AboutDialog about(Caption(), IsGerman(ctx_.st.language), this);
    about.exec();
}

void MainWindow::noHW_Click()
{
    conn_.NoHardwareItem();
    ShowPanel();
    ShowStatus();
}

void MainWindow::EndProgram(bool exitButton)
{
    if (ending_)
        return;
    ending_ = true;
    timer1_->stop();
    conn_.CloseForExit(exitButton);
    if (endProgram)
        endProgram();
}

void MainWindow::File_Exit_Click()
{
    if (MayGiveUpChanges())
        EndProgram(false);
}

void MainWindow::Exitbutton_Click()
{
    if (MayGiveUpChanges())
        EndProgram(true);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!ending_ && !MayGiveUpChanges()) {
        event->ignore();
        return;
    }
    EndProgram(false);
    event->accept();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!activatedOnce_) {
        activatedOnce_ = true;
        Form_Activate();
        list1_->setFocus(); // the keyboard starts on the station list
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list1_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::RightButton) {
                List1_ContextMenu(list1_->indexAt(me->position().toPoint()).row(), me->globalPosition().toPoint());
                return true; // the right button never changes the selection by itself
            }
        } else if (event->type() == QEvent::ContextMenu) {
            // The menu key: the menu of the selected line, beside it.
            auto *ce = static_cast<QContextMenuEvent *>(event);
            if (ce->reason() == QContextMenuEvent::Keyboard) {
                const int row = list1_->currentRow();
                const QRect r = list1_->visualRect(list1_->model()->index(std::max(row, 0), 0));
                List1_ContextMenu(row, list1_->viewport()->mapToGlobal(r.center()));
            }
            return true;
        } else if (event->type() == QEvent::Resize) {
            ListRowsShown();
            PlaceMarks();
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (watched == list1_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            List1_DblClick();
            return true;
        }
    }
    if (watched == maste_ && event->type() == QEvent::MouseButtonDblClick) {
        F1_Master_Click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::FocusWindowChanged(QWindow *now)
{
    // Coming back from one of the program's own non-modal editor windows
    // activates the main window; message boxes, file dialogs and other
    // programs do not. A modal editor activates it when it returns.
    const QPointer<QWindow> before = lastFocus_;
    lastFocus_ = now;
    if (!now || now != windowHandle() || !before)
        return;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowHandle() == before && w != this && w->objectName().startsWith(QLatin1String("Form")) && !w->isModal()) {
            Form_Activate();
            return;
        }
    }
}

// ---- Bus commands and the status poll ------------------------------------

void MainWindow::ConnectBusControls()
{
    Panel &p = comm_.panel();
    p.changed = [this] { ShowPanel(); };
    comm_.onDiagnosis = [this] { Form6_Update(); };
    connect(timer1_, &QTimer::timeout, this, [this] { comm_.Timer1_Timer(); });
    connect(f1Run_, &QPushButton::clicked, this, &MainWindow::F1_Run_Click);
    connect(f1Halt_, &QPushButton::clicked, this, &MainWindow::F1_Halt_Click);
    connect(command1_, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(text4_, &QLineEdit::editingFinished, this, &MainWindow::Text4_LostFocus);
    connect(text5_, &QLineEdit::editingFinished, this, &MainWindow::Text5_LostFocus);
    connect(eeStart_, &QAction::triggered, this, &MainWindow::EEStart_Click);
    connect(eeStop_, &QAction::triggered, this, &MainWindow::EEStop_Click);
    connect(burn_, &QAction::triggered, this, &MainWindow::Burn_Click);
    connect(upload_, &QAction::triggered, this, &MainWindow::Upload_Click);
    connect(eeErase_, &QAction::triggered, this, &MainWindow::EE_Erase_Click);
    connect(text1_, &QLineEdit::textChanged, this, &MainWindow::Text1_Change);
    connect(vscroll1_, &QScrollBar::valueChanged, this, &MainWindow::VScroll1_Change);
    connect(command2_, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    eeStart_->setEnabled(true);
    eeStop_->setEnabled(true);
    burn_->setEnabled(true);
    upload_->setEnabled(true);

    ListRowsShown();
    ShowHardware();
    ShowPanel();
}

void MainWindow::ShowPanel()
{
    const Panel &p = comm_.panel();
    if (hwtxt_->text() != p.hwText)
        hwtxt_->setText(p.hwText);
    if (betriebsart_->text() != p.betriebsart())
        betriebsart_->setText(p.betriebsart());
    load_->setChecked(p.load);
    run_->setChecked(p.run);
    check1_->setChecked(p.communication);
    f1Run_->setEnabled(p.runEnabled);
    f1Halt_->setEnabled(p.haltEnabled);
    hwmen_->setEnabled(p.hardwareMenuEnabled);
    hwmen_->menuAction()->setEnabled(p.hardwareMenuEnabled);
    command2_->setEnabled(p.debugEnabled);
    vscroll1_->setEnabled(p.debugEnabled);
    eeprom_->setEnabled(p.eepromMenuEnabled);
    eeprom_->menuAction()->setEnabled(p.eepromMenuEnabled);
    eeErase_->setEnabled(p.eraseEnabled);
    // A board that keeps a configuration can be compared while no command runs.
    compareBoard_->setEnabled(p.eepromMenuEnabled && conn_.connected() && conn_.link().traits().store != iface::ConfigStore::None);
    // The connected item carries the check mark.
    const auto &item = conn_.item();
    for (auto &[action, choice] : hwChoices_)
        action->setChecked(item ? iface::SameBoard(*item, choice) : choice.kind == iface::HwChoice::Kind::None);

    if (timer1_->interval() != p.timerInterval && p.timerInterval > 0)
        timer1_->setInterval(p.timerInterval);
    if (p.timerEnabled && !timer1_->isActive())
        timer1_->start();
    else if (!p.timerEnabled && timer1_->isActive())
        timer1_->stop();

    PlaceMarks();
    ShowStatus();
}

void MainWindow::ListRowsShown()
{
    // The rows whose line can be seen, wholly or in part: the status poll
    // reads the station lists for these.
    Panel &p = comm_.panel();
    const int top = list1_->indexAt(QPoint(1, 1)).row();
    p.listTopRow = top < 0 ? 0 : top;
    const int rowHeight = qMax(1, list1_->sizeHintForRow(0));
    p.listRows = qMax(1, (list1_->viewport()->height() + rowHeight - 1) / rowHeight);
}

void MainWindow::PlaceMarks()
{
    const Panel &panel = comm_.panel();
    const int top = panel.listTopRow;
    for (int i = 0; i < int(marks_.size()); ++i) {
        QFrame *line = marks_[std::size_t(i)];
        const StationMark mark = panel.marks[std::size_t(i)];
        QListWidgetItem *item = list1_->item(top + i);
        const QRect rect = item ? list1_->visualItemRect(item) : QRect();
        // A configured station that takes no part in the data exchange while
        // the bus runs (a parameter or configuration fault, a station that
        // is missing) has a mark of its own: any colour but the two running ones.
        const bool idle = mark.visible && mark.colour != kMarkRed && mark.colour != kMarkBlue;
        if (!mark.visible || !item || !list1_->viewport()->rect().intersects(rect)) {
            line->hide();
            continue;
        }
        // The colour is kept as the master's station lists give it: 0xBBGGRR.
        const QColor colour(int(mark.colour & 0xFF), int((mark.colour >> 8) & 0xFF), int((mark.colour >> 16) & 0xFF));
        QPalette pal = line->palette();
        if (idle) {
            // Hollow (and grey): it must not be taken for either running colour.
            line->setAutoFillBackground(false);
            line->setFrameShape(QFrame::Box);
            pal.setColor(QPalette::WindowText, colour);
            line->setToolTip(ctx_.tr(QStringLiteral("Configured, takes no part in the data exchange"),
                                     QStringLiteral("Konfiguriert, nimmt nicht am Datenaustausch teil")));
        } else {
            line->setAutoFillBackground(true);
            line->setFrameShape(QFrame::NoFrame);
            pal.setColor(QPalette::Window, colour);
            line->setToolTip(mark.colour == kMarkRed ? ctx_.tr(QStringLiteral("In data exchange, reports a diagnosis"),
                                                               QStringLiteral("Im Datenaustausch, meldet eine Diagnose"))
                                                     : ctx_.tr(QStringLiteral("In data exchange"), QStringLiteral("Im Datenaustausch")));
        }
        line->setPalette(pal);
        const QPoint at = marksColumn_->mapFrom(this, list1_->viewport()->mapTo(this, rect.topLeft()));
        line->setGeometry(1, at.y() + 2, marksColumn_->width() - 2, qMax(2, rect.height() - 4));
        line->show();
    }
}

void MainWindow::PlaceOverMain(QWidget *window)
{
    // A window not sized by anyone yet takes its size hint when shown: take it now.
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QRect inner = geometry();
    const QRect outer = frameGeometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    // A window larger than the screen is made to fit, as far as it can shrink.
    const QSize most = screen.size().shrunkBy(frame);
    if (window->width() > most.width() || window->height() > most.height())
        window->resize(window->size().boundedTo(most).expandedTo(window->minimumSizeHint()));
    QRect r(QPoint(), window->size().grownBy(frame));
    r.moveCenter(outer.center());
    r.moveLeft(std::clamp(r.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - r.height())));
    window->move(r.topLeft()); // a window's position is that of its frame
}

void MainWindow::HardwareItem(const iface::HwChoice &choice)
{
    iface::HwChoice c = choice;
    if (iface::AsksForTarget(c)) {
        Form5Dialog form5(iface::DriverConfig::load(ctx_.root).networkTargets(), this);
        form5.exec();
        if (!form5.confirmed())
            return;
        c.target = form5.target();
    }
    conn_.ConnectItem(c);
    ShowPanel();
    ShowStatus();
}

void MainWindow::F1_Run_Click()
{
    comm_.F1_Run_Click();
    ShowPanel();
}

void MainWindow::F1_Halt_Click()
{
    comm_.F1_Halt_Click();
    ShowPanel();
}

void MainWindow::Command1_Click()
{
    // An entry still being typed counts, as if the field had lost the focus first.
    Text4_LostFocus();
    Text5_LostFocus();
    comm_.Command1_Click();
    ShowPanel();
}

void MainWindow::Text4_LostFocus()
{
    if (inGcEntry_)
        return;
    inGcEntry_ = true; // a refusal's message box takes the focus away again
    text4_->setText(comm_.Text4_LostFocus(text4_->text()));
    inGcEntry_ = false;
}

void MainWindow::Text5_LostFocus()
{
    if (inGcEntry_)
        return;
    inGcEntry_ = true;
    text5_->setText(comm_.Text5_LostFocus(text5_->text()));
    inGcEntry_ = false;
}

void MainWindow::EEStart_Click()
{
    comm_.EEStart_Click();
    ShowPanel();
}

void MainWindow::EEStop_Click()
{
    comm_.EEStop_Click();
    ShowPanel();
}

void MainWindow::Burn_Click()
{
    eepromOps_->Burn_Click();
    ShowPanel();
}

void MainWindow::Upload_Click()
{
    if (eepromOps_->Upload_Click())
        KeepAsSaved(ctx_.st.configFileName); // what the board keeps; Store proposes the same file
    ShowPanel();
}

void MainWindow::EE_Erase_Click()
{
    eepromOps_->EE_Erase_Click();
    ShowPanel();
}

CompareDialog *MainWindow::compareDialog() const
{
    return compare_;
}

void MainWindow::CompareBoard_Click()
{
    const QString title = ctx_.tr(QStringLiteral("Compare with board"), QStringLiteral("Mit Karte vergleichen"));
    const auto board = std::make_unique<ConfigImage>();
    const BusOutcome read = eepromOps_->ReadAside(*board);
    ShowPanel();
    ShowStatus();
    if (!read) {
        ctx_.ui.message(ctx_.tr(QStringLiteral("The board's configuration could not be read:\n%1"),
                                QStringLiteral("Die Konfiguration der Karte konnte nicht gelesen werden:\n%1"))
                            .arg(read.why),
                        title, Icon::Warning);
        return;
    }
    DeviceNameLookup lookup(ctx_);
    const NameLookup names = [&lookup](const QString &code, int ident) { return lookup(code, ident); };
    const QStringList lines = ChangeLines(CompareWithBoard(ctx_.st.image, *board, names, ctx_.st.language), ctx_.st.language);
    const QString summary = lines.isEmpty()
        ? ctx_.tr(QStringLiteral("The board holds the configuration in memory."), QStringLiteral("Die Karte hält die Konfiguration im Speicher."))
        : ctx_.tr(QStringLiteral("What differs from the configuration in memory to the board's:"),
                  QStringLiteral("Was von der Konfiguration im Speicher zu der der Karte abweicht:"));
    delete compare_.data();
    compare_ = new CompareDialog(title, summary, lines, this);
    compare_->setAttribute(Qt::WA_DeleteOnClose);
    compare_->open();
}

void MainWindow::ShowDebug(const DebugShown &shown)
{
    if (shown.text1) {
        const QSignalBlocker block(text1_);
        text1_->setText(*shown.text1);
    }
    text2_->setText(shown.text2);
    if (shown.scroll) {
        const QSignalBlocker block(vscroll1_);
        vscroll1_->setValue(*shown.scroll);
    }
    if (!shown.problem.isEmpty())
        ctx_.status(shown.problem);
}

void MainWindow::Text1_Change()
{
    ShowDebug(debug_.Text1_Change(ctx_, conn_.link(), text1_->text()));
}

void MainWindow::VScroll1_Change(int position)
{
    QString text1;
    const DebugShown shown = debug_.VScroll1_Change(ctx_, conn_.link(), position, text1);
    {
        const QSignalBlocker block(text1_);
        text1_->setText(text1);
    }
    ShowDebug(shown);
}

void MainWindow::Command2_Click()
{
    if (const auto shown = debug_.Command2_Click(ctx_, conn_.link(), text3_->text()))
        ShowDebug(*shown);
}

void MainWindow::List1_MouseDown(Qt::MouseButton button, int listIndex)
{
    if (button != Qt::RightButton || !conn_.connected())
        return;
    // The line under the pointer is the one asked about.
    if (listIndex >= 0 && listIndex != list1_->currentRow()) {
        updating_ = true;
        list1_->setCurrentRow(listIndex);
        updating_ = false;
    }
    if (!form6_) {
        form6_ = new Form6Window(this);
        form6_->view.caption = DiagCaption(ctx_.st.language, 0);
        form6_->showView();
        PlaceOverMain(form6_);
    }
    form6_->show();
    form6_->raise();
    const int row = list1_->currentRow();
    List1_Click(row);
}

void MainWindow::List1_ContextMenu(int listIndex, const QPoint &globalPos)
{
    // No board: nothing to ask the station, as before.
    if (!conn_.connected())
        return;
    if (!list1Menu_) {
        list1Menu_ = new QMenu(this);
        list1Menu_->setObjectName(QStringLiteral("List1Menu"));
        auto *diagnosis = list1Menu_->addAction(QString());
        diagnosis->setObjectName(QStringLiteral("StationDiagnosis"));
        auto *io = list1Menu_->addAction(QString());
        io->setObjectName(QStringLiteral("StationIoTest"));
        list1Menu_->setDefaultAction(diagnosis);
        connect(diagnosis, &QAction::triggered, this, [this] { List1_MouseDown(Qt::RightButton, list1_->currentRow()); });
        connect(io, &QAction::triggered, this, [this] { OpenIoTest(list1_->currentRow() + 10); });
    }
    // The line under the pointer is the one the menu is about.
    if (listIndex >= 0 && listIndex != list1_->currentRow()) {
        updating_ = true;
        list1_->setCurrentRow(listIndex);
        updating_ = false;
    }
    const QList<QAction *> items = list1Menu_->actions();
    items[0]->setText(ctx_.tr(QStringLiteral("&Diagnosis"), QStringLiteral("&Diagnose")));
    items[1]->setText(ctx_.tr(QStringLiteral("&I/O test"), QStringLiteral("&E/A-Test")));
    items[1]->setEnabled(ctx_.st.image.hasSlave(list1_->currentRow() + 10));
    list1Menu_->popup(globalPos);
}

void MainWindow::OpenIoTest(int station)
{
    if (station < 1 || station >= kSlots || !ctx_.st.image.hasSlave(station))
        return;
    if (io_ && io_->station() != station) {
        // Its outputs go back before another station's test begins.
        IoWindow *other = io_;
        io_ = nullptr;
        other->close();
    }
    if (!io_) {
        io_ = new IoWindow(ctx_, comm_, ctx_.st.image.slot(station), this);
        io_->setAttribute(Qt::WA_DeleteOnClose);
        io_->setModal(false);
    }
    io_->show();
    io_->raise();
    io_->activateWindow();
}

void MainWindow::Form6_Update()
{
    if (!form6_ || !form6_->isVisible())
        return;
    UpdateDiagView(ctx_, form6_->view, conn_.connected());
    form6_->showView();
}

} // namespace meridan
