// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/commissioning.h"

#include "busops/run_budget.h"
#include "config/image.h"
#include "config/numentry.h"
#include "core/numbers.h"
#include "core/texts.h"

#include <QLoggingCategory>
#include <QScopeGuard>
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
// A master answers a job at once; a serial line at 9600 baud takes about a
// second to carry the reply that reads the master record back.
constexpr int kAliveWaitMs = 5000;
// After the start byte, a master starting from its EEPROM reports its mode
// within this.
constexpr int kEepromModeWaitMs = 3000;

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

BusOutcome Commissioning::F1_Run_Click()
{
    BusOutcome out;
    conn_.LockCommands();
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    if (!conn_.connected()) {
        ctx_.status(NoHardwareText());
        out = Outcome::Fail(Failure::NoBoard, NoHardwareText());
    } else if (const QString why = NotDownloadable(); !why.isEmpty()) {
        // Said before anything goes to the board: a running bus is not
        // stopped for a configuration that cannot be downloaded.
        ctx_.ui.message(why, RunTitle(ctx_));
        out = Outcome::Fail(Failure::Refused, why);
    } else if (const QString why = CutRecords(); !why.isEmpty()) {
        out = Outcome::Fail(Failure::Refused, why);
    } else {
        if (beforeModeChange)
            beforeModeChange();
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
        } else {
            out = conn_.PastDeadline() || !conn_.link().lost()
                ? Outcome::Fail(Failure::NoAnswer, ctx_.tr(QStringLiteral("the master did not start"), QStringLiteral("der Master startete nicht")))
                : conn_.LinkFailure(ctx_.tr(QStringLiteral("the master did not start"), QStringLiteral("der Master startete nicht")));
        }
        ctx_.status(QStringLiteral("init"));
        panel_.load = true;
        if (was)
            conn_.RestoreTimer(true);
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
    return out;
}

QString Commissioning::NoHardwareText() const
{
    return ctx_.tr(QStringLiteral("no hardware ! Choose the board in the Hardware menu."),
                   QString::fromUtf8("keine Hardware ! Die Karte im Menü Hardware wählen."));
}

QString Commissioning::CutRecords()
{
    // A job carries 244 bytes of a record: a longer one reaches the master
    // cut. Refused when the master would miss parameters or identifier
    // bytes; said when only the program's own part (name, modules) stays behind.
    QStringList refused, warned;
    for (const LongRecord &r : LongRecords(ctx_.st.image))
        (r.masterPartCut ? refused : warned) << ctx_.tr(QStringLiteral("station%1 (%2 bytes)"), QStringLiteral("Station%1 (%2 Bytes)"))
                                                  .arg(NumText(r.station))
                                                  .arg(r.length);
    if (!refused.isEmpty()) {
        const QString why = ctx_.tr(QStringLiteral("Not downloaded: a job carries 244 bytes of a record; the master would not get "
                                                   "all parameters and identifier bytes of %1"),
                                    QStringLiteral("Nicht geladen: ein Auftrag trägt 244 Bytes eines Parametersatzes; dem Master "
                                                   "fehlten Parameter und Kennungsbytes von %1"))
                                .arg(refused.join(QStringLiteral(", ")));
        ctx_.ui.message(why, RunTitle(ctx_));
        return why;
    }
    if (!warned.isEmpty())
        ctx_.ui.message(ctx_.tr(QStringLiteral("A job carries 244 bytes of a record: the master gets %1 without the name and "
                                               "module list at its end (the file keeps them)"),
                                QStringLiteral("Ein Auftrag trägt 244 Bytes eines Parametersatzes: der Master erhält %1 ohne "
                                               "Namen und Modulliste am Ende (die Datei behält sie)"))
                            .arg(warned.join(QStringLiteral(", "))),
                        RunTitle(ctx_), Icon::Warning);
    return {};
}

QString Commissioning::NotDownloadable() const
{
    const ConfigImage &image = ctx_.st.image;
    if (!image.hasMaster())
        return ctx_.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !"));
    // The stations the download walks over (NextSlave).
    return DownloadSlaves(image) > 0 ? QString()
                                     : ctx_.tr(QStringLiteral("missing Slave recods !"), QStringLiteral("keine Slave Parameter !"));
}

