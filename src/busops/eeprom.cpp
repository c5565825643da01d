// SPDX-License-Identifier: GPL-3.0-or-later
#include "busops/eeprom.h"

#include "config/configfile.h"
#include "config/image.h"
#include "config/listline.h"
#include "core/bytes.h"
#include "core/texts.h"

#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

Q_LOGGING_CATEGORY(lcEeprom, "meridan.busops.eeprom", QtWarningMsg)

namespace meridan {

using iface::BusMode;
using iface::ConfigStore;
using iface::JobCode;
using iface::MsgCode;

namespace {

constexpr uint8_t kErase = 1;            // EEPROM job functions
constexpr uint8_t kBurn = 2;
constexpr int kNothingToBurn = 1;          // the master runs no configuration
constexpr int kEepromSendBudget = 1000;  // attempts to hand over a job
constexpr int kEepromReplyBudget = 1000; // waits of kReplyPollMs for its reply
constexpr int kMasterSendBudget = 100;
constexpr int kMasterReplyBudget = 100;
constexpr int kSlaveSendBudget = 200;
constexpr int kSlaveReplyBudget = 200;
constexpr int kReplyPollMs = 50;
constexpr int kLastPage = 100;           // pages 0..100 hold slots 0..100
constexpr int kPageSize = 256;
constexpr int kMaxPageL = kPageSize - 8; // bytes 0 .. L + 7 fill at most a page
constexpr int kShortLengthCap = 244;     // byte 7 of a record longer than this
constexpr int kVerifyTries = 10;
constexpr int kWalkEnd = 127;            // "no further station" in a read-back reply
constexpr int kMaxStation = 125;

// Keeps the first master message with the code it is armed for that the
// status poll takes in from then on, the moment the poll takes it: a later
// message cannot overwrite the reply before the wait looks, and a reply that
// came before the job cannot be taken for its answer.
class ReplyCatch {
public:
    ReplyCatch(Commissioning &com, const iface::MessageBuffer &mbuf) : com_(com)
    {
        com_.onMessage = [this, &mbuf] {
            if (!got && mbuf[0] == code_) {
                got = true;
                reply = mbuf;
            }
        };
    }
    ~ReplyCatch() { com_.onMessage = nullptr; }
    ReplyCatch(const ReplyCatch &) = delete;
    ReplyCatch &operator=(const ReplyCatch &) = delete;

    void arm(MsgCode code)
    {
        code_ = iface::Code(code);
        got = false;
        reply.fill(0);
    }

    bool got = false;
    iface::MessageBuffer reply{};

private:
    Commissioning &com_;
    uint8_t code_ = 0;
};

// A job without data; the header bytes the job does not use are 0.
Record Job(JobCode code, uint8_t parameter)
{
    Record job;
    iface::SetJob(job, code, parameter);
    return job;
}

// Byte 7 of a record as the record's own length word (bytes 8..9) says it
// must be: the length itself, or 244 for a longer record.
bool LengthsAgree(std::span<const uint8_t> rec, int l)
{
    const int spl = be16(rec, 8);
    return l >= 2 && l <= kMaxPageL && l == std::min(spl, kShortLengthCap);
}

// A record read back from a reply: the header as this program writes it,
// bytes 8 .. L + 7 as the master delivered them.
void TakeRecord(Record &slot, uint8_t marker, int station, const iface::MessageBuffer &m)
{
    const int l = m[7];
    slot.clear();
    slot[0] = marker;
    slot[3] = uint8_t(station);
    slot[7] = uint8_t(l);
    for (int i = 8; i <= l + 7; ++i)
        slot[i] = m[std::size_t(i)];
}

// Prompts for loading a configuration file into a scratch state: nothing is
// shown, the caller reports the outcome.
class QuietPrompts : public Prompts {
public:
    int message(const QString &, const QString &, Icon, int buttons) override { return buttons & Ok ? Ok : Cancel; }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> openFile(const FileDialogSpec &) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileDialogSpec &) override { return std::nullopt; }
    void setBusy(bool) override {}
};

} // namespace

Eeprom::Eeprom(Context &ctx, Commissioning &com) : ctx_(ctx), com_(com), conn_(com.connection()), panel_(com.panel()) {}

