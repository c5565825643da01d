// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/connection.h"

#include "core/paths.h"
#include "core/texts.h"

#include <QLoggingCategory>

namespace meridan {

namespace {

// DisableTimer waits for a running tick; a tick that never ends (a wait
// nested inside it) must not hang the command.
constexpr int kTickWaitMs = 3000;
constexpr int kReadyRounds = 500;
constexpr int kReadyRoundMs = 10;
constexpr int kReadyErrorLimit = 10;

// The busy cursor for the length of one connection attempt.
struct Busy {
    Prompts &ui;
    explicit Busy(Prompts &p) : ui(p) { ui.setBusy(true); }
    ~Busy() { ui.setBusy(false); }
};

} // namespace

Connection::Connection(Context &ctx, Panel &panel, LinkOpener opener)
    : ctx_(ctx), panel_(panel), opener_(std::move(opener)), env_{ctx.root, ctx.pump, ctx.st.mbuf, {}, {}}
{
    // A board that stopped answering fails every command until the poll
    // notices: one box says so, under the program's name.
    env_.onCommandTimeout = [this] {
        // A wait the operation's own deadline cut short is no lost board.
        if (timeoutShown_ || PastDeadline())
            return;
        timeoutShown_ = true;
        ctx_.ui.message(QStringLiteral("timeout"), ctx_.tr(QStringLiteral("DP-Configurator"), QStringLiteral("DP-Konfigurator")));
    };
    link_ = std::make_unique<iface::NoLink>(env_);
}

Connection::~Connection()
{
    link_->close(false);
}

QString Connection::hwText() const
{
    return connected() ? link_->traits().displayName
                       : ctx_.tr(QStringLiteral("no Hardware"), QStringLiteral("ohne Hardware"));
}

void Connection::clearBoardState()
{
    panel_.hwText = hwText();
    panel_.mode.reset();
    panel_.load = false;
    panel_.run = false;
    for (StationMark &mark : panel_.marks)
        mark.visible = false;
}

void Connection::closeLink(bool goodbye)
{
    if (beforeClose && link_->connected() && !link_->lost())
        beforeClose();
    link_->close(goodbye);
    link_ = std::make_unique<iface::NoLink>(env_);
    item_.reset();
    timeoutShown_ = false;
    clearBoardState(); // shows "no Hardware" at once, not only at the poll's next tick
}

// Without a connection the poll keeps running at its last interval: it is
// what shows "no Hardware".
void Connection::keepPolling()
{
    if (!connected())
        panel_.timerEnabled = true;
    panel_.notify();
}

BusOutcome Connection::ConnectItem(const iface::HwChoice &choice)
{
    if (choice.kind == iface::HwChoice::Kind::None) {
        NoHardwareItem();
        return {};
    }
    DisableTimer();
    if (iface::LocksCommands(choice))
        LockCommands();
    bool ok = false;
    QString status;
    {
        Busy busy(ctx_.ui);
        const bool goodbye = iface::GoodbyeBefore(choice);
        closeLink(goodbye);
        if (goodbye) {
            // Every item but the serial ones starts from no hardware at all.
            ctx_.status(QString());
            panel_.eraseEnabled = false;
            panel_.timerEnabled = false;
        }
        iface::OpenResult r = opener_(choice, env_, ctx_.st.language, [this](const QString &text) { ctx_.status(text); });
        panel_.eepromMenuState = r.eepromMenu ? -1 : 0;
        panel_.eepromMenuEnabled = r.eepromMenu;
        if (r.eraseItem)
            panel_.eraseEnabled = *r.eraseItem;
        ok = r.link != nullptr;
        if (ok) {
            link_ = std::move(r.link);
            ++linkCount_;
            item_ = choice;
            const iface::LinkTraits &t = link_->traits();
            panel_.hwText = link_->versionText;
            panel_.mode = r.mode;
            panel_.load = panel_.run = t.runsAtConnect;
            panel_.timerEnabled = true;
            panel_.timerInterval = t.pollMs;
        }
        status = r.status;
        ctx_.status(r.status);
    }
    UnlockCommands();
    keepPolling();
    if (!ok || !connected()) {
        const QString why = status.isEmpty() ? ctx_.tr(QStringLiteral("no board answered"), QStringLiteral("keine Karte antwortet"))
                                               : status;
        return Outcome::Fail(Failure::NoBoard, why);
    }
    BusOutcome done;
    done.mode = panel_.mode;
    return done;
}

void Connection::NoHardwareItem()
{
    DisableTimer();
    closeLink(true);
    ctx_.status(QString());
    panel_.eepromMenuEnabled = false;
    panel_.eraseEnabled = false;
    panel_.eepromMenuState = 0;
    keepPolling();
}

void Connection::CloseForExit(bool exitButton)
{
    // Given back once: a second way out (the close box after Exit) finds nothing open.
    if (beforeClose && link_->connected() && !link_->lost())
        beforeClose();
    link_->close(exitButton);
    link_ = std::make_unique<iface::NoLink>(env_);
    item_.reset();
}

std::optional<iface::BusMode> Connection::BoardMode()
{
    if (!connected())
        return std::nullopt;
    const uint8_t state = link_->getByte(link_->map().busState);
    return link_->lost() ? std::nullopt : iface::BusModeOfState(state);
}

bool Connection::MasterAnswers(int ms)
{
    // The poll is held meanwhile, so it cannot take the reply in first.
    const bool was = DisableTimer();
    Record job;
    iface::SetJob(job, iface::JobCode::ReadMaster, 0);
    const qint64 end = ctx_.pump.nowMs() + ms;
    bool sent = false;
    bool answered = false;
    while (!answered && connected() && !link_->lost() && ctx_.pump.nowMs() < end) {
        if (!sent)
            sent = link_->putJob(job);
        else
            answered = link_->getMessage() && iface::IsMessage(ctx_.st.mbuf, iface::MsgCode::MasterRead);
        if (!answered)
            ctx_.pump.sleepMs(5);
    }
    RestoreTimer(was);
    return answered;
}

bool Connection::PastDeadline() const
{
    return env_.deadlineMs > 0 && ctx_.pump.nowMs() >= env_.deadlineMs;
}

Outcome Connection::LinkFailure(const QString &what)
{
    if (PastDeadline())
        return Outcome::Fail(Failure::NoAnswer, what + ctx_.tr(QStringLiteral(": the time-out ended it"), QStringLiteral(": die Zeit lief ab")));
    // A link the poll closed already left its reason in the message line.
    const QString detail = connected() ? link_->faultText() : ctx_.st.melde1;
    return Outcome::Fail(Failure::LineFault, detail.isEmpty() ? what : what + QStringLiteral(": ") + detail);
}

bool Connection::CheckLost()
{
    if (!link_->lost())
        return false;
    ctx_.status(link_->traits().lostText);
    if (link_->traits().lossClosesEeprom) {
        panel_.eepromMenuEnabled = false;
        panel_.eepromMenuState = 0;
    }
    closeLink(false);
    return true;
}

bool Connection::DisableTimer()
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

void Connection::RestoreTimer(bool wasEnabled)
{
    panel_.timerEnabled = wasEnabled;
    panel_.notify();
}

void Connection::LockCommands()
{
    panel_.runEnabled = false;
    panel_.haltEnabled = false;
    panel_.hardwareMenuEnabled = false;
    panel_.debugEnabled = false;
    panel_.eepromMenuState = panel_.eepromMenuEnabled ? -1 : 0;
    panel_.eepromMenuEnabled = false;
    panel_.notify();
}

void Connection::UnlockCommands()
{
    panel_.runEnabled = true;
    panel_.haltEnabled = true;
    panel_.hardwareMenuEnabled = true;
    panel_.debugEnabled = true;
    panel_.eepromMenuEnabled = panel_.eepromMenuState != 0;
    panel_.notify();
}

void Connection::PauseWithEvents(int count)
{
    for (int i = 0; i < count; ++i) {
        ctx_.pump.processEvents();
        ctx_.pump.sleepMs(1);
    }
}

bool Connection::StartUp()
{
    iface::Link &link = *link_;
    const iface::DpramMap map = link.map();

    // Stopping the master sends a Tessel card into its boot loader.
    link.setByte(map.startByte, 1);
    PauseWithEvents(300);

    if (link.loadsFirmware() && !PastDeadline()) {
        const auto image = [this](const QString &name) {
            const QString found = FindFileNoCase(ctx_.root.downloadDir(), name);
            return found.isEmpty() ? ctx_.root.downloadDir() + QLatin1Char('/') + name : found;
        };
        const auto showError = [this](const QString &cpu, int32_t code) {
            if (code != 0)
                ctx_.ui.message(ctx_.tr(QStringLiteral("Error while loading %1:").arg(cpu),
                                        QStringLiteral("Fehler beim Laden %1:").arg(cpu))
                                    + NumText(code),
                                QStringLiteral("Loader:"), Icon::Critical);
        };
        if (link.getByte(uint32_t(map.loadRequest)) == 1)
            showError(QStringLiteral("040"), link.loadFirmwareCpu40(image(QStringLiteral("OS9PCI.lo"))));
        if (!PastDeadline())
            showError(QStringLiteral("331"), link.loadFirmwareCpu331(image(QStringLiteral("DPM1.lo"))));
    }

    bool ready = false;
    int errors = 0;
    for (int round = 0; round < kReadyRounds && !PastDeadline(); ++round) {
        if (link.getByte(map.startByte) == iface::kReady) {
            ready = true;
            break;
        }
        if (link.lost() && ++errors > kReadyErrorLimit)
            break;
        ctx_.pump.processEvents();
        ctx_.pump.sleepMs(kReadyRoundMs);
    }
    if (!ready && !PastDeadline())
        ctx_.ui.message(QStringLiteral("Profibus Init Timeout"), QStringLiteral("DPM1:"), Icon::Critical);

    return link.getByte(map.startByte) != 0;
}

} // namespace meridan