bool Commissioning::WaitUntil(const std::function<bool()> &done, qint64 deadlineMs)
{
    while (!done()) {
        if (ctx_.pump.nowMs() >= deadlineMs)
            return false;
        ctx_.pump.sleepMs(5);
    }
    return true;
}

int Commissioning::LoadedSlaves() const
{
    const ConfigImage &image = ctx_.st.image;
    if (startupStep == 1 || startupStep == 2)
        return 0;
    if (startupStep != 3)
        return DownloadSlaves(image);
    int loaded = 0;
    for (int s = kFirstDownloaded; s < downloadStation && s < kSlots; ++s)
        loaded += image.hasSlave(s) ? 1 : 0;
    return loaded;
}

BusOutcome Commissioning::RunToOperate(qint64 deadlineMs)
{
    const int total = DownloadSlaves(ctx_.st.image);
    const QString noAnswer = ctx_.tr(QStringLiteral("no answer from the master"), QStringLiteral("keine Antwort vom Master"));
    if (conn_.connected() && NotDownloadable().isEmpty()) {
        // A DP-RAM left behind by a board that died looks alive byte for
        // byte: ask the master before the long road.
        const int alive = int(std::clamp<qint64>(deadlineMs - ctx_.pump.nowMs(), 0, kAliveWaitMs));
        if (!conn_.MasterAnswers(alive)) {
            BusOutcome out = conn_.link().lost() ? BusOutcome(conn_.LinkFailure(noAnswer)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, noAnswer));
            out.total = total;
            return out;
        }
    }
    BusOutcome out = F1_Run_Click();
    out.total = total;
    if (!out)
        return out;
    WaitUntil([&] { return panel_.operating() || !conn_.connected(); }, deadlineMs);
    if (panel_.operating() && conn_.connected()) {
        out.loaded = total;
        out.mode = conn_.BoardMode().value_or(BusMode::Operate);
        if (out.mode != BusMode::Operate)
            return NotReached(BusMode::Operate, ctx_.tr(QStringLiteral("the bus did not stay in Operate"),
                                                        QStringLiteral("der Bus blieb nicht in Operate")));
        return out;
    }
    // Where the download stopped: what the master now holds.
    const int loaded = LoadedSlaves();
    QString why;
    if (!conn_.connected() && !conn_.PastDeadline()) {
        out = conn_.LinkFailure(ctx_.tr(QStringLiteral("connection lost"), QStringLiteral("Verbindung verloren")));
    } else {
        why = ctx_.tr(QStringLiteral("no Operate within the time-out"), QStringLiteral("kein Operate innerhalb der Zeit"));
        if (const auto mode = conn_.BoardMode())
            why += ctx_.tr(QStringLiteral(" (the board reports %1)"), QStringLiteral(" (die Karte meldet %1)")).arg(iface::BusModeText(*mode));
        out = Outcome::Fail(Failure::NoAnswer, why);
        out.mode = conn_.BoardMode();
    }
    if (startupStep == 2 || startupStep == 3)
        out.why += QLatin1Char('\n')
            + ctx_.tr(QStringLiteral("the time-out ended the download half-way: %1 of %2 slave records loaded; "
                                     "the master holds an incomplete configuration"),
                      QStringLiteral("die Zeit endete den Download auf halbem Weg: %1 von %2 Slave-Parametersätzen geladen; "
                                     "der Master hält eine unvollständige Konfiguration"))
                  .arg(loaded)
                  .arg(total);
    out.loaded = loaded;
    out.total = total;
    return out;
}