bool Eeprom::Gone()
{
    return !conn_.connected() || conn_.link().lost();
}

bool Eeprom::Send(const Record &job, int budget)
{
    bool taken = false;
    do {
        --budget;
        ctx_.pump.processEvents();
        if (Gone()) // the poll may have found the board lost meanwhile
            return false;
        taken = conn_.link().putJob(job);
    } while (!taken && budget > 0);
    return taken;
}

bool Eeprom::WaitReply(const bool &got, int budget)
{
    // A fast walk looks for its reply every millisecond, within the same time.
    const int step = FastWalk() ? 1 : kReplyPollMs;
    int left = budget * kReplyPollMs;
    do {
        left -= step;
        ctx_.pump.sleepMs(step);
        ctx_.pump.processEvents();
    } while (!got && left > 0 && !Gone());
    return got;
}

bool Eeprom::FastWalk() const
{
    return com_.walking && ctx_.st.fastDownload;
}

void Eeprom::Settle(int ms)
{
    if (!FastWalk())
        ctx_.pump.sleepMs(ms);
}

bool Eeprom::Write(uint16_t address, uint8_t value)
{
    iface::Link &link = conn_.link();
    link.eepromWrite(address, value);
    if (!link.lost())
        return true;
    deadAt_ = address;
    return false;
}

bool Eeprom::Read(uint16_t address, uint8_t &value)
{
    iface::Link &link = conn_.link();
    value = link.eepromRead(address);
    if (!link.lost())
        return true;
    deadAt_ = address;
    return false;
}

void Eeprom::StartMaster()
{
    panel_.run = true;
    panel_.notify();
    iface::Link &link = conn_.link();
    link.setByte(link.map().startByte, 0);
}

// ---- Burn -------------------------------------------------------------------

BusOutcome Eeprom::Burn_Click()
{
    if (!com_.BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    BusOutcome out;
    deadAt_ = -1;
    const ConfigStore store = conn_.link().traits().store;
    if (store == ConfigStore::None) {
        const QString text = QStringLiteral("Ravelin/Ketch only !");
        ctx_.status(text);
        out = Outcome::Fail(conn_.connected() ? Failure::Refused : Failure::NoBoard, text);
    } else {
        const bool was = conn_.DisableTimer();
        if (store == ConfigStore::Job) {
            out = BurnByJob(); // the master burns what it runs: nothing here to check
        } else if (const Outcome may = MayBurnImage(store); !may) {
            out = may;
        } else {
            out = store == ConfigStore::NetworkFile ? BurnNetwork() : BurnBytes();
        }
        conn_.RestoreTimer(was);
    }
    com_.EndBusy();
    return out;
}

BusOutcome Eeprom::StoreConfiguration(qint64 deadlineMs)
{
    const ConfigStore store = conn_.link().traits().store;
    if (store != ConfigStore::None && !conn_.MasterAnswers(int(std::clamp<qint64>(deadlineMs - ctx_.pump.nowMs(), 0, 5000)))) {
        const QString why = ctx_.tr(QStringLiteral("no answer from the master"), QStringLiteral("keine Antwort vom Master"));
        return conn_.link().lost() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, why));
    }
    if (store == ConfigStore::Job) {
        // The master burns the configuration it runs: it gets this one
        // first, and the download restarts it.
        if (const Outcome may = MayRestart(); !may)
            return may;
        const BusOutcome run = com_.RunToOperate(deadlineMs);
        if (!run && run.loaded != run.total) {
            BusOutcome out = run;
            out.why = ctx_.tr(QStringLiteral("the download before the burn did not complete: "),
                              QStringLiteral("der Download vor dem Brennen wurde nicht fertig: "))
                + run.why;
            return out;
        }
    }
    return Burn_Click();
}

