#pragma once
// The bus commands of the main window and the status poll that drives them:
// download and run, Halt/Go, Global Control, EEPROM start and stop, and the
// timer tick. One object for the program's run; the window and the CLI call
// in, the tests drive it with a scripted master and virtual time.
#include "core/context.h"
#include "busops/master_port.h"
#include "monitor/panel.h"

#include <QString>
#include <functional>
#include <optional>

namespace meridan {

// Mode codes of the set-mode job and the texts the mode display shows.
constexpr uint8_t kModeOffline = 0x00;
constexpr uint8_t kModeStop = 0x40;
constexpr uint8_t kModeClear = 0x80;
constexpr uint8_t kModeOperate = 0xC0;
QString ModeText(uint8_t mode);          // "" for an unknown code
QString BusStateText(uint8_t busState);  // 0..3; "" otherwise

// A master with nothing behind it: reads give 0, writes vanish, every job is
// "taken" (both toggle bytes read 0) and no message ever comes.
class NoMaster : public MasterPort {
public:
    uint8_t PutKomm() override { return 1; }
    uint8_t GetMeld() override { return 0; }
    uint8_t StationRun(int) override { return 0; }
    uint32_t StationDia(int) override { return 0xFF0000; }
    uint8_t GetByte(uint32_t) override { return 0; }
    void SetByte(uint32_t, uint8_t) override {}
    bool serialTimeout() const override { return false; }
    void ConnectionLost() override {}
    bool StartUp() override { return false; }
    void SerialWait(int) override {}
    void resetLiveListRequest() override {}
    double firmwareVersion() const override { return 0; }
    uint16_t boardType() const override { return 0x2000; }
    uint32_t busStateAddress() const override { return 0; }
    uint32_t startByteAddress() const override { return 0; }
    bool boardVariant() const override { return false; }
};

class Commissioning {
public:
    Commissioning(Context &ctx, Panel &panel, MasterPort &port);

    void setPort(MasterPort &port) { port_ = &port; }
    MasterPort &port() { return *port_; }
    Panel &panel() { return panel_; }

    // Stops the status timer after any running tick; returns whether it ran.
    bool DisableTimer();
    void RestoreTimer(bool wasEnabled);
    void LockCommands();
    void UnlockCommands();

    // Download and run.
    void F1_Run_Click();
    void StepMachine();
    static void SetModeJob(Record &rec, uint8_t mode);
    uint8_t ReplyStatus(uint8_t expectedCode) const;
    int startupStep = 0;
    // Where the download's walk over the slaves stands. Kept apart from the
    // current station, which a click in the station list changes meanwhile.
    int downloadStation = 0;

    // Bus state control.
    void F1_Halt_Click();
    // One mode change with Halt/Go's budgets and texts; true when confirmed.
    bool SetMode(uint8_t mode);
    void Command1_Click();
    // Text4 / Text5: hexadecimal; an entry above FF is refused and the old
    // value kept. Returns the text the field should show afterwards.
    QString Text4_LostFocus(const QString &text);
    QString Text5_LostFocus(const QString &text);
    void EEStart_Click();
    void EEStop_Click();

    // The status poll: one tick.
    void Timer1_Timer();
    // Called by the tick for each station diagnosis message (the diagnosis window).
    std::function<void()> onDiagnosis;

    // The diagnosis request of a station selected in the list.
    void RequestDiagnosis(int station);

private:
    bool NextDownloadSlave();
    bool BusyGuard();
    void EndBusy();
    bool SendWithBudget(int budget);
    bool ModeChange(uint8_t mode);
    void PauseWithEvents(int ms);
    QString GcEntry(const QString &text, uint8_t &target);

    Context &ctx_;
    Panel &panel_;
    MasterPort *port_;
};

} // namespace meridan