BusOutcome Commissioning::NotReached(BusMode wanted, const QString &what)
{
    BusOutcome out;
    out.mode = conn_.BoardMode();
    const QString reports = out.mode ? iface::BusModeText(*out.mode) : ctx_.tr(QStringLiteral("no mode"), QStringLiteral("keine Betriebsart"));
    out.failure = Failure::BoardError;
    out.why = what + ctx_.tr(QStringLiteral(": the board reports %1, not %2"), QStringLiteral(": die Karte meldet %1, nicht %2"))
                         .arg(reports, iface::BusModeText(wanted));
    return out;
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

BusOutcome Commissioning::ModeChange(BusMode mode)
{
    if (beforeModeChange)
        beforeModeChange();
    iface::SetJob(ctx_.st.record, JobCode::SetMode, iface::Code(mode));
    // The master's confirmation carries a status: not 0 when it refused.
    std::optional<uint8_t> refusal;
    const auto before = onMessage;
    onMessage = [&, before] {
        if (before)
            before();
        if (iface::IsMessage(ctx_.st.mbuf, MsgCode::ModeSet) && ctx_.st.mbuf[2] != 0 && !refusal)
            refusal = ctx_.st.mbuf[2];
    };
    const auto restore = qScopeGuard([&] { onMessage = before; });
    const QString text = iface::BusModeText(mode);
    if (!SendWithBudget(kModeSendBudget)) {
        const QString why = ctx_.tr(QStringLiteral("the master did not take the job for %1"), QStringLiteral("der Master nahm den Auftrag für %1 nicht an")).arg(text);
        return conn_.link().lost() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, why));
    }
    // The status poll takes the confirmation in and shows the new mode.
    int budget = kModeConfirmBudget;
    do {
        --budget;
        for (int i = 0; i < 10; ++i)
            ctx_.pump.sleepMs(1);
    } while (panel_.mode != mode && !refusal && budget > 0);
    if (refusal) {
        BusOutcome out = NotReached(mode, ctx_.tr(QStringLiteral("the master refused %1 (code %2)"), QStringLiteral("der Master lehnte %1 ab (Code %2)"))
                                              .arg(text)
                                              .arg(*refusal));
        out.boardCode = *refusal;
        // What the board says, not what was asked for.
        if (out.mode)
            panel_.mode = out.mode;
        panel_.notify();
        return out;
    }
    if (panel_.mode != mode) {
        if (!conn_.connected() || conn_.link().lost())
            return conn_.LinkFailure(ctx_.tr(QStringLiteral("no confirmation of %1"), QStringLiteral("keine Bestätigung für %1")).arg(text));
        BusOutcome out = Outcome::Fail(Failure::NoAnswer, ctx_.tr(QStringLiteral("no confirmation of %1 from the master"),
                                                                  QStringLiteral("keine Bestätigung für %1 vom Master"))
                                                               .arg(text));
        out.mode = conn_.BoardMode();
        return out;
    }
    BusOutcome out;
    out.mode = conn_.BoardMode();
    if (out.mode && out.mode != mode)
        return NotReached(mode, ctx_.tr(QStringLiteral("the master confirmed %1"), QStringLiteral("der Master bestätigte %1")).arg(text));
    out.mode = mode;
    return out;
}

namespace {
// The message line after a mode change.
QString ModeChangeText(const Context &ctx, const BusOutcome &out)
{
    if (out)
        return QStringLiteral("Changing profibus state: OK");
    if (out.failure == Failure::BoardError)
        return QStringLiteral("Changing profibus state: ") + out.why;
    return QStringLiteral("Timeout changing state");
}
} // namespace