// Burning ends by starting the master from the EEPROM (or, on the job way,
// begins with a download): a running bus restarts with whatever was burnt.
Outcome Eeprom::MayRestart()
{
    iface::Link &link = conn_.link();
    const bool operate = panel_.mode == BusMode::Operate || conn_.BoardMode() == BusMode::Operate;
    if (!operate || !link.connected())
        return {};
    const QString question = ctx_.tr(
        QStringLiteral("The master is in Operate. After burning it restarts from the EEPROM with this configuration.\nBurn now?"),
        QStringLiteral("Der Master ist in Operate. Nach dem Brennen startet er mit dieser Konfiguration aus dem EEPROM neu.\nJetzt brennen?"));
    const std::optional<bool> yes = ctx_.ui.confirm(question, QStringLiteral("EEPROM"));
    if (yes && *yes)
        return {};
    const QString cancelled = ctx_.tr(QStringLiteral("Burn cancelled"), QStringLiteral("Brennen abgebrochen"));
    ctx_.status(cancelled);
    if (!yes)
        return Outcome::Fail(Failure::NeedsConfirmation,
                             ctx_.tr(QStringLiteral("the master is in Operate and restarts after the burn"),
                                     QStringLiteral("der Master ist in Operate und startet nach dem Brennen neu")));
    return Outcome::Fail(Failure::Cancelled, cancelled);
}

// What is checked before the configuration in memory goes to the board:
// it has a master record, every record fits its EEPROM page, and a master in
// Operate may be restarted.
Outcome Eeprom::MayBurnImage(ConfigStore store)
{
    const ConfigImage &image = ctx_.st.image;
    const QString notBurnt = ctx_.tr(QStringLiteral("Not burnt: "), QStringLiteral("Nicht gebrannt: "));
    if (!image.hasMaster()) {
        const QString text = notBurnt + ctx_.tr(QStringLiteral("missing Master record !"), QStringLiteral("Master Parametersatz fehlt !"));
        ctx_.status(text);
        return Outcome::Fail(Failure::Refused, text);
    }
    {
        for (int s = 0; s <= kLastPage; ++s) {
            const Record &r = image.slot(s);
            if (r[0] == 0)
                continue;
            // The page takes bytes 0 .. L + 7; a record reaching further
            // would be cut, one with L above 248 would spill into the next
            // page. Written byte by byte, byte 7 (at most 244) says how far.
            const bool marked = r[0] == kMasterMarker || r[0] == kSlaveMarker;
            const bool fits = store == ConfigStore::EepromBytes ? r[7] <= kMaxPageL && !(marked && be16(r.span(), 8) > r[7])
                                                                : !(marked && be16(r.span(), 8) > kMaxPageL);
            if (!fits) {
                const QString text = notBurnt
                    + ctx_.tr(QStringLiteral("the record of station%1 does not fit its EEPROM page").arg(NumText(s)),
                              QStringLiteral("der Parametersatz von Station%1 passt nicht in seine EEPROM-Seite").arg(NumText(s)));
                ctx_.status(text);
                return Outcome::Fail(Failure::Refused, text);
            }
        }
    }
    return MayRestart();
}

BusOutcome Eeprom::BurnNetwork()
{
    // The driver library takes a configuration file: a private one in the
    // root folder, gone again afterwards.
    QTemporaryDir dir(ctx_.root.path(QStringLiteral("_tmp_XXXXXX")));
    const QString file = dir.filePath(QStringLiteral("_tmp_.dp1"));
    const bool saved = dir.isValid() && SaveConfigFile(ctx_, file);
    ctx_.pump.processEvents();
    if (!saved) {
        const QString why = ctx_.tr(QStringLiteral("the temporary configuration file could not be written"),
                                    QStringLiteral("die temporäre Konfigurationsdatei ließ sich nicht schreiben"));
        ctx_.status(QStringLiteral("Error Programming: ") + why);
        return Outcome::Fail(Failure::BadInput, why);
    }
    ctx_.status(QStringLiteral("Transmit Configuration to local Configurationfile ..."));
    ctx_.pump.processEvents();
    iface::Link &link = conn_.link();
    const int32_t result = link.burnFile(file);
    dir.remove();
    if (result != 0) {
        qCInfo(lcEeprom) << "network burn failed with" << result;
        if (result < 0 && link.replyMissing()) {
            // The file went out; the board may be storing it still.
            const QString text = ctx_.tr(
                QStringLiteral("the board did not confirm within 10 s; it may still store the configuration; read it back to check"),
                QStringLiteral("die Karte bestätigte nicht innerhalb von 10 s; sie speichert die Konfiguration vielleicht noch; "
                               "zur Prüfung zurücklesen"));
            ctx_.status(text);
            return Outcome::Fail(Failure::NoAnswer, text);
        }
        ctx_.status(QStringLiteral("Error Programming: ") + NumText(result));
        if (result < 0)
            return conn_.LinkFailure(ctx_.tr(QStringLiteral("the board did not take the configuration"), QStringLiteral("die Karte nahm die Konfiguration nicht an")));
        return Outcome::Fail(Failure::BoardError,
                             ctx_.tr(QStringLiteral("the board refused the configuration (code %1)"), QStringLiteral("die Karte lehnte die Konfiguration ab (Code %1)")).arg(result),
                             result);
    }
    ctx_.pump.sleepMs(1000);
    StartMaster();
    ctx_.status(QStringLiteral("Programming O.K"));
    return {};
}

