#include "busops/commissioning.h"

#include "config/numentry.h"
#include "core/texts.h"
#include "monitor/debugview.h"
#include "config/image.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcBusops, "meridan.busops", QtWarningMsg)

namespace meridan {

namespace {
// DisableTimer waits for a running tick; a tick that never ends (a wait
// nested inside it) must not hang the command.
constexpr int kTickWaitMs = 3000;
constexpr int kSendRetries = 50;
constexpr int kModeSendBudget = 1000;
constexpr int kModeConfirmBudget = 200;
} // namespace

QString ModeText(uint8_t mode)
{
    switch (mode) {
    case kModeOffline: return QStringLiteral("Offline");
    case kModeStop: return QStringLiteral("Stop");
    case kModeClear: return QStringLiteral("Clear");
    case kModeOperate: return QStringLiteral("Operate");
    default: return {};
    }
}

QString BusStateText(uint8_t busState)
{
    return busState <= 3 ? ModeText(uint8_t(busState << 6)) : QString();
}

Commissioning::Commissioning(Context &ctx, Panel &panel, MasterPort &port) : ctx_(ctx), panel_(panel), port_(&port) {}

bool Commissioning::DisableTimer()
{
    const bool was = panel_.timerEnabled;
    const auto waitIdle = [&] {
        for (int waited = 0; panel_.timerBusy && waited < kTickWaitMs; ++waited)
            ctx_.pump.sleepMs(1);
    };
    waitIdle();
    panel_.timerEnabled = false;
    panel_.notify();
    waitIdle();
    return was;
}

void Commissioning::RestoreTimer(bool wasEnabled)
{
    panel_.timerEnabled = wasEnabled;
    panel_.notify();
}

void Commissioning::LockCommands()
{
    panel_.runEnabled = false;
    panel_.haltEnabled = false;
    panel_.hardwareMenuEnabled = false;
    panel_.debugEnabled = false;
    panel_.eepromMenuState = panel_.eepromMenuEnabled ? -1 : 0;
    panel_.eepromMenuEnabled = false;
    panel_.notify();
}

void Commissioning::UnlockCommands()
{
    panel_.runEnabled = true;
    panel_.haltEnabled = true;
    panel_.hardwareMenuEnabled = true;
    panel_.debugEnabled = true;
    panel_.eepromMenuEnabled = panel_.eepromMenuState != 0;
    panel_.notify();
}

void Commissioning::PauseWithEvents(int ms)
{
    for (int i = 0; i < ms; ++i)
        ctx_.pump.sleepMs(1);
}

void Commissioning::SetModeJob(Record &rec, uint8_t mode)
{
    rec[0] = 0x27;
    rec[3] = mode;
    rec[7] = 0;
}

uint8_t Commissioning::ReplyStatus(uint8_t expectedCode) const
{
    return ctx_.st.mbuf[0] == expectedCode ? ctx_.st.mbuf[2] : 255;
}

// ---- Download and run -------------------------------------------------------

void Commissioning::F1_Run_Click()
{
    LockCommands();
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    if (ctx_.st.interfaceKind == 0) {
        ctx_.status(ctx_.tr(QStringLiteral("no hardware !"), QStringLiteral("keine Hardware !")));
    } else {
        const bool was = DisableTimer();
        ctx_.status(QStringLiteral("StartUp PROFIBUS"));
        panel_.load = false;
        panel_.run = false;
        panel_.betriebsart = QStringLiteral("Offline");
        panel_.notify();
        if (port_->StartUp()) {
            // The master is ready: the first job of the start-up sequence.
            ctx_.st.mbuf[0] = 0;
            startupStep = 1;
            ctx_.st.currentStation = 1;
            downloadStation = 1;
            SetModeJob(ctx_.st.record, kModeOffline);
            port_->PutKomm();
        }
        ctx_.status(QStringLiteral("init"));
        panel_.load = true;
        if (was)
            RestoreTimer(true);
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    UnlockCommands();
}

bool Commissioning::NextDownloadSlave()
{
    ctx_.st.currentStation = downloadStation;
    const bool found = NextSlave(ctx_.st);
    downloadStation = ctx_.st.currentStation;
    return found;
}

void Commissioning::StepMachine()
{
    State &st = ctx_.st;
    const int old = startupStep;
    static constexpr uint8_t kExpected[7] = {0, 0xE7, 0xE4, 0xE5, 0xE7, 0xE7, 0xE7};
    if (startupStep >= 1 && startupStep <= 6 && ReplyStatus(kExpected[startupStep]) == 0) {
        if (startupStep == 6) {
            startupStep = 0;
            ctx_.status(QStringLiteral("PROFIBUS Run O.K"));
        } else {
            ++startupStep;
        }
    }
    if (startupStep <= old)
        return;
    const QString title = ctx_.tr(QStringLiteral("DP-Configurator"), QStringLiteral("DP-Konfigurator"));
    switch (startupStep) {
    case 2:
        if (st.image.hasMaster()) {
            std::copy_n(st.image.slot(0).bytes.begin(), 256, st.record.bytes.begin());
        } else {
            ctx_.ui.message(ctx_.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !")), title);
        }
        break;
    case 3:
        if (!NextDownloadSlave()) {
            ctx_.ui.message(ctx_.tr(QStringLiteral("missing Slave recods !"), QStringLiteral("keine Slave Parameter !")), title);
            startupStep = 0;
            return;
        }
        break;
    case 4:
        if (NextDownloadSlave()) {
            startupStep = 3; // the next 0xE5 fetches the following slave
        } else {
            SetModeJob(st.record, kModeStop);
            startupStep = 4;
        }
        break;
    case 5: SetModeJob(st.record, kModeClear); break;
    case 6: SetModeJob(st.record, kModeOperate); break;
    default: break;
    }
    st.mbuf[0] = 0;
    for (int i = 0; i < kSendRetries; ++i) {
        if (port_->PutKomm() == 1)
            return;
        ctx_.pump.sleepMs(10);
    }
    ctx_.status(ctx_.tr(QStringLiteral("Command error"), QString::fromUtf8("Error bei Kommandoübergabe")));
    --startupStep;
}

// ---- Bus state control ------------------------------------------------------

bool Commissioning::BusyGuard()
{
    // A second command started from inside another one's wait is turned
    // away; the running command keeps the controls locked until it ends.
    if (panel_.busy)
        return false;
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    LockCommands();
    return true;
}

void Commissioning::EndBusy()
{
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    UnlockCommands();
}

bool Commissioning::SendWithBudget(int budget)
{
    uint8_t taken = 0;
    do {
        --budget;
        ctx_.pump.processEvents();
        taken = port_->PutKomm();
    } while (taken != 1 && budget > 0);
    return taken == 1;
}

bool Commissioning::ModeChange(uint8_t mode)
{
    SetModeJob(ctx_.st.record, mode);
    if (!SendWithBudget(kModeSendBudget))
        return false;
    const QString want = ModeText(mode);
    int budget = kModeConfirmBudget;
    do {
        --budget;
        PauseWithEvents(10);
    } while (panel_.betriebsart != want && budget > 0);
    return panel_.betriebsart == want;
}

void Commissioning::F1_Halt_Click()
{
    if (!BusyGuard())
        return;
    ctx_.status(QStringLiteral("Changing profibus state"));
    bool ok = true;
    if (panel_.betriebsart == QLatin1String("Operate"))
        ok = ModeChange(kModeClear) && ModeChange(kModeStop);
    else if (panel_.betriebsart == QLatin1String("Clear"))
        ok = ModeChange(kModeOperate);
    else
        ok = ModeChange(kModeClear) && ModeChange(kModeOperate);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
}

bool Commissioning::SetMode(uint8_t mode)
{
    if (!BusyGuard())
        return false;
    ctx_.status(QStringLiteral("Changing profibus state"));
    const bool ok = ModeChange(mode);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
    return ok;
}

void Commissioning::Command1_Click()
{
    if (!BusyGuard())
        return;
    ctx_.status(QStringLiteral("Send Global Controll"));
    Record &r = ctx_.st.record;
    r[0] = 0x2E;
    r[1] = 127; // broadcast
    r[3] = panel_.gcControl;
    r[4] = panel_.gcGroup;
    r[7] = 0;
    const bool ok = SendWithBudget(kModeSendBudget);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
}

QString Commissioning::GcEntry(const QString &text, uint8_t &target)
{
    // Read like a hexadecimal literal: digits up to the first character that
    // is not one; no digit gives 0. A value above FF does not fit the byte.
    const auto value = LeadingHex(text);
    if (!value || *value > 0xFF) {
        ctx_.ui.message(ctx_.tr(QStringLiteral("value too high"), QString::fromUtf8("Wert zu groß")),
                        HexRangeTitle(ctx_, 0, 0xFF));
        return HexUpper(target);
    }
    target = uint8_t(*value);
    return text;
}

QString Commissioning::Text4_LostFocus(const QString &text) { return GcEntry(text, panel_.gcControl); }
QString Commissioning::Text5_LostFocus(const QString &text) { return GcEntry(text, panel_.gcGroup); }

void Commissioning::EEStart_Click()
{
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    LockCommands();
    const uint8_t kind = ctx_.st.interfaceKind;
    if ((kind == 0 || kind == 1) && port_->boardType() != 0) {
        ctx_.status(QStringLiteral("Only Ravelin or TCP/IP Connection"));
    } else {
        const bool was = DisableTimer();
        ctx_.status(kind == 4 ? QStringLiteral("Start from local Configurationfile") : QStringLiteral("Start Ravelin from EEPROM"));
        const uint32_t start = port_->startByteAddress();
        if (port_->boardVariant()) {
            port_->SetByte(start, 1);
            panel_.betriebsart = QStringLiteral("Stop");
            ctx_.status(QStringLiteral("Stop Dromon"));
            panel_.notify();
            port_->SerialWait(3000);
            port_->resetLiveListRequest();
        }
        port_->SetByte(start, 0);
        panel_.run = true;
        panel_.betriebsart = QStringLiteral("Operate");
        panel_.notify();
        if (port_->boardVariant()) {
            ctx_.status(QStringLiteral("Start Dromon from Flash"));
            port_->SerialWait(3000);
        } else if (port_->boardType() == 0) {
            ctx_.pump.sleepMs(1000);
        } else {
            port_->SerialWait(1000);
        }
        RestoreTimer(was);
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    UnlockCommands();
}

void Commissioning::EEStop_Click()
{
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    LockCommands();
    const bool was = DisableTimer();
    ctx_.status(QStringLiteral("Stop Profibus"));
    port_->SetByte(port_->startByteAddress(), 1);
    panel_.run = false;
    panel_.betriebsart = QStringLiteral("Offline");
    panel_.notify();
    port_->SerialWait(1000);
    RestoreTimer(was);
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    UnlockCommands();
}

// ---- Status poll ------------------------------------------------------------

void Commissioning::Timer1_Timer()
{
    if (panel_.timerBusy)
        return; // a tick is already running further up the stack
    State &st = ctx_.st;
    panel_.timerBusy = true;
    panel_.communication = true;

    switch (st.interfaceKind) {
    case 0: panel_.hwText = ctx_.tr(QStringLiteral("no Hardware"), QStringLiteral("ohne Hardware")); break;
    case 1: panel_.hwText = port_->boardType() == 0 ? QStringLiteral("Corvet") : QStringLiteral("Tessel/DPX"); break;
    case 2: panel_.hwText = QStringLiteral("Ravelin COM1"); break;
    case 3: panel_.hwText = QStringLiteral("Ravelin COM2"); break;
    case 4: panel_.hwText = QStringLiteral("TCP/IP"); break;
    default: break;
    }

    if (st.interfaceKind != 0 && panel_.load && port_->GetMeld() == 1) {
        const auto &m = st.mbuf;
        ctx_.status(ctx_.tr(QStringLiteral("Message : "), QStringLiteral("Meldung : ")) + HexUpper(m[0]) + QStringLiteral("->")
                    + HexUpper(m[2]));
        switch (m[0]) {
        case 0xE1: {
            if (onDiagnosis)
                onDiagnosis();
            const int n = m[7];
            QString line = ctx_.tr(QStringLiteral("Diagnosis "), QStringLiteral("Diagnose ")) + NumText(n)
                + QString::fromUtf8(" Byte´s :");
            for (int i = 8; i <= 7 + n && i < int(m.size()); ++i)
                line += HexByteText(m[std::size_t(i)]);
            ctx_.status(line);
            break;
        }
        case 0xE7: {
            const uint8_t asked = st.record[3];
            if (asked == kModeOffline || asked == kModeStop || asked == kModeClear || asked == kModeOperate) {
                panel_.betriebsart = ModeText(asked);
                st.record[3] = 0xFF;
                if (asked == kModeOperate)
                    panel_.run = true;
            } else if (port_->firmwareVersion() > 5.2 + 1e-9) {
                const uint8_t bus = port_->GetByte(port_->busStateAddress());
                if (bus <= 3) {
                    panel_.betriebsart = BusStateText(bus);
                    if (bus == 3)
                        panel_.run = true;
                }
            }
            break;
        }
        case 0xA8: {
            const QString text = ModeText(m[3]);
            if (!text.isEmpty()) {
                panel_.betriebsart = text;
                if (m[3] == kModeOperate)
                    panel_.run = true;
            }
            break;
        }
        default: break;
        }
        if (!panel_.run) {
            if (m[0] == 0xE4)
                ctx_.status(ctx_.tr(QStringLiteral("Master record loaded"), QStringLiteral("Master Parameter geladen")));
            if (m[0] == 0xE5)
                ctx_.status(QStringLiteral("Slave ") + NumText(st.record[3])
                            + ctx_.tr(QStringLiteral(" record loaded"), QStringLiteral(" Parameter geladen")));
            StepMachine();
        }
    }

    if (port_->serialTimeout()) {
        const uint8_t kind = st.interfaceKind;
        port_->ConnectionLost();
        if (kind == 2 || kind == 3) {
            panel_.eepromMenuEnabled = false;
            panel_.eepromMenuState = 0;
        }
        st.interfaceKind = 0;
        panel_.hwText.clear();
        panel_.betriebsart.clear();
        panel_.load = false;
        panel_.run = false;
    }

    if (panel_.run) {
        panel_.haltEnabled = true;
        panel_.debugEnabled = true;
        const int top = panel_.listTopRow;
        for (int r = 0; r < 8; ++r) {
            const int s = top + kListFirst + r;
            panel_.marks[std::size_t(r)].visible = port_->StationRun(s) == 1;
            panel_.marks[std::size_t(r)].colour = port_->StationDia(s);
        }
        // Moves the running-list cache past the visible rows, so the next
        // tick's first row starts a new round.
        port_->StationRun(top + 19);
    } else {
        panel_.haltEnabled = false;
        panel_.debugEnabled = false;
        for (auto &mark : panel_.marks)
            mark.visible = false;
    }

    panel_.timerBusy = false;
    panel_.communication = false;
    panel_.notify();
}

void Commissioning::RequestDiagnosis(int station)
{
    State &st = ctx_.st;
    if (station < 1 || station >= kSlots || !st.image.hasSlave(station))
        return;
    st.record[0] = 0x21;
    st.record[3] = uint8_t(station);
    st.record[7] = 0;
    const bool was = DisableTimer();
    port_->PutKomm();
    RestoreTimer(was);
}

} // namespace meridan
