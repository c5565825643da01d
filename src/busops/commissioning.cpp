// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/commissioning.h"

#include "config/image.h"
#include "config/numentry.h"
#include "core/numbers.h"
#include "core/texts.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcBusops, "meridan.busops", QtWarningMsg)

namespace meridan {

using iface::BusMode;
using iface::JobCode;
using iface::MsgCode;

namespace {
constexpr int kSendRetries = 50;
constexpr int kModeSendBudget = 1000;
constexpr int kModeConfirmBudget = 200;

// The title of the download's message boxes.
QString RunTitle(const Context &ctx)
{
    return ctx.tr(QStringLiteral("DP-Configurator"), QStringLiteral("DP-Konfigurator"));
}
} // namespace

Commissioning::Commissioning(Context &ctx, Connection &conn) : ctx_(ctx), conn_(conn), panel_(conn.panel()) {}

uint8_t Commissioning::ReplyStatus(MsgCode expected) const
{
    return iface::IsMessage(ctx_.st.mbuf, expected) ? ctx_.st.mbuf[2] : 255;
}

// ---- Download and run -------------------------------------------------------

void Commissioning::F1_Run_Click()
{
    conn_.LockCommands();
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    if (!conn_.connected()) {
        ctx_.status(ctx_.tr(QStringLiteral("no hardware !"), QStringLiteral("keine Hardware !")));
    } else if (!Downloadable()) {
        // Said before anything goes to the board: a running bus is not
        // stopped for a configuration that cannot be downloaded.
    } else {
        const bool was = conn_.DisableTimer();
        ctx_.status(QStringLiteral("StartUp PROFIBUS"));
        panel_.load = false;
        panel_.run = false;
        panel_.mode = BusMode::Offline;
        panel_.notify();
        if (conn_.StartUp()) {
            // The master is ready: the first job of the start-up sequence.
            ctx_.st.mbuf[0] = 0;
            startupStep = 1;
            ctx_.st.currentStation = 1;
            downloadStation = 1;
            iface::SetJob(ctx_.st.record, JobCode::SetMode, iface::Code(BusMode::Offline));
            conn_.link().putJob(ctx_.st.record);
            PaceDownload(true);
        }
        ctx_.status(QStringLiteral("init"));
        panel_.load = true;
        if (was)
            conn_.RestoreTimer(true);
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
}

bool Commissioning::Downloadable()
{
    const ConfigImage &image = ctx_.st.image;
    const QString title = RunTitle(ctx_);
    if (!image.hasMaster()) {
        ctx_.ui.message(ctx_.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !")), title);
        return false;
    }
    // The stations the download walks over (NextSlave).
    for (int s = 2; s <= 100; ++s) {
        if (image.hasSlave(s))
            return true;
    }
    ctx_.ui.message(ctx_.tr(QStringLiteral("missing Slave recods !"), QStringLiteral("keine Slave Parameter !")), title);
    return false;
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
    // The reply each step waits for before the next job goes out.
    static constexpr MsgCode kExpected[7] = {MsgCode::ModeSet, MsgCode::ModeSet, MsgCode::MasterLoaded, MsgCode::SlaveLoaded,
                                             MsgCode::ModeSet, MsgCode::ModeSet, MsgCode::ModeSet};
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
    const QString title = RunTitle(ctx_);
    const auto modeJob = [&](BusMode m) { iface::SetJob(st.record, JobCode::SetMode, iface::Code(m)); };
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
            modeJob(BusMode::Stop);
            startupStep = 4;
        }
        break;
    case 5: modeJob(BusMode::Clear); break;
    case 6: modeJob(BusMode::Operate); break;
    default: break;
    }
    st.mbuf[0] = 0;
    // A lost board (a serial time-out) ends the retries: the next tick reports it.
    for (int i = 0; i < kSendRetries && !conn_.link().lost(); ++i) {
        if (conn_.link().putJob(st.record))
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
    conn_.LockCommands();
    return true;
}

void Commissioning::EndBusy()
{
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
}

bool Commissioning::SendWithBudget(int budget)
{
    bool taken = false;
    do {
        --budget;
        ctx_.pump.processEvents();
        taken = conn_.link().putJob(ctx_.st.record);
    } while (!taken && budget > 0 && !conn_.link().lost());
    return taken;
}

bool Commissioning::ModeChange(BusMode mode)
{
    iface::SetJob(ctx_.st.record, JobCode::SetMode, iface::Code(mode));
    if (!SendWithBudget(kModeSendBudget))
        return false;
    // The status poll takes the confirmation in and shows the new mode.
    int budget = kModeConfirmBudget;
    do {
        --budget;
        for (int i = 0; i < 10; ++i)
            ctx_.pump.sleepMs(1);
    } while (panel_.mode != mode && budget > 0);
    return panel_.mode == mode;
}

void Commissioning::F1_Halt_Click()
{
    if (!BusyGuard())
        return;
    ctx_.status(QStringLiteral("Changing profibus state"));
    bool ok = true;
    if (panel_.mode == BusMode::Operate)
        ok = ModeChange(BusMode::Clear) && ModeChange(BusMode::Stop);
    else if (panel_.mode == BusMode::Clear)
        ok = ModeChange(BusMode::Operate);
    else
        ok = ModeChange(BusMode::Clear) && ModeChange(BusMode::Operate);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
}

bool Commissioning::SetMode(BusMode mode)
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
    iface::SetJob(r, JobCode::GlobalControl, panel_.gcControl);
    r[1] = 127; // to every station
    r[4] = panel_.gcGroup;
    const bool ok = SendWithBudget(kModeSendBudget);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
}

QString Commissioning::GcEntry(const QString &text, uint8_t &target)
{
    // Read like a hexadecimal literal: digits up to the first character that
    // is not one; no digit gives 0. A value above FF does not fit the byte.
    const auto value = LeadingHex(QStringView(text).trimmed(), 0xFF);
    if (!value) {
        EntryMessage(ctx_, EntryProblem::TooHigh, HexRangeTitle(ctx_, 0, 0xFF));
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
    conn_.LockCommands();
    iface::Link &link = conn_.link();
    if (link.traits().store == iface::ConfigStore::None) {
        ctx_.status(QStringLiteral("Only Ravelin or TCP/IP Connection"));
    } else {
        const bool was = conn_.DisableTimer();
        ctx_.status(link.traits().eepromStartText);
        const uint32_t start = link.map().startByte;
        if (link.boardVariant) {
            link.setByte(start, 1);
            panel_.mode = BusMode::Stop;
            ctx_.status(QStringLiteral("Stop Dromon"));
            panel_.notify();
            link.quietWait(3000);
            link.restartLiveList();
        }
        link.setByte(start, 0);
        panel_.run = true;
        panel_.mode = BusMode::Operate;
        panel_.notify();
        if (link.boardVariant)
            ctx_.status(QStringLiteral("Start Dromon from Flash"));
        link.quietWait(link.boardVariant ? 3000 : 1000);
        conn_.RestoreTimer(was);
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
}

void Commissioning::EEStop_Click()
{
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    conn_.LockCommands();
    const bool was = conn_.DisableTimer();
    ctx_.status(QStringLiteral("Stop Profibus"));
    iface::Link &link = conn_.link();
    link.setByte(link.map().startByte, 1);
    panel_.run = false;
    panel_.mode = BusMode::Offline;
    panel_.notify();
    link.quietWait(1000);
    conn_.RestoreTimer(was);
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
}

// ---- Status poll ------------------------------------------------------------

// One master message: logged in the message line, the mode display updated,
// the download moved on.
void Commissioning::TakeMessage()
{
    State &st = ctx_.st;
    const auto &m = st.mbuf;
    if (onMessage)
        onMessage();
    ctx_.status(ctx_.tr(QStringLiteral("Message : "), QStringLiteral("Meldung : ")) + HexUpper(m[0]) + QStringLiteral("->")
                + HexUpper(m[2]));
    switch (MsgCode(m[0])) {
    case MsgCode::StationDiagnosis: {
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
    case MsgCode::ModeSet: {
        // The set-mode job still in the record buffer says which mode was asked for.
        if (const auto asked = iface::BusModeOf(st.record[3])) {
            panel_.mode = asked;
            st.record[3] = 0xFF;
            if (asked == BusMode::Operate)
                panel_.run = true;
        } else if (conn_.link().firmwareVersion > 5.2 + 1e-9) {
            const iface::Link &link = conn_.link();
            if (const auto bus = iface::BusModeOfState(conn_.link().getByte(link.map().busState))) {
                panel_.mode = bus;
                if (bus == BusMode::Operate)
                    panel_.run = true;
            }
        }
        break;
    }
    case MsgCode::ModeReport:
        if (const auto mode = iface::BusModeOf(m[3])) {
            panel_.mode = mode;
            if (mode == BusMode::Operate)
                panel_.run = true;
        }
        break;
    default: break;
    }
    if (!panel_.run) {
        if (iface::IsMessage(m, MsgCode::MasterLoaded))
            ctx_.status(ctx_.tr(QStringLiteral("Master record loaded"), QStringLiteral("Master Parameter geladen")));
        if (iface::IsMessage(m, MsgCode::SlaveLoaded))
            ctx_.status(QStringLiteral("Slave ") + NumText(st.record[3])
                        + ctx_.tr(QStringLiteral(" record loaded"), QStringLiteral(" Parameter geladen")));
        StepMachine();
    }
}

// A mark beside each visible station row: shown while the station runs, red
// with diagnosis, blue without.
void Commissioning::PaintMarks()
{
    iface::Link &link = conn_.link();
    if (panel_.run) {
        panel_.haltEnabled = true;
        panel_.debugEnabled = true;
        const int top = std::clamp(panel_.listTopRow, 0, int(panel_.marks.size()) - 1);
        const int rows = std::clamp(panel_.listRows, 1, int(panel_.marks.size()) - top);
        for (int r = 0; r < int(panel_.marks.size()); ++r) {
            StationMark &mark = panel_.marks[std::size_t(r)];
            const int s = top + kListFirst + r;
            mark.visible = r < rows && link.stationRunning(s);
            mark.colour = r < rows && link.stationDiagnosis(s) ? kMarkRed : kMarkBlue;
        }
        // Moves the running-list cache past the visible rows, so the next
        // tick's first row starts a new round.
        link.stationRunning(std::max(top + kListFirst + 9, top + kListFirst + rows + 1));
    } else {
        panel_.haltEnabled = false;
        panel_.debugEnabled = false;
        for (auto &mark : panel_.marks)
            mark.visible = false;
    }
}

void Commissioning::Timer1_Timer()
{
    if (panel_.timerBusy)
        return; // a tick is already running further up the stack
    panel_.timerBusy = true;
    panel_.communication = true;
    panel_.hwText = conn_.hwText();
    bool took = false;
    if (conn_.connected() && panel_.load && conn_.link().getMessage()) {
        TakeMessage();
        took = true;
    }
    conn_.CheckLost();
    PaceDownload(took && (downloading() || walking));
    PaintMarks();
    panel_.timerBusy = false;
    panel_.communication = false;
    panel_.notify();
}

void Commissioning::PaceDownload(bool progress)
{
    const qint64 now = ctx_.pump.nowMs();
    if (progress)
        lastProgress_ = now;
    const bool fast = ctx_.st.fastDownload && (downloading() || walking) && conn_.connected() && now - lastProgress_ < kFastIdleMs;
    if (fast && normalInterval_ == 0) {
        normalInterval_ = panel_.timerInterval;
        panel_.timerInterval = kFastPollMs;
    } else if (!fast && normalInterval_ != 0) {
        panel_.timerInterval = normalInterval_;
        normalInterval_ = 0;
    }
}

void Commissioning::RequestDiagnosis(int station)
{
    State &st = ctx_.st;
    if (station < 1 || station >= kSlots || !st.image.hasSlave(station) || !conn_.connected())
        return;
    iface::SetJob(st.record, JobCode::StationDiagnosis, uint8_t(station));
    const bool was = conn_.DisableTimer();
    conn_.link().putJob(st.record);
    conn_.RestoreTimer(was);
}

} // namespace meridan