BusOutcome Eeprom::BurnByJob()
{
    ctx_.status(QStringLiteral("Burn Configuration in EEPROM"));
    // The poll's ticks take the master's reply in.
    panel_.timerEnabled = true;
    panel_.notify();
    ctx_.status(QStringLiteral("Burning actual configuration to EEProm ..."));
    ReplyCatch reply(com_, ctx_.st.mbuf);
    reply.arm(MsgCode::EepromDone);
    const bool sent = Send(Job(JobCode::Eeprom, kBurn), kEepromSendBudget);
    ctx_.pump.sleepMs(200);
    if (sent) {
        WaitReply(reply.got, kEepromReplyBudget);
        ctx_.pump.sleepMs(200);
    }
    if (!reply.got) {
        ctx_.status(QStringLiteral("Timeout"));
        const QString why = ctx_.tr(QStringLiteral("no answer to the burn job"), QStringLiteral("keine Antwort auf den Brennauftrag"));
        return Gone() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, why));
    }
    if (const int code = reply.reply[3]; code != 0) {
        if (code == kNothingToBurn) {
            // The master burns what it runs: without a configuration there is
            // nothing, and "Error Programming: 1" would leave the user guessing.
            const QString text = ctx_.tr(QStringLiteral("Not burnt: the master holds no configuration to burn; Run it first"),
                                         QStringLiteral("Nicht gebrannt: der Master hat keine Konfiguration zum Brennen; zuerst Run"));
            ctx_.status(text);
            return Outcome::Fail(Failure::Refused, text, code);
        }
        ctx_.status(QStringLiteral("Error Programming: ") + NumText(code));
        return Outcome::Fail(Failure::BoardError, ctx_.tr(QStringLiteral("the master could not burn its configuration (code %1)"),
                                                          QStringLiteral("der Master konnte seine Konfiguration nicht brennen (Code %1)"))
                                                      .arg(code),
                             code);
    }
    ctx_.status(QStringLiteral("Programming O.K"));
    return {};
}

Eeprom::Verdict Eeprom::Check(int station, uint16_t address, uint8_t expected)
{
    uint8_t v = 0;
    if (!Read(address, v))
        return Verdict::Dead;
    if (v == expected)
        return Verdict::Good;
    if (!Read(address, v))
        return Verdict::Dead;
    int count = 1;
    while (v != expected) {
        ctx_.status(QStringLiteral("Verify : ") + NumText(station) + QStringLiteral(" Cnt:") + NumText(count)
                    + QStringLiteral(" at ") + NumText(address));
        if (!Write(address, expected))
            return Verdict::Dead;
        conn_.PauseWithEvents(500);
        if (!Read(address, v))
            return Verdict::Dead;
        if (v != expected && ++count == kVerifyTries) {
            ctx_.status(QStringLiteral("Error at ") + NumText(address));
            return Verdict::Wrong;
        }
    }
    return Verdict::Good;
}

