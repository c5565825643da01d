// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slave editor's logic: one slave record edited in the record buffer,
// the field commits with their rules, GSD files and modules, and the
// commands that store, copy or forget the record. The window shows what
// Display() gives and forwards its events here.
#include "core/prompts.h"
#include "slave/ext_prm_editor.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace meridan {

struct Context;
namespace iface {
class Link;
}

// Everything DisplaySlave puts on the window.
struct SlaveView {
    QString station, ident, watchdog, minTsdr, group, recordLength;
    QString name, prm, cfg;
    QString inAdr, inLn, in, outAdr, outLn, out;
    QString vendor, model, hw, sw;
    QString modulText;
    bool modulEnabled = false;
    QStringList modules; // ModList entries; item data = module list byte
    std::vector<ModuleEntry> moduleEntries;
};

class SlaveEditor {
public:
    explicit SlaveEditor(Context &ctx);

    // The status line (Meldung) changed; the text is also in meldung().
    std::function<void(const QString &)> onMeldung;
    // The connected board, asked each time the view is built (the link may
    // change or be lost while the editor is open); unset or null: none.
    std::function<iface::Link *()> board;
    // The record is in the buffers and about to be shown; its device file is
    // read next, which may pause on an error text.
    std::function<void()> onRecordReady;
    // Chooses the device file for the GSD button; empty: the plain file
    // dialog of the prompts. The window puts its catalogue dialog here.
    std::function<std::optional<QString>(const FileDialogSpec &)> chooseGsdFile;

    // Form_Activate: station into 10..99, GetSlave, the buffers from the
    // record, the record's GSD file read again; clears the reload flag.
    void Form_Activate();
    // Copies the current station's slot into the record buffer, only while
    // the reload flag is set.
    void GetSlave();
    SlaveView DisplaySlave() const;
    bool reloadFlag() const { return reload_; }
    void setReloadFlag() { reload_ = true; }
    const QString &meldung() const { return meldung_; }
    const QString &savedListLine() const { return savedLine_; }
    QString gsdFileName() const { return gsdFile_; }

    // Field commits, each with the text the user left in the field.
    void F2_SA_Change(const QString &text);
    // Returns the text the name field shows afterwards ("-" for an empty name).
    QString Text2_LostFocus(const QString &text);
    void F2_ID_LostFocus(const QString &text);
    void F2_Prm_LostFocus(const QString &text);
    void F2_cfg_LostFocus(const QString &text);
    void F2_InAdr_LostFocus(const QString &text);
    void F2_OutAdr_LostFocus(const QString &text);
    void Watchdog_LostFocus(const QString &text);
    void minTsdr_Change(const QString &text);
    void Group_Change(const QString &text);

    // Modul_DropDown: the GSD modules, name and module number.
    std::vector<std::pair<QString, int>> Modul_DropDown() const;
    // Modul_Click: appends module m (identifier bytes, constant parameter
    // bytes, module list). False when refused (message in Meldung).
    bool Modul_Click(int m);
    // The block the extended editor opens for ModList entry `index`.
    ExtSelection ModList_Click(int index) const;
    static ExtSelection SetGP_Click() { return {}; }
    // Delete key on ModList entry `index`.
    bool ModList_Delete(int index);

    // GSD_Click: `identText` is what F2_ID shows, `nameText` what Text2 shows.
    // A record without ident gets the chosen device; a station whose device
    // file was not found gets the chosen file (it must name the station's
    // ident), its bytes unchanged. The status line then shows the file's
    // errors and warnings.
    void GSD_Click(const QString &identText, const QString &nameText);
    // The device file read for the record, empty when none was found.
    const QString &deviceFile() const { return deviceFile_; }
    void Neu_Click(const QString &stationText);
    void F2_Disp_Click();
    void F2_AutoAddr_Click();
    void CopyCom_Click();
    // OK: stores the record into the station in F2_SA.
    void F2_Exit_Click(const QString &stationText);
    void Cancel_Click();

    // The user-parameter and configuration buffers from the record.
    void BuffersFromRecord();

private:
    void SetMeldung(const QString &text);
    // Says so in Meldung when the record grew longer than a job carries.
    void WarnLongRecord();
    // A byte grid's entry: false (and said) when it is not hexadecimal bytes.
    bool GridEntry(const QString &text);
    void PauseOneSecond();
    bool RebuildCfg(const std::vector<int> &modules);
    void ShowGsdCheck(const QString &path);
    // Reads a device file chosen for a stored station; false when refused.
    void LoadForStation(const QString &path, const QString &identText);

    Context &ctx_;
    bool reload_ = true; // Form_Load
    QString savedLine_;
    QString gsdFile_;
    QString deviceFile_;
    QString meldung_ = QStringLiteral("O.K.");
    bool cleared_ = false; // Neu emptied the GSD texts
};

// The hexadecimal byte grid of F2_Prm and F2_cfg: two digits and a
// separator per byte; a pair counts while 3 * i <= length + 1.
std::vector<uint8_t> ParseByteGrid(const QString &text);
// False when a pair holds something other than hexadecimal digits and blanks.
bool ByteGridValid(const QString &text);

} // namespace meridan