BusOutcome Commissioning::F1_Halt_Click()
{
    if (!BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    ctx_.status(QStringLiteral("Changing profibus state"));
    BusOutcome out;
    if (panel_.mode == BusMode::Operate) {
        out = ModeChange(BusMode::Clear);
        if (out)
            out = ModeChange(BusMode::Stop);
    } else if (panel_.mode == BusMode::Clear) {
        out = ModeChange(BusMode::Operate);
    } else {
        out = ModeChange(BusMode::Clear);
        if (out)
            out = ModeChange(BusMode::Operate);
    }
    ctx_.status(ModeChangeText(ctx_, out));
    EndBusy();
    return out;
}

BusOutcome Commissioning::SetMode(BusMode mode)
{
    if (!BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    ctx_.status(QStringLiteral("Changing profibus state"));
    const BusOutcome out = ModeChange(mode);
    ctx_.status(ModeChangeText(ctx_, out));
    EndBusy();
    return out;
}

BusOutcome Commissioning::Command1_Click()
{
    if (!BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    ctx_.status(QStringLiteral("Send Global Controll"));
    Record &r = ctx_.st.record;
    iface::SetJob(r, JobCode::GlobalControl, panel_.gcControl);
    r[1] = 127; // to every station
    r[4] = panel_.gcGroup;
    const bool ok = SendWithBudget(kModeSendBudget);
    ctx_.status(ok ? QStringLiteral("Changing profibus state: OK") : QStringLiteral("Timeout changing state"));
    EndBusy();
    if (ok)
        return {};
    const QString why = ctx_.tr(QStringLiteral("the master did not take the Global Control job"),
                                QStringLiteral("der Master nahm den Global-Control-Auftrag nicht an"));
    return conn_.link().lost() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, why));
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

BusOutcome Commissioning::EEStart_Click()
{
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    conn_.LockCommands();
    iface::Link &link = conn_.link();
    BusOutcome out;
    bool started = false;
    if (link.traits().store == iface::ConfigStore::None) {
        const QString text = QStringLiteral("Only Ravelin or TCP/IP Connection");
        ctx_.status(text);
        out = Outcome::Fail(conn_.connected() ? Failure::Refused : Failure::NoBoard, text);
    } else {
        if (beforeModeChange)
            beforeModeChange();
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
        started = true;
    }
    panel_.busy = false;
    ctx_.ui.setBusy(false);
    conn_.UnlockCommands();
    // The window shows Operate at once; whether the master really runs is
    // what its bus-state byte says once it had time to start.
    if (!started)
        return out;
    out = WaitForMode(BusMode::Operate, ctx_.pump.nowMs() + kEepromModeWaitMs);
    if (out.failure == Failure::BoardError)
        out.why = ctx_.tr(QStringLiteral("the master did not start from its EEPROM"), QStringLiteral("der Master startete nicht aus dem EEPROM"))
            + out.why.mid(out.why.indexOf(QStringLiteral(": ")));
    return out;
}

BusOutcome Commissioning::EEStop_Click()
{
    panel_.busy = true;
    ctx_.ui.setBusy(true);
    conn_.LockCommands();
    if (beforeModeChange)
        beforeModeChange();
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
    return WaitForMode(BusMode::Offline, ctx_.pump.nowMs() + kEepromModeWaitMs);
}

BusOutcome Commissioning::WaitForMode(BusMode mode, qint64 deadlineMs)
{
    if (!conn_.connected())
        return Outcome::Fail(Failure::NoBoard, NoHardwareText());
    std::optional<BusMode> seen;
    const auto gone = [&] { return !conn_.connected() || conn_.link().lost(); };
    const bool reached = WaitUntil(
        [&] {
            if (gone())
                return true;
            seen = conn_.BoardMode();
            if (seen == mode)
                return true;
            ctx_.pump.sleepMs(45); // a read every 50 ms is plenty on any line
            return false;
        },
        deadlineMs);
    if (gone())
        return conn_.LinkFailure(ctx_.tr(QStringLiteral("the master stopped answering"), QStringLiteral("der Master antwortet nicht mehr")));
    if (!reached || seen != mode)
        return NotReached(mode, ctx_.tr(QStringLiteral("no %1 within the time-out"), QStringLiteral("kein %1 innerhalb der Zeit"))
                                    .arg(iface::BusModeText(mode)));
    BusOutcome out;
    out.mode = mode;
    return out;
}

Commissioning::Status Commissioning::ReadStatus(int aliveMs)
{
    Status st;
    const QString noAnswer = ctx_.tr(QStringLiteral("no answer from the master"), QStringLiteral("keine Antwort vom Master"));
    if (!conn_.connected()) {
        st.outcome = Outcome::Fail(Failure::NoBoard, NoHardwareText());
        return st;
    }
    if (!conn_.MasterAnswers(aliveMs)) {
        st.outcome = conn_.link().lost() ? BusOutcome(conn_.LinkFailure(noAnswer)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, noAnswer));
        return st;
    }
    // The poll takes the master's messages in from here on, also on a Tessel
    // card where the window waits for "Run" before it ticks "Firmware Load".
    panel_.load = true;
    // A board that sends its lists when asked gets asked for every part of
    // them (two bytes of each list a frame); the others are read directly.
    bool asked = false;
    for (int i = 0; i <= 16 && conn_.connected(); i += 2) {
        if (conn_.link().orderLiveList(i)) {
            asked = true;
            WaitUntil([] { return false; }, ctx_.pump.nowMs() + 250);
        }
    }
    if (!asked)
        WaitUntil([] { return false; }, ctx_.pump.nowMs() + 200); // the tick takes waiting messages in
    const QString stopped = ctx_.tr(QStringLiteral("the master stopped answering"), QStringLiteral("der Master antwortet nicht mehr"));
    // The link goes when it is lost (the poll replaces it): ask for it anew.
    if (!conn_.connected() || conn_.link().lost()) {
        st.outcome = conn_.LinkFailure(stopped);
        return st;
    }
    iface::Link &link = conn_.link();
    for (int i = 0; i < 16; ++i) {
        const uint8_t run = link.listByte(0, i);
        const uint8_t dia = link.listByte(1, i);
        for (int s = 8 * i; s < 8 * i + 8 && s <= 125; ++s) {
            if ((run >> (s % 8)) & 1)
                st.running << s;
            if ((dia >> (s % 8)) & 1)
                st.diagnosis << s;
        }
    }
    st.outcome.mode = conn_.BoardMode();
    if (!st.outcome.mode)
        st.outcome.mode = panel_.mode;
    st.firmware = link.versionText;
    if (link.lost())
        st.outcome = conn_.LinkFailure(stopped);
    return st;
}

Commissioning::Diagnosis Commissioning::FetchDiagnosis(int station, int ms)
{
    Diagnosis d;
    if (!conn_.connected()) {
        d.outcome = Outcome::Fail(Failure::NoBoard, NoHardwareText());
        return d;
    }
    State &st = ctx_.st;
    panel_.load = true; // the poll takes the reply in
    bool got = false;
    const auto before = onDiagnosis;
    onDiagnosis = [&, before] {
        if (before)
            before();
        got = true;
    };
    const auto restore = qScopeGuard([&] { onDiagnosis = before; });
    st.currentStation = station;
    // The request goes whether or not this configuration holds the slave.
    Record job;
    iface::SetJob(job, JobCode::StationDiagnosis, uint8_t(station));
    const qint64 end = ctx_.pump.nowMs() + ms;
    const auto gone = [&] { return !conn_.connected() || conn_.link().lost(); };
    if (WaitUntil([&] { return gone() || conn_.link().putJob(job); }, end) && !gone())
        WaitUntil([&] { return got || gone(); }, end);
    const QString none = ctx_.tr(QStringLiteral("no diagnosis from the master"), QStringLiteral("keine Diagnose vom Master"));
    if (gone()) {
        d.outcome = conn_.LinkFailure(none);
        return d;
    }
    if (!got) {
        d.outcome = Outcome::Fail(Failure::NoAnswer, none);
        return d;
    }
    const std::size_t n = std::min<std::size_t>(st.mbuf[7], st.mbuf.size() - 8);
    d.bytes.assign(st.mbuf.begin() + 8, st.mbuf.begin() + 8 + long(n));
    return d;
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
    if (onPollMessage && onPollMessage())
        return;
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
        // The set-mode job still in the record buffer says which mode was
        // asked for; a master that refused it (status not 0) stays where it was.
        if (const auto asked = iface::BusModeOf(st.record[3]); asked && m[2] != 0) {
            st.record[3] = 0xFF;
        } else if (asked) {
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
            // A configured station outside the data exchange (a fault, a
            // station missing from the bus) has a mark of its own.
            const bool shown = r < rows;
            const bool running = shown && link.stationRunning(s);
            const bool diagnosis = shown && link.stationDiagnosis(s);
            mark.visible = running || (shown && s <= kListLast && ctx_.st.image.hasSlave(s));
            mark.colour = running ? (diagnosis ? kMarkRed : kMarkBlue) : kMarkIdle;
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
    const bool lost = conn_.CheckLost();
    PaceDownload(took && (downloading() || walking));
    PaintMarks();
    if (onTickEnd)
        onTickEnd(lost);
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