BusOutcome Eeprom::BurnBytes()
{
    // What is burnt is the image as it was when the burn began, whatever an
    // editor commits while the burn lets events through.
    const auto image = std::make_unique<ConfigImage>(ctx_.st.image);
    ctx_.status(QStringLiteral("Burn Configuration in EEPROM"));
    ctx_.pump.processEvents();
    panel_.run = false;
    panel_.notify();
    const auto lineDead = [&] {
        const QString text = ctx_.tr(QStringLiteral("Burn stopped: no answer from the EEPROM at address%1"),
                                     QStringLiteral("Brennen abgebrochen: keine Antwort vom EEPROM bei Adresse%1"))
                                 .arg(NumText(deadAt_));
        ctx_.status(text);
        return BusOutcome(Outcome::Fail(conn_.PastDeadline() ? Failure::NoAnswer : Failure::LineFault, text));
    };
    const auto writePage = [&](int s, int from) {
        const Record &r = image->slot(s);
        const uint16_t page = uint16_t(s * kPageSize);
        for (int k = from; k <= r[7] + 7; ++k)
            if (!Write(uint16_t(page + k), r[k]))
                return false;
        return true;
    };

    // A master starts from the EEPROM only when page 0 holds its marker. It
    // goes last, after an invalid one first: a burn cut short anywhere reads
    // back as no configuration, never as a mix of the new and the old one.
    if (!Write(0, 0))
        return lineDead();
    for (int s = 1; s <= kLastPage; ++s) {
        const Record &r = image->slot(s);
        if (!Write(uint16_t(s * kPageSize), r[0]))
            return lineDead();
        if (r[0] == 0)
            continue;
        ctx_.status(ctx_.tr(QStringLiteral("Program : "), QStringLiteral("Programm : ")) + NumText(s));
        ctx_.pump.processEvents();
        if (!writePage(s, 1))
            return lineDead();
    }
    const Record &master = image->slot(0);
    if (master[0] != 0) {
        ctx_.status(ctx_.tr(QStringLiteral("Program : "), QStringLiteral("Programm : ")) + NumText(0));
        ctx_.pump.processEvents();
        if (!writePage(0, 1))
            return lineDead();
    }
    if (!Write(0, master[0]))
        return lineDead();

    for (int s = 0; s <= kLastPage; ++s) {
        const Record &r = image->slot(s);
        const uint16_t page = uint16_t(s * kPageSize);
        Verdict v = Check(s, page, r[0]);
        if (v == Verdict::Good && r[0] != 0) {
            ctx_.status(QStringLiteral("Verify : ") + NumText(s));
            ctx_.pump.processEvents();
            for (int k = 0; k <= r[7] + 7 && v == Verdict::Good; ++k)
                v = Check(s, uint16_t(page + k), r[k]);
        }
        if (v == Verdict::Dead)
            return lineDead();
        if (v == Verdict::Wrong)
            return Outcome::Fail(Failure::BoardError, ctx_.st.melde1);
    }
    StartMaster();
    ctx_.status(QStringLiteral("Programming O.K"));
    return {};
}

// ---- Erase ------------------------------------------------------------------

BusOutcome Eeprom::EE_Erase_Click()
{
    if (!com_.BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    const auto done = qScopeGuard([this] { com_.EndBusy(); });
    if (!conn_.connected()) {
        // Without a board nothing could answer: no point in waiting for it.
        ctx_.status(QStringLiteral("Erase EEProm"));
        ctx_.status(QStringLiteral("Error Erasing EEProm"));
        return Outcome::Fail(Failure::NoBoard, com_.NoHardwareText());
    }
    // Nothing comes back from an erased EEPROM: the master starts with no
    // configuration at its next power-up.
    const std::optional<bool> yes = ctx_.ui.confirm(
        ctx_.tr(QStringLiteral("Erase the EEPROM? The master then starts without a configuration."),
                QStringLiteral("EEPROM löschen? Der Master startet dann ohne Konfiguration.")),
        QStringLiteral("EEPROM"));
    if (!yes)
        return Outcome::Fail(Failure::NeedsConfirmation, ctx_.tr(QStringLiteral("erasing clears the configuration the master starts from"),
                                                                 QStringLiteral("das Löschen entfernt die Konfiguration, mit der der Master startet")));
    if (!*yes)
        return Outcome::Fail(Failure::Cancelled, ctx_.tr(QStringLiteral("Erase cancelled"), QStringLiteral("Löschen abgebrochen")));
    ctx_.status(QStringLiteral("Erase EEProm"));
    ReplyCatch reply(com_, ctx_.st.mbuf);
    reply.arm(MsgCode::EepromDone);
    if (Send(Job(JobCode::Eeprom, kErase), kEepromSendBudget)) {
        ctx_.pump.sleepMs(300);
        WaitReply(reply.got, kEepromReplyBudget);
        ctx_.pump.sleepMs(200);
    }
    const bool ok = reply.got && reply.reply[2] == 0;
    ctx_.status(ok ? QStringLiteral("Erasing EEProm OK") : QStringLiteral("Error Erasing EEProm"));
    if (ok)
        return {};
    if (reply.got)
        return Outcome::Fail(Failure::BoardError, ctx_.tr(QStringLiteral("the master could not erase its EEPROM (code %1)"),
                                                          QStringLiteral("der Master konnte sein EEPROM nicht löschen (Code %1)"))
                                                      .arg(reply.reply[2]),
                             reply.reply[2]);
    const QString why = ctx_.tr(QStringLiteral("no answer to the erase job"), QStringLiteral("keine Antwort auf den Löschauftrag"));
    return Gone() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::NoAnswer, why));
}

