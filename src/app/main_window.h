// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window (Form1): station list, record commands, menus, the status
// and message line, and the places where the bus controls sit. It forwards
// every command to the core and shows the state; the prompts seam tells it
// when the status line or the station list changed.
#include "core/context.h"
#include "config/stationlist.h"
#include "iface/hardware.h"
#include "monitor/debugview.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QScrollBar;
class QTimer;
class QWindow;

namespace meridan {

class BusWatch;
class Commissioning;
class CompareDialog;
class Connection;
class Eeprom;
class EventList;
class EventsWindow;
class Form3Window;
class Form6Window;
class HelpWindow;
class IoWindow;

// The program's icon, built into it (the theme's "meridan" when it is not).
QIcon ProgramIcon();

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `comm` (the bus commands and the status poll, with the connection to
    // the board) outlives the window.
    MainWindow(Context &ctx, Commissioning &comm, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the live status (the Panel): called whenever it changed.
    void ShowPanel();

    // Start-up: language from the settings file, captions, an empty image,
    // no interface, the station list and the start-up configuration.
    // `folderArgument` is the optional project folder of the command line.
    void Form_Load(const QString &folderArgument = {});
    // The window became active: the station list is rebuilt and the
    // remembered line selected again.
    void Form_Activate();
    // Captions, tooltips and menus for the language in force; empties the
    // message line.
    void SetLanguageTexts();
    // Refills List1 from the station list lines and selects the remembered
    // line, which runs the selection as a click would.
    void UpdateListe();
    // Melde1 from the state.
    void ShowStatus();

    // Opens the slave editor for a station; by default Form2, modal. Tests
    // replace it to see the station chosen.
    std::function<void(int station)> openSlaveEditor;
    // Ends the program; by default the application's event loop.
    std::function<void()> endProgram;

    // The program's caption in the language in force, without the file.
    QString Caption() const;
    // True when the image differs from the one last loaded, stored or read.
    bool Modified() const;

    Form3Window *masterEditor() const;
    HelpWindow *helpWindow() const;
    Form6Window *diagnosisWindow() const;
    // The I/O test window while one is open.
    IoWindow *ioWindow() const;
    // The station list's context menu (right button, the menu key).
    QMenu *stationMenu() const { return list1Menu_; }
    CompareDialog *compareDialog() const;
    // The bus event log, kept from the start; its window opens from the Log menu.
    BusWatch &busWatch() const { return *busWatch_; }
    EventList &eventList() const { return *events_; }
    EventsWindow *eventsWindow() const;

    // Commands, named after their controls.
    void List1_Click(int listIndex);
    void List1_DblClick();
    void F1_Slave_Click();
    void F1_Master_Click();
    void Clear_Click();
    void Neufile_Click();
    void Laden_Click();
    void Save_Click();
    void File_Exit_Click();
    void Exitbutton_Click();
    void sp_deutsch_Click();
    void sp_englisch_Click();
    // Option menu: the download sends the next job as soon as the board has
    // answered (kept in the settings file).
    void FastDownload_Click();
    void Hilfe_Click();
    void Info_Click();
    void noHW_Click();
    // A Hardware menu item other than "no Hardware"; the TCP/IP items ask
    // for the target first (Form5).
    void HardwareItem(const iface::HwChoice &choice);
    void F1_Run_Click();
    void F1_Halt_Click();
    void Command1_Click();
    void Text4_LostFocus();
    void Text5_LostFocus();
    void EEStart_Click();
    void EEStop_Click();
    void Burn_Click();
    void Upload_Click();
    void EE_Erase_Click();
    // File → "Compare with board…": the board's configuration, read as Read
    // reads it, against the one in memory; neither changes.
    void CompareBoard_Click();
    void Text1_Change();
    void VScroll1_Change(int position);
    void Command2_Click();
    // A mouse button went down on List1 over `listIndex` (-1: no line).
    void List1_MouseDown(Qt::MouseButton button, int listIndex);
    // A station diagnosis message came in: Form6 shows it while visible.
    void Form6_Update();
    // Opens the I/O test of a configured station (one window at a time: one
    // that shows another station is closed first, its outputs released).
    void OpenIoTest(int station);
    // Log -> Bus event log: opens (or raises) its window.
    void EventLog_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void BuildMenus();
    void ConnectBusControls();
    void ShowHardware();
    void OpenSlaveEditor(int listIndex);
    void EndProgram(bool exitButton);
    void FocusWindowChanged(QWindow *now);
    void ListRowsShown();
    void ShowHelp(const QString &index, const QString &page);
    void HelpFollowsLanguage();
    void PlaceMarks();
    void ShowDebug(const DebugShown &shown);
    void ChooseLanguage(int16_t language);
    // The image as it is now counts as saved (Load, Store, Read, New); the
    // title names `file` (empty: none).
    void KeepAsSaved(const QString &file);
    // The title: caption, file name and, while the image is changed, a mark.
    void UpdateTitle();
    // Before a changed configuration is given up: "Save changes?". True
    // when the caller may go on (stored, discarded or nothing changed).
    bool MayGiveUpChanges();
    // A secondary window opens centred on the main window, wholly on its
    // screen (shrunk to fit when it is larger).
    void PlaceOverMain(QWidget *window);
    // The context menu for the line `listIndex` at `globalPos`.
    void List1_ContextMenu(int listIndex, const QPoint &globalPos);
    // The bus event log (main_window_events.cpp): its menu and its texts.
    void BuildEventLog();
    void EventLogTexts();

    Context &ctx_;

    QListWidget *list1_ = nullptr;
    QLineEdit *maste_ = nullptr;
    QPushButton *f1Master_ = nullptr;
    QPushButton *f1Slave_ = nullptr;
    QPushButton *clear_ = nullptr;
    QPushButton *f1Run_ = nullptr;
    QPushButton *f1Halt_ = nullptr;
    QPushButton *exitbutton_ = nullptr;
    QGroupBox *frame1_ = nullptr;
    QLineEdit *hwtxt_ = nullptr;
    QLineEdit *betriebsart_ = nullptr;
    QCheckBox *run_ = nullptr;
    QCheckBox *load_ = nullptr;
    QLineEdit *melde1_ = nullptr;
    QLabel *label1_ = nullptr;
    QLabel *label2_ = nullptr;
    QLabel *label3_ = nullptr;
    QLabel *label6_ = nullptr;
    QTimer *timer1_ = nullptr;
    QCheckBox *check1_ = nullptr;
    QLineEdit *text4_ = nullptr;
    QLineEdit *text5_ = nullptr;
    QPushButton *command1_ = nullptr;
    QLineEdit *text1_ = nullptr;
    QLineEdit *text2_ = nullptr;
    QLineEdit *text3_ = nullptr;
    QScrollBar *vscroll1_ = nullptr;
    QPushButton *command2_ = nullptr;
    QWidget *marksColumn_ = nullptr;
    std::array<QFrame *, 90> marks_{}; // Line3.., one per list row from the top row

    QMenu *file_ = nullptr;
    QMenu *hwmen_ = nullptr;
    QMenu *eeprom_ = nullptr;
    QMenu *option_ = nullptr;
    QMenu *help_menu_ = nullptr;
    QAction *neufile_ = nullptr;
    QAction *laden_ = nullptr;
    QAction *save_ = nullptr;
    QAction *dpPrint_ = nullptr;
    QAction *exportPdf_ = nullptr;
    QAction *compareBoard_ = nullptr;
    QAction *fileExit_ = nullptr;
    QAction *noHW_ = nullptr;
    QAction *eeErase_ = nullptr;
    QAction *burn_ = nullptr;
    QAction *upload_ = nullptr;
    QAction *eeStart_ = nullptr;
    QAction *eeStop_ = nullptr;
    QAction *spEnglisch_ = nullptr;
    QAction *fastDownload_ = nullptr;
    QAction *spDeutsch_ = nullptr;
    QAction *hilfe_ = nullptr;
    QAction *info_ = nullptr;
    struct Translated {
        QAction *action;
        QString english;
        QString german;
    };
    std::vector<Translated> hwItems_;
    std::vector<std::pair<QAction *, iface::HwChoice>> hwChoices_;

    Commissioning &comm_;
    Connection &conn_;
    std::unique_ptr<Eeprom> eepromOps_; // Burn, Read and Erase
    DebugView debug_;
    QPointer<Form6Window> form6_;
    QPointer<IoWindow> io_;
    QMenu *list1Menu_ = nullptr;
    QPointer<CompareDialog> compare_;
    std::unique_ptr<EventList> events_;
    std::unique_ptr<BusWatch> busWatch_;
    QPointer<EventsWindow> eventsWindow_;
    QMenu *logMenu_ = nullptr;
    QAction *eventLog_ = nullptr;
    bool inGcEntry_ = false;

    ConfigImage savedImage_; // the image as last loaded, stored or read
    QString titleFile_;
    QPointer<Form3Window> form3_;
    QPointer<HelpWindow> help_;
    QPointer<QWindow> lastFocus_;
    QString startupMessage_; // kept in the message line past the first activation
    bool activatedOnce_ = false;
    bool updating_ = false;
    bool ending_ = false;
};

} // namespace meridan