// ---- Read (upload) ----------------------------------------------------------

BusOutcome Eeprom::Upload_Click()
{
    return Fetch([this](const ConfigImage &got) { Commit(got); });
}

BusOutcome Eeprom::ReadAside(ConfigImage &got)
{
    const BusOutcome out = Fetch([&got](const ConfigImage &read) { got = read; });
    if (out)
        ctx_.status(ctx_.tr(QStringLiteral("Read from the board:%1 slave records; the configuration in memory is unchanged"),
                            QString::fromUtf8("Von der Karte gelesen:%1 Slaveparametersätze; die Konfiguration im Speicher ist unverändert"))
                        .arg(NumText(out.loaded)));
    return out;
}

BusOutcome Eeprom::Fetch(const Take &take)
{
    if (!com_.BusyGuard())
        return Outcome::Fail(Failure::Refused, ctx_.tr(QStringLiteral("another command is running"), QStringLiteral("ein anderes Kommando läuft")));
    BusOutcome out;
    deadAt_ = -1;
    const ConfigStore store = conn_.link().traits().store;
    if (store == ConfigStore::NetworkFile) {
        out = UploadNetwork(take);
    } else if (store == ConfigStore::None) {
        const QString text = QStringLiteral("Ravelin or TCP/IP Connection only !");
        ctx_.status(text);
        out = Outcome::Fail(conn_.connected() ? Failure::Refused : Failure::NoBoard, text);
    } else {
        out = UploadRecords(store, take);
    }
    com_.EndBusy();
    return out;
}

BusOutcome Eeprom::UploadNetwork(const Take &take)
{
    const bool was = conn_.DisableTimer();
    ctx_.status(QStringLiteral("Loading local configurationfile ..."));
    ctx_.pump.processEvents();
    BusOutcome out;
    bool replaced = false;
    {
        QTemporaryDir dir(ctx_.root.path(QStringLiteral("_tmp_XXXXXX")));
        const QString file = dir.filePath(QStringLiteral("_tmp_.dp1"));
        if (dir.isValid() && conn_.link().readConfigFile(file) > 0) {
            // Loaded aside: a file without a master record or with a damaged
            // record leaves the configuration in memory as it is.
            QuietPrompts quiet;
            auto scratch = std::make_unique<State>();
            scratch->language = ctx_.st.language;
            Context aside{*scratch, quiet, ctx_.pump, ctx_.root};
            if (const int slaves = LoadConfigFile(aside, file); slaves >= 0) {
                take(scratch->image);
                replaced = true;
                out.loaded = out.total = slaves;
            }
        }
    }
    ctx_.status(replaced ? QStringLiteral("Loaded local configurationfile") : QStringLiteral("No Config loaded"));
    conn_.RestoreTimer(was);
    if (!replaced) {
        const QString why = ctx_.tr(QStringLiteral("no configuration came from the board"), QStringLiteral("keine Konfiguration von der Karte"));
        out = Gone() ? BusOutcome(conn_.LinkFailure(why)) : BusOutcome(Outcome::Fail(Failure::BoardError, why));
    }
    return out;
}

BusOutcome Eeprom::UploadRecords(ConfigStore store, const Take &take)
{
    // Built aside and taken over only when complete.
    const auto got = std::make_unique<ConfigImage>();
    int loaded = -1; // +1 for the master record, +1 for each slave record
    int failedAt = 0;
    cutLength_ = 0;
    int skipped = 0;
    const bool complete = store == ConfigStore::Job ? UploadByJob(*got, loaded, failedAt) : UploadBytes(*got, loaded, failedAt, skipped);
    panel_.timerEnabled = true;
    panel_.notify();
    const QString unchanged = ctx_.tr(QStringLiteral(" - configuration unchanged"), QStringLiteral(" - Konfiguration unverändert"));
    QString text;
    Failure failure = Failure::BoardError;
    if (deadAt_ >= 0) {
        text = ctx_.tr(QStringLiteral("Read stopped: no answer from the EEPROM at address%1"),
                       QStringLiteral("Lesen abgebrochen: keine Antwort vom EEPROM bei Adresse%1"))
                   .arg(NumText(deadAt_))
            + unchanged;
        failure = conn_.PastDeadline() ? Failure::NoAnswer : Failure::LineFault;
    } else if (loaded < 0) {
        text = ctx_.tr(QStringLiteral("Error: unvalid EEPROM data / no Busparameter "),
                       QString::fromUtf8("Fehler: EEPROM Daten ungüldig - kein Busparametersatz "));
    } else if (!complete) {
        text = QStringLiteral("Error loading Slave") + NumText(failedAt) + unchanged;
        if (cutLength_ > 0)
            text += ctx_.tr(QStringLiteral(": the master holds 244 of its%1 bytes"), QStringLiteral(": der Master hält 244 seiner%1 Bytes"))
                        .arg(NumText(cutLength_));
    } else {
        take(*got);
        QString done = NumText(loaded) + ctx_.tr(QStringLiteral(" Slave records loaded"), QString::fromUtf8(" Slaveparametersätze geladen"));
        if (skipped > 0)
            done += ctx_.tr(QStringLiteral(",%1 page(s) skipped"), QStringLiteral(",%1 Seite(n) übersprungen")).arg(NumText(skipped));
        ctx_.status(done);
        BusOutcome out;
        out.loaded = out.total = loaded;
        return out;
    }
    ctx_.status(text);
    if (Gone() && deadAt_ < 0)
        return conn_.LinkFailure(ctx_.tr(QStringLiteral("the read stopped"), QStringLiteral("das Lesen brach ab")));
    return Outcome::Fail(failure, text);
}

bool Eeprom::UploadByJob(ConfigImage &got, int &loaded, int &failedAt)
{
    // The poll keeps running: its ticks take the replies in. With fast
    // download chosen the walk goes at the board's pace: the poll looks for
    // each reply every millisecond and the fixed pauses between jobs go.
    com_.walking = true;
    const auto walked = qScopeGuard([this] { com_.walking = false; });
    panel_.timerEnabled = true;
    panel_.notify();
    ReplyCatch reply(com_, ctx_.st.mbuf);
    reply.arm(MsgCode::MasterRead);
    ctx_.status(QStringLiteral("Loading Masterparameter "));
    if (!Send(Job(JobCode::ReadMaster, 0), kMasterSendBudget)) {
        ctx_.status(QStringLiteral("Timeout loading Masterparameter"));
        return false;
    }
    Settle(300);
    WaitReply(reply.got, kMasterReplyBudget);
    Settle(200);
    const int lm = reply.reply[7];
    if (!reply.got || !LengthsAgree(reply.reply, lm)) {
        ctx_.status(QStringLiteral("Error loading Masterparameter"));
        return false;
    }
    TakeRecord(got.slot(0), kMasterMarker, 0, reply.reply);
    loaded = 0;
    ctx_.status(QStringLiteral("Masterparameter loaded - Size: ") + QString::number(lm));

    ctx_.status(QStringLiteral("Reading actual configuration"));
    // Each reply names the next station that holds a record; 127 (or 0) ends
    // the walk. Stations only go up, so the walk ends after at most 125 replies.
    int station = 1;
    while (station != kWalkEnd && station != 0) {
        reply.arm(MsgCode::SlaveRead);
        Send(Job(JobCode::ReadSlave, uint8_t(station)), kSlaveSendBudget);
        Settle(200);
        WaitReply(reply.got, kSlaveReplyBudget);
        const auto &m = reply.reply;
        const int next = m[2];
        const int l = m[7];
        const bool nextOk = next == 0 || next == kWalkEnd || (next > station && next <= kMaxStation);
        if (reply.got && m[3] == station && nextOk && l != 0 && be16(m, 8) > kShortLengthCap) {
            // A job brought 244 bytes of a longer record: its end (name,
            // modules, perhaps more) is not there to read.
            cutLength_ = be16(m, 8);
            failedAt = station;
            return false;
        }
        if (!reply.got || m[3] != station || !nextOk || (l != 0 && !LengthsAgree(m, l))) {
            qCInfo(lcEeprom) << "slave read-back of" << station << "failed: reply" << reply.got << "station" << m[3] << "next"
                             << next << "L" << l;
            ctx_.status(QStringLiteral("Error loading Slave"));
            ctx_.pump.processEvents();
            ctx_.pump.sleepMs(500);
            failedAt = station;
            return false;
        }
        if (l != 0) {
            ++loaded;
            TakeRecord(got.slot(station), kSlaveMarker, station, m);
            ctx_.status(QStringLiteral("Loaded Slave %1 - Size: %2").arg(station).arg(l));
        }
        station = next;
    }
    return true;
}

bool Eeprom::UploadBytes(ConfigImage &got, int &loaded, int &failedAt, int &skipped)
{
    conn_.DisableTimer();
    for (int s = 0; s <= kLastPage; ++s) {
        const uint16_t page = uint16_t(s * kPageSize);
        const uint8_t want = s == 0 ? kMasterMarker : kSlaveMarker;
        uint8_t marker = 0;
        uint8_t l = 0;
        if (!Read(page, marker))
            return false;
        if (marker != want) {
            if (s == 0)
                break; // no master record: nothing to take over
            continue;
        }
        if (!Read(uint16_t(page + 7), l))
            return false;
        // A record running past its page is damaged, not empty: the read
        // stops rather than leave a station out without a word.
        if (l > kMaxPageL) {
            if (s == 0)
                break;
            failedAt = s;
            return false;
        }
        ctx_.status(QStringLiteral("UpLoad : ") + NumText(s) + QStringLiteral(" = ") + NumText(l) + QString::fromUtf8(" Byte´s"));
        ctx_.pump.processEvents();
        Record rec;
        rec[0] = marker;
        for (int k = 1; k <= l + 7; ++k)
            if (!Read(uint16_t(page + k), rec[k]))
                return false;
        // A slave page must name its own station; one that names another
        // would file the record under the wrong station.
        if (s > 0 && rec[3] != s) {
            ++skipped;
            ctx_.status(ctx_.tr(QStringLiteral("Page%1 skipped: it holds the record of station%2"),
                                QStringLiteral("Seite%1 übersprungen: sie enthält den Parametersatz von Station%2"))
                            .arg(NumText(s), NumText(rec[3])));
            continue;
        }
        // Byte 7 and the record's own length word must agree, as on the job
        // way: a weak cell burnt into either leaves a record nobody made.
        if (!LengthsAgree(rec.span(), l)) {
            if (s == 0)
                break;
            failedAt = s;
            return false;
        }
        got.slot(s) = rec;
        ++loaded;
    }
    return true;
}

void Eeprom::Commit(const ConfigImage &got)
{
    State &st = ctx_.st;
    // As loading a file does: slots 0..100 are replaced, the stations above
    // only where a record arrived.
    for (int s = 0; s < kSlots; ++s)
        if (s <= kLastPage || got.hasSlave(s))
            st.image.slot(s) = got.slot(s);
    ResetListLines(st);
    for (int s = 1; s < kSlots; ++s)
        if (got.hasSlave(s))
            st.listLines[std::size_t(s - 1)] = ListLineFor(got.slot(s));
    ctx_.ui.listChanged();
}

} // namespace meridan
